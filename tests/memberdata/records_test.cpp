#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/MemberRecords.h"
#include "memberdata/uCoreMemberSysErrorRes_ZEL.h"
#include "platform/Exception.h"

// Records which blocks were freed (and not handed out again since), so tests
// can tell "freed" from "kept" without touching freed memory. A small ring:
// tests check right after the operation.
namespace {
std::array<void*, 64> g_freed{};
size_t g_freedNext = 0;

void NoteFreed(void* p) {
  if (p == nullptr) return;
  g_freed[g_freedNext] = p;
  g_freedNext = (g_freedNext + 1) % g_freed.size();
}

bool WasFreed(const void* p) {
  for (void* f : g_freed)
    if (f == p) return true;
  return false;
}

void NoteAllocated(void* p) {
  for (void*& f : g_freed)
    if (f == p) f = nullptr;
}

void ForgetFreed() { g_freed.fill(nullptr); }
}  // namespace

[[gnu::noinline]] void* operator new(std::size_t n) {
  if (void* p = std::malloc(n == 0 ? 1 : n)) {
    NoteAllocated(p);
    return p;
  }
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
  NoteFreed(p);
  std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
  NoteFreed(p);
  std::free(p);
}

namespace {

TMemberUserInfoRecord_ZEL* Member(const std::string& id) {
  auto* r = new TMemberUserInfoRecord_ZEL;
  r->MemberID = id;
  return r;
}

// Fills a list with members of the given ids and returns the record pointers.
std::vector<TMemberUserInfoRecord_ZEL*> Fill(TMemberUserInfoList_ZEL& list,
                                             const std::vector<std::string>& ids) {
  std::vector<TMemberUserInfoRecord_ZEL*> out;
  for (const auto& id : ids) {
    out.push_back(Member(id));
    list.Add(out.back());
  }
  return out;
}

std::vector<TMemberUserInfoRecord_ZEL*> Items(const TMemberUserInfoList_ZEL& list) {
  std::vector<TMemberUserInfoRecord_ZEL*> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.GetItems(i));
  return out;
}

}  // namespace

TEST(MemberUserInfoList, AddKeepsTheVeryRecordAndDeleteFreesIt) {
  ForgetFreed();
  TMemberUserInfoList_ZEL list;
  auto* a = Member("1");
  auto* b = Member("2");
  EXPECT_EQ(list.Add(a), 0);
  EXPECT_EQ(list.Add(b), 1);
  EXPECT_EQ(list.GetItems(0), a);
  EXPECT_EQ(list.First(), a);
  EXPECT_EQ(list.Last(), b);
  list.Delete(0);
  EXPECT_TRUE(WasFreed(a));
  EXPECT_FALSE(WasFreed(b));
  EXPECT_EQ(list.First(), b);
}

TEST(MemberUserInfoList, RemoveFreesAndReportsFormerIndex) {
  ForgetFreed();
  TMemberUserInfoList_ZEL list;
  auto recs = Fill(list, {"1", "2", "3"});
  EXPECT_EQ(list.Remove(recs[1]), 1);
  EXPECT_TRUE(WasFreed(recs[1]));
  EXPECT_EQ(Items(list), (std::vector{recs[0], recs[2]}));

  auto* stranger = Member("9");
  EXPECT_EQ(list.Remove(stranger), -1);
  EXPECT_FALSE(WasFreed(stranger));
  EXPECT_EQ(list.Count(), 2);
  delete stranger;
}

TEST(MemberUserInfoList, ExtractHandsTheRecordToTheCaller) {
  ForgetFreed();
  auto list = std::make_unique<TMemberUserInfoList_ZEL>();
  auto recs = Fill(*list, {"1", "2"});
  recs[0]->MemberName = "kept";
  TMemberUserInfoRecord_ZEL* out = list->Extract(recs[0]);
  ASSERT_EQ(out, recs[0]);
  EXPECT_EQ(list->Count(), 1);
  list.reset();  // destroying the list must not free the extracted record
  EXPECT_FALSE(WasFreed(out));
  EXPECT_EQ(out->MemberName, "kept");
  EXPECT_TRUE(WasFreed(recs[1]));
  delete out;

  TMemberUserInfoList_ZEL other;
  Fill(other, {"1"});
  auto* stranger = Member("1");
  EXPECT_EQ(other.Extract(stranger), nullptr);
  EXPECT_EQ(other.Count(), 1);
  delete stranger;
}

// Records every notification, so a test sees how a record left the list.
class NotifyRecordingList : public TMemberUserInfoList_ZEL {
 public:
  std::vector<std::pair<void*, TListNotification>> seen;

 protected:
  void Notify(void* item, TListNotification action) override {
    seen.emplace_back(item, action);
    TMemberUserInfoList_ZEL::Notify(item, action);
  }
};

