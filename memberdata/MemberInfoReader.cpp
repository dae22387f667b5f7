#include "memberdata/MemberInfoReader.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

#include "core/uCoreMemberSys_ZEL.h"
#include "memberdata/GbkXml.h"

namespace quorl::memberinfo {
namespace {

constexpr std::string_view kAttributeNames[kSlotCount] = {
    "memberID",        "memberNum",    "memberValid",     "memberName",     "memberType",   "memberTypeName",
    "cardType",        "cardTypeName", "certificateType", "certificateNum", "phoneNum",     "mobileNum",
    "sAddress",        "sEmail",       "cardstatus",      "memberBalance",  "isfeesmember", "Points",
    "memberGroupcode", "PayPassword",  "IsOneCard",       "ConsumePoints",  "ConsumeMoney"};

// True when text is an optional sign followed by decimal digits whose value
// fits a 32-bit signed integer (the rule that keeps or replaces MemberID).
bool IsInt32Text(std::string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  const int64_t limit = negative ? 2147483648LL : 2147483647LL;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
    if (v > limit) return false;
  }
  return true;
}

std::string Text(std::string_view v) {
  if (v.find('&') != std::string_view::npos) return UnescapeXmlToGbk(std::string(v).c_str());
  return std::string(v);
}

// Byte classes of the streaming pass, from one table.
enum : uint8_t { kWs = 1, kNameStart = 2, kName = 4, kValueStop = 8, kDeclaration = 16 };

constexpr auto kClass = [] {
  std::array<uint8_t, 256> t{};
  for (unsigned char c : {' ', '\t', '\r', '\n'}) t[c] = kWs | kDeclaration;
  for (int c = 0; c < 0x20; ++c) t[c] |= kValueStop;
  for (unsigned char c : {'"', '\'', '<', '&'}) t[c] |= kValueStop;
  for (int c = 'a'; c <= 'z'; ++c) t[c] |= kNameStart | kName | kDeclaration;
  for (int c = 'A'; c <= 'Z'; ++c) t[c] |= kNameStart | kName | kDeclaration;
  for (int c = '0'; c <= '9'; ++c) t[c] |= kName | kDeclaration;
  for (unsigned char c : {'_', ':'}) t[c] |= kNameStart | kName | kDeclaration;
  for (unsigned char c : {'-', '.'}) t[c] |= kName | kDeclaration;
  for (unsigned char c : {'=', '"', '\''}) t[c] |= kDeclaration;
  return t;
}();

bool Is(char c, uint8_t cls) { return (kClass[static_cast<unsigned char>(c)] & cls) != 0; }

// More names outside the mapping than this in one item: left to the
// document reader, which checks them for duplicates in n log n.
constexpr int kMaxUnknownNames = 16;

class Scanner {
 public:
  Scanner(std::string_view text, TMemberUserInfoList_ZEL& list, std::vector<signed char>& hints)
      : p_(text.data()), e_(text.data() + text.size()), list_(list), hints_(hints) {}

  bool Run() {
    // A declaration only at the very start, made of the plain characters
    // version and encoding use.
    if (Next("<?xml") && e_ - p_ > 5 && Is(p_[5], kWs)) {
      const char* q = p_ + 6;
      while (q < e_ && Is(*q, kDeclaration)) ++q;
      if (e_ - q < 2 || q[0] != '?' || q[1] != '>') return false;
      p_ = q + 2;
    }
    SkipWs();
    if (!Next("<data")) return false;
    p_ += 5;
    if (p_ < e_ && !Is(*p_, kWs) && *p_ != '>' && *p_ != '/') return false;
    SkipWs();
    if (Next("/>")) {
      p_ += 2;
      return AtEnd();
    }
    if (p_ == e_ || *p_ != '>') return false;
    ++p_;
    for (;;) {
      SkipWs();
      if (Next("</")) {
        p_ += 2;
        return EndTag("data") && AtEnd();
      }
      if (!Next("<dataitem")) return false;
      p_ += 9;
      if (p_ == e_ || !(Is(*p_, kWs) || *p_ == '>' || *p_ == '/')) return false;
      if (!Item()) return false;
    }
  }

 private:
  bool Next(std::string_view token) const {
    return static_cast<size_t>(e_ - p_) >= token.size() && std::memcmp(p_, token.data(), token.size()) == 0;
  }

  void SkipWs() {
    while (p_ < e_ && Is(*p_, kWs)) ++p_;
  }

  bool AtEnd() {
    SkipWs();
    return p_ == e_;
  }

  // After "</": the name, optional whitespace, '>'.
  bool EndTag(std::string_view name) {
    if (!Next(name)) return false;
    p_ += name.size();
    SkipWs();
    if (p_ == e_ || *p_ != '>') return false;
    ++p_;
    return true;
  }

