#include "platform/Lists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Exception.h"

namespace {

// Records every Notify as "<action><tag>", e.g. "+a", "-a", "xa".
class RecordingList : public TList {
 public:
  ~RecordingList() override { Clear(); }
  std::vector<std::string> log;

 protected:
  void Notify(void* item, TListNotification action) override {
    const char sign = action == TListNotification::lnAdded     ? '+'
                      : action == TListNotification::lnDeleted ? '-'
                                                               : 'x';
    log.push_back(std::string(1, sign) + *static_cast<const char*>(item));
  }
};

char a = 'a', b = 'b', c = 'c';

TEST(TList, NotifiesEveryChangeAfterItHappened) {
  RecordingList list;
  list.Add(&a);
  list.Add(&b);
  list.Insert(0, &c);  // c a b
  EXPECT_EQ(list.Get(0), &c);
  list.Put(1, &b);                  // c b b: a deleted, b added
  list.Put(1, &b);                  // same item: nothing
  EXPECT_EQ(list.Extract(&b), &b);  // first b leaves: c b
  EXPECT_EQ(list.Extract(&a), nullptr);
  EXPECT_EQ(list.Remove(&c), 0);  // b
  EXPECT_EQ(list.Remove(&c), -1);
  list.Add(&a);    // b a
  list.Delete(0);  // a
  EXPECT_EQ(list.log, (std::vector<std::string>{"+a", "+b", "+c", "-a", "+b", "xb", "-c", "+a", "-b"}));
  list.log.clear();
  list.Add(&b);
  list.Add(&c);
  list.log.clear();
  list.Clear();  // from the end
  EXPECT_EQ(list.log, (std::vector<std::string>{"-c", "-b", "-a"}));
  EXPECT_EQ(list.Count(), 0);
}

TEST(TList, NullItemsAreStoredButNeverNotified) {
  RecordingList list;
  list.Add(nullptr);
  list.Insert(0, nullptr);
  list.Put(0, &a);  // null -> a: only the add
  list.Put(0, nullptr);
  list.Delete(0);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.log, (std::vector<std::string>{"+a", "-a"}));
}

TEST(TList, DestructorOfOverridingClassReleasesRemainingItems) {
  std::vector<std::string> log;
  {
    struct Owner : RecordingList {
      std::vector<std::string>* out;
      ~Owner() override {
        Clear();
        *out = log;
      }
    } list;
    list.out = &log;
    list.Add(&a);
    list.Add(&b);
  }
  EXPECT_EQ(log, (std::vector<std::string>{"+a", "+b", "-b", "-a"}));
}

TEST(TList, OutOfRangeRaisesBeforeAnythingChanges) {
  RecordingList list;
  list.Add(&a);
  list.log.clear();
  const struct {
    const char* what;
    void (*op)(RecordingList&);
    const char* message;
  } cases[] = {
      {"Get(1)", [](RecordingList& l) { l.Get(1); }, "List index out of bounds (1)"},
      {"Get(-1)", [](RecordingList& l) { l.Get(-1); }, "List index out of bounds (-1)"},
      {"Put(1)", [](RecordingList& l) { l.Put(1, &b); }, "List index out of bounds (1)"},
      {"Delete(1)", [](RecordingList& l) { l.Delete(1); }, "List index out of bounds (1)"},
      {"Insert(2)", [](RecordingList& l) { l.Insert(2, &b); }, "List index out of bounds (2)"},
      {"Insert(-1)", [](RecordingList& l) { l.Insert(-1, &b); }, "List index out of bounds (-1)"},
      {"Exchange(0,1)", [](RecordingList& l) { l.Exchange(0, 1); }, "List index out of bounds (1)"},
  };
  for (const auto& c : cases) {
    try {
      c.op(list);
      ADD_FAILURE() << c.what << " did not raise";
    } catch (const EListError& e) {
      EXPECT_EQ(e.Message(), c.message) << c.what;
    }
    EXPECT_EQ(list.Count(), 1) << c.what;
    EXPECT_EQ(list.Get(0), &a) << c.what;
    EXPECT_TRUE(list.log.empty()) << c.what;
  }
  list.Insert(1, &b);  // Count itself appends
  EXPECT_EQ(list.Last(), &b);
  EXPECT_EQ(list.First(), &a);
  list.Exchange(0, 1);
  EXPECT_EQ(list.First(), &b);
}

TEST(TList, FirstAndLastOfEmptyListRaise) {
  TList list;
  EXPECT_THROW(list.First(), EListError);
  EXPECT_THROW(list.Last(), EListError);
}

TEST(TStringList, SetTextSplitsAtEveryLineBreakKind) {
  const struct {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r", {"a"}},
      {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
      {"a\n\nb", {"a", "", "b"}},
      {"\n", {""}},
      {"a\n\r\nb", {"a", "", "b"}},
      {"a\r\rb", {"a", "", "b"}},
  };
  for (const auto& c : cases) {
    TStringList list;
    list.SetText(c.text);
    std::vector<std::string> got;
    for (int i = 0; i < list.Count(); ++i) got.push_back(list[i]);
    EXPECT_EQ(got, c.lines) << c.text;
  }
}

TEST(TStringList, TextEndsEveryLineWithLineFeed) {
  TStringList list;
  EXPECT_EQ(list.Text(), "");
  list.Add("a=1");
  list.Add("");
  list.Insert(0, "z");
  EXPECT_EQ(list.Text(), "z\na=1\n\n");
}

TEST(TStringList, NameValueAccess) {
  TStringList list;
  list.SetText("sbs_id=12\nStore_ID=s=1\nnoequals\n=v\nSBS_ID=99\n\xD6\xD0=gbk");
  EXPECT_EQ(list.Names(0), "sbs_id");
  EXPECT_EQ(list.ValueFromIndex(1), "s=1");
  EXPECT_EQ(list.Names(2), "");
  EXPECT_EQ(list.ValueFromIndex(2), "");
  EXPECT_EQ(list.Names(3), "");
  EXPECT_EQ(list.ValueFromIndex(3), "v");
  EXPECT_EQ(list.Values("SBS_ID"), "12");  // first of that name, any case
  EXPECT_EQ(list.Values("store_id"), "s=1");
  EXPECT_EQ(list.Values("noequals"), "");
  EXPECT_EQ(list.IndexOfName("noequals"), -1);
  EXPECT_EQ(list.IndexOfName("missing"), -1);
  EXPECT_EQ(list.Values("\xD6\xD0"), "gbk");
  // The trail byte 0xD0 is no letter; a GBK pair whose trail byte is an ASCII
  // letter must not match its "other case".
  list.Add("\x81\x41=upper");
  EXPECT_EQ(list.IndexOfName("\x81\x61"), -1);
  EXPECT_EQ(list.Values("\x81\x41"), "upper");
  EXPECT_EQ(list.IndexOf("SBS_ID=99"), 4);
  EXPECT_EQ(list.IndexOf("sbs_id=99"), -1);
}

TEST(TStringList, OutOfRangeRaisesListError) {
  TStringList list;
  list.Add("x");
  EXPECT_THROW(list.Get(1), EListError);
  EXPECT_THROW(list.Put(-1, "y"), EListError);
  EXPECT_THROW(list.Delete(1), EListError);
  EXPECT_THROW(list.Insert(2, "y"), EListError);
  EXPECT_THROW(list.Names(3), EListError);
  EXPECT_EQ(list.Text(), "x\n");
}

}  // namespace