// The caller must become the only owner: an occurrence left behind would be
// freed again by the list (the sanitizer build turns that into a failure).
TEST(MemberUserInfoList, ExtractTakesEveryOccurrenceOfARecordHeldTwice) {
  ForgetFreed();
  auto list = std::make_unique<NotifyRecordingList>();
  auto recs = Fill(*list, {"1", "2"});
  list->Add(recs[0]);  // recs[0] at 0 and 2
  list->seen.clear();
  TMemberUserInfoRecord_ZEL* out = list->Extract(recs[0]);
  ASSERT_EQ(out, recs[0]);
  ASSERT_EQ(list->IndexOf(out), -1);  // else deleting it below would be a double free
  EXPECT_EQ(list->Count(), 1);
  EXPECT_EQ(Items(*list), std::vector{recs[1]});
  EXPECT_EQ(list->seen, (std::vector<std::pair<void*, TListNotification>>{
                            {out, TListNotification::lnExtracted}, {out, TListNotification::lnExtracted}}));
  EXPECT_FALSE(WasFreed(out));
  delete out;
  ForgetFreed();
  list.reset();
  EXPECT_FALSE(WasFreed(out));
  EXPECT_TRUE(WasFreed(recs[1]));
}

TEST(MemberUserInfoList, SetItemsFreesTheReplacedRecordOnly) {
  ForgetFreed();
  TMemberUserInfoList_ZEL list;
  auto recs = Fill(list, {"1", "2"});
  list.SetItems(0, recs[0]);  // same record: nothing freed
  EXPECT_FALSE(WasFreed(recs[0]));
  EXPECT_EQ(list.GetItems(0), recs[0]);

  auto* replacement = Member("3");
  list.SetItems(0, replacement);
  EXPECT_TRUE(WasFreed(recs[0]));
  EXPECT_EQ(list.GetItems(0), replacement);
  EXPECT_EQ(list.Find("3"), 0);
}

TEST(MemberUserInfoList, ClearAndDestructionFreeEveryRecord) {
  ForgetFreed();
  auto list = std::make_unique<TMemberUserInfoList_ZEL>();
  auto recs = Fill(*list, {"1", "2"});
  list->Clear();
  EXPECT_TRUE(WasFreed(recs[0]));
  EXPECT_TRUE(WasFreed(recs[1]));
  EXPECT_EQ(list->Count(), 0);

  ForgetFreed();
  recs = Fill(*list, {"3", "4"});
  list.reset();
  EXPECT_TRUE(WasFreed(recs[0]));
  EXPECT_TRUE(WasFreed(recs[1]));
}

// A record held twice must be freed exactly once, when its last occurrence
// leaves (the sanitizer build turns a double free into a failure).
TEST(MemberUserInfoList, RecordHeldTwiceIsFreedOnce) {
  ForgetFreed();
  auto list = std::make_unique<TMemberUserInfoList_ZEL>();
  auto recs = Fill(*list, {"1", "2"});
  list->SetItems(1, recs[0]);  // recs[1] freed, recs[0] now at 0 and 1
  EXPECT_TRUE(WasFreed(recs[1]));
  list->Delete(0);
  EXPECT_FALSE(WasFreed(recs[0]));
  EXPECT_EQ(list->GetItems(0)->MemberID, "1");
  list->Add(recs[0]);
  list.reset();
  EXPECT_TRUE(WasFreed(recs[0]));
}

// Many records, a third of them held twice, deleted in a scrambled order
// (the counts table grows, probes and closes gaps): each record is freed
// exactly when its last occurrence goes, never before.
TEST(MemberUserInfoList, ManyRecordsHeldOnceOrTwiceAreFreedAtTheirLastOccurrence) {
  TMemberUserInfoList_ZEL list;
  std::vector<TMemberUserInfoRecord_ZEL*> shadow;
  for (int i = 0; i < 3000; ++i) {
    shadow.push_back(Member(std::to_string(i)));
    list.Add(shadow.back());
    if (i % 3 == 0) {
      shadow.push_back(shadow.back());
      list.Add(shadow.back());
    }
  }
  uint32_t seed = 12345;
  while (!shadow.empty()) {
    seed = seed * 1103515245u + 12345u;
    const int index = static_cast<int>((seed >> 8) % shadow.size());
    TMemberUserInfoRecord_ZEL* const rec = shadow[static_cast<size_t>(index)];
    ForgetFreed();
    list.Delete(index);
    shadow.erase(shadow.begin() + index);
    const bool stillHeld = std::find(shadow.begin(), shadow.end(), rec) != shadow.end();
    ASSERT_EQ(WasFreed(rec), !stillHeld) << "record " << index;
    ASSERT_EQ(list.Count(), static_cast<int>(shadow.size()));
  }
}