  // After "<dataitem": the attributes, then "/>" or ">" whitespace "</dataitem>".
  bool Item() {
    SlotValues values{};
    std::string_view unknown[kMaxUnknownNames];
    int unknownCount = 0;
    size_t position = 0;
    for (;;) {
      const char* before = p_;
      SkipWs();
      if (p_ == e_) return false;
      if (*p_ == '/') {
        if (e_ - p_ < 2 || p_[1] != '>') return false;
        p_ += 2;
        break;
      }
      if (*p_ == '>') {
        ++p_;
        SkipWs();
        if (!Next("</")) return false;
        p_ += 2;
        if (!EndTag("dataitem")) return false;
        break;
      }
      if (p_ == before || !Is(*p_, kNameStart)) return false;
      const char* nameStart = p_;
      while (p_ < e_ && Is(*p_, kName)) ++p_;
      const std::string_view name(nameStart, static_cast<size_t>(p_ - nameStart));
      SkipWs();
      if (p_ == e_ || *p_ != '=') return false;
      ++p_;
      SkipWs();
      if (p_ == e_ || (*p_ != '"' && *p_ != '\'')) return false;
      const char quote = *p_++;
      const char* valueStart = p_;
      for (;;) {
        while (p_ < e_ && !Is(*p_, kValueStop)) ++p_;
        if (p_ == e_) return false;
        if (*p_ == quote) break;
        // The other quote and '&' are text here; control characters (which
        // the parser rewrites) and '<' (refused) are the document reader's.
        if (*p_ != '&' && *p_ != '"' && *p_ != '\'') return false;
        ++p_;
      }
      const std::string_view value(valueStart, static_cast<size_t>(p_ - valueStart));
      ++p_;

      if (position >= hints_.size()) hints_.push_back(-1);
      const int slot = SlotOf(name, hints_[position]);
      ++position;
      if (slot >= 0) {
        hints_[position - 1] = static_cast<signed char>(slot);
        if (values[slot].data() != nullptr) return false;  // twice: the parser's error
        values[slot] = value;
        continue;
      }
      for (int k = 0; k < unknownCount; ++k)
        if (unknown[k] == name) return false;
      if (unknownCount == kMaxUnknownNames) return false;
      unknown[unknownCount++] = name;
    }
    std::unique_ptr<TMemberUserInfoRecord_ZEL> rec(NewRecordFromValues(values));
    list_.Add(rec.get());
    rec.release();
    return true;
  }

  const char* p_;
  const char* const e_;
  TMemberUserInfoList_ZEL& list_;
  std::vector<signed char>& hints_;
};

}  // namespace

int SlotOf(std::string_view name, int hint) {
  if (hint >= 0 && name == kAttributeNames[hint]) return hint;
  for (int s = 0; s < kSlotCount; ++s)
    if (name == kAttributeNames[s]) return s;
  return -1;
}

TMemberUserInfoRecord_ZEL* NewRecordFromValues(const SlotValues& values) {
  // Default- rather than value-initialised: every field is set below, and
  // zeroing the record first costs measurably on answers of many members.
  std::unique_ptr<TMemberUserInfoRecord_ZEL> rec(new TMemberUserInfoRecord_ZEL);
  rec->MemberID = Text(values[kMemberID]);
  if (!IsInt32Text(rec->MemberID)) rec->MemberID = "-1";
  rec->MemberNum = Text(values[kMemberNum]);
  rec->MemberValid = GetIsValidMemberType_ZEL(Text(values[kMemberValid]));
  rec->MemberName = Text(values[kMemberName]);
  rec->MemberType = Text(values[kMemberType]);
  rec->MemberTypeName = Text(values[kMemberTypeName]);
  rec->CardType = Text(values[kCardType]);
  rec->CardTypeName = Text(values[kCardTypeName]);
  rec->CertificateType.Code = Text(values[kCertificateType]);
  rec->CertificateNum = Text(values[kCertificateNum]);
  rec->PhoneNum = Text(values[kPhoneNum]);
  rec->MobileNum = Text(values[kMobileNum]);
  rec->Address = Text(values[kAddress]);
  rec->Email = Text(values[kEmail]);
  rec->CardStatus = Text(values[kCardStatus]);
  rec->MemberBalance = Text(values[kMemberBalance]);
  rec->IsFeesMember = Text(values[kIsFeesMember]) == "1" ? "Y" : "N";
  rec->Points = Text(values[kPoints]);
  rec->MemberGroupCode = Text(values[kMemberGroupCode]);
  rec->PayPassword = Text(values[kPayPassword]);
  rec->IsOneCard = Text(values[kIsOneCard]) == "1";
  rec->ConsumePoints = Text(values[kConsumePoints]);
  rec->ConsumeMoney = Text(values[kConsumeMoney]);
  return rec.release();
}

void FillCertificateNames(TMemberUserInfoList_ZEL& list) {
  for (int i = 0; i < list.Count(); ++i) {
    TMemberUserInfoRecord_ZEL* rec = list.GetItems(i);
    rec->CertificateType.Name = GetCertificateTypeDisplayName(rec->CertificateType.Code);
  }
}

bool ReadMemberListStreaming(std::string_view gbkText, TMemberUserInfoList_ZEL& list,
                             std::vector<signed char>& slotHints) {
  return Scanner(gbkText, list, slotHints).Run();
}

}  // namespace quorl::memberinfo