TEST(MemberUserInfoList, FindComparesWholeTextsBytewise) {
  struct Case {
    std::vector<std::string> ids;
    std::string key;
    int expected;
  };
  const std::vector<Case> cases = {
      {{"012", "12"}, "12", 1},
      {{"12", "012"}, "012", 1},
      {{"abc"}, "ABC", -1},
      {{"5", "7", "5"}, "5", 0},
      {{"5", "7", "7"}, "7", 1},
      {{"12"}, " 12", -1},
      {{"12"}, "12 ", -1},
      {{"1", "", "2", ""}, "", 1},
      {{"1"}, "", -1},
      {{}, "1", -1},
      {{"\xBB\xE1\xD4\xB1", "\xBB\xE1"}, "\xBB\xE1", 1},
  };
  for (const Case& c : cases) {
    TMemberUserInfoList_ZEL list;
    Fill(list, c.ids);
    EXPECT_EQ(list.Find(c.key), c.expected) << "key '" << c.key << "'";
  }
}

TEST(MemberUserInfoList, IndexOfIsByIdentityNotContent) {
  TMemberUserInfoList_ZEL list;
  auto recs = Fill(list, {"1", "2"});
  TMemberUserInfoRecord_ZEL twin = *recs[1];
  EXPECT_EQ(list.IndexOf(recs[1]), 1);
  EXPECT_EQ(list.IndexOf(&twin), -1);
  EXPECT_EQ(list.IndexOf(nullptr), -1);
}

TEST(MemberUserInfoList, InsertPlacesBeforeTheIndex) {
  TMemberUserInfoList_ZEL list;
  auto recs = Fill(list, {"a", "b"});
  auto* front = Member("front");
  auto* back = Member("back");
  auto* middle = Member("middle");
  list.Insert(0, front);
  list.Insert(list.Count(), back);
  list.Insert(2, middle);
  EXPECT_EQ(Items(list), (std::vector{front, recs[0], middle, recs[1], back}));
}

TEST(MemberUserInfoList, RangeErrorsLeaveTheListUnchanged) {
  ForgetFreed();
  TMemberUserInfoList_ZEL list;
  auto recs = Fill(list, {"1", "2"});
  auto* stranger = Member("x");

  EXPECT_THROW(list.GetItems(-1), EListError);
  EXPECT_THROW(list.GetItems(2), EListError);
  EXPECT_THROW(list.SetItems(2, stranger), EListError);
  EXPECT_THROW(list.SetItems(-1, stranger), EListError);
  EXPECT_THROW(list.Delete(2), EListError);
  EXPECT_THROW(list.Insert(3, stranger), EListError);
  EXPECT_THROW(list.Insert(-1, stranger), EListError);

  EXPECT_EQ(Items(list), recs);
  EXPECT_FALSE(WasFreed(recs[0]));
  EXPECT_FALSE(WasFreed(recs[1]));
  EXPECT_FALSE(WasFreed(stranger));  // a refused record stays the caller's
  delete stranger;

  TMemberUserInfoList_ZEL empty;
  EXPECT_THROW(empty.First(), EListError);
  EXPECT_THROW(empty.Last(), EListError);
  EXPECT_EQ(empty.Count(), 0);
}

TEST(MemberUserInfoList, CopyListItemCopiesTheListedFieldsAndKeepsSix) {
  TMemberUserInfoRecord_ZEL src;
  src.MemberID = "10";
  src.Reserved = "src-reserved";
  src.MemberNum = "C10";
  src.MemberValid = true;
  src.MemberName = "\xD5\xC5\xC8\xFD";
  src.MemberType = "T";
  src.MemberTypeName = "TN";
  src.CardType = "K";
  src.CardTypeName = "KN";
  src.CertificateType = {"01", "ID", 7};
  src.CertificateNum = "110";
  src.PhoneNum = "P";
  src.MobileNum = "M";
  src.Address = "A";
  src.Email = "E";
  src.MemberBalance = "9.50";
  src.IsFeesMember = "Y";
  src.Points = "3";
  src.MemberGroupCode = "G9";
  src.PayPassword = "pw";
  src.IsOneCard = true;
  src.ConsumePoints = "cp";
  src.ConsumeMoney = "cm";
  src.CardStatus = "0";

  TMemberUserInfoRecord_ZEL dst;
  dst.Reserved = "dst-reserved";
  dst.MemberGroupCode = "G1";
  dst.PayPassword = "keep";
  dst.IsOneCard = false;
  dst.ConsumePoints = "1";
  dst.ConsumeMoney = "2";

  TMemberUserInfoList_ZEL::CopyListItem(src, dst);

  TMemberUserInfoRecord_ZEL expected = src;
  expected.Reserved = "dst-reserved";
  expected.MemberGroupCode = "G1";
  expected.PayPassword = "keep";
  expected.IsOneCard = false;
  expected.ConsumePoints = "1";
  expected.ConsumeMoney = "2";

  const std::vector<std::pair<const char*, std::pair<std::string, std::string>>> fields = {
      {"MemberID", {dst.MemberID, expected.MemberID}},
      {"Reserved", {dst.Reserved, expected.Reserved}},
      {"MemberNum", {dst.MemberNum, expected.MemberNum}},
      {"MemberValid", {std::to_string(dst.MemberValid), std::to_string(expected.MemberValid)}},
      {"MemberName", {dst.MemberName, expected.MemberName}},
      {"MemberType", {dst.MemberType, expected.MemberType}},
      {"MemberTypeName", {dst.MemberTypeName, expected.MemberTypeName}},
      {"CardType", {dst.CardType, expected.CardType}},
      {"CardTypeName", {dst.CardTypeName, expected.CardTypeName}},
      {"CertificateType.Code", {dst.CertificateType.Code, expected.CertificateType.Code}},
      {"CertificateType.Name", {dst.CertificateType.Name, expected.CertificateType.Name}},
      {"CertificateType.Spare",
       {std::to_string(dst.CertificateType.Spare), std::to_string(expected.CertificateType.Spare)}},
      {"CertificateNum", {dst.CertificateNum, expected.CertificateNum}},
      {"PhoneNum", {dst.PhoneNum, expected.PhoneNum}},
      {"MobileNum", {dst.MobileNum, expected.MobileNum}},
      {"Address", {dst.Address, expected.Address}},
      {"Email", {dst.Email, expected.Email}},
      {"MemberBalance", {dst.MemberBalance, expected.MemberBalance}},
      {"IsFeesMember", {dst.IsFeesMember, expected.IsFeesMember}},
      {"Points", {dst.Points, expected.Points}},
      {"MemberGroupCode", {dst.MemberGroupCode, expected.MemberGroupCode}},
      {"PayPassword", {dst.PayPassword, expected.PayPassword}},
      {"IsOneCard", {std::to_string(dst.IsOneCard), std::to_string(expected.IsOneCard)}},
      {"ConsumePoints", {dst.ConsumePoints, expected.ConsumePoints}},
      {"ConsumeMoney", {dst.ConsumeMoney, expected.ConsumeMoney}},
      {"CardStatus", {dst.CardStatus, expected.CardStatus}},
  };
  for (const auto& [name, values] : fields) EXPECT_EQ(values.first, values.second) << name;
}

TEST(MemberUserInfoList, GetAsStringIsAlwaysEmpty) {
  TMemberUserInfoList_ZEL list;
  Fill(list, {"1", "2", "3"});
  EXPECT_EQ(list.GetAsString(), "");
}

TEST(TicketInfoRecordList, OwnsNothing) {
  ForgetFreed();
  TTicketInfoRecord_VRISK a{"A", "10", "1", "10"};
  TTicketInfoRecord_VRISK b{"B", "20", "2", "40"};
  auto* heap = new TTicketInfoRecord_VRISK{"C", "5", "1", "5"};
  {
    TTicketInfoRecordList_VRISK list;
    EXPECT_EQ(list.Add(&a), 0);
    EXPECT_EQ(list.Add(&b), 1);
    EXPECT_EQ(list.Add(heap), 2);
    list.Delete(2);
    EXPECT_FALSE(WasFreed(heap));
    list.Add(heap);
    list.Clear();
    list.Add(heap);
  }
  EXPECT_FALSE(WasFreed(heap));
  EXPECT_EQ(heap->CL_CostSum, "5");
  EXPECT_EQ(a.CL_PriceLevel, "A");
  delete heap;
}

TEST(TicketInfoRecordList, FindByPriceLevel) {
  TTicketInfoRecord_VRISK recs[] = {
      {"VIP", "", "", ""}, {"vip", "", "", ""}, {"", "", "", ""}, {"VIP", "", "", ""}};
  TTicketInfoRecordList_VRISK list;
  for (auto& r : recs) list.Add(&r);
  EXPECT_EQ(list.Find("VIP"), 0);
  EXPECT_EQ(list.Find("vip"), 1);
  EXPECT_EQ(list.Find(""), 2);
  EXPECT_EQ(list.Find("Vip"), -1);
  EXPECT_EQ(list.GetItems(3), &recs[3]);
  EXPECT_THROW(list.GetItems(4), EListError);
}

TEST(ErrorResources, InvalidXmlFormatText) {
  EXPECT_EQ(_SE_InvalidXMLFormat_ZEL, "Parse Error: Invalid XML Format!");
}
