#include "memberdata/MemberInfoReader.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "core/uCoreMemberSys_ZEL.h"
#include "memberdata/GbkXml.h"

namespace quorl::memberinfo {
namespace {

constexpr std::string_view kAttributeNames[kSlotCount] = {
    "memberID",        "memberNum",    "memberValid",     "memberName",     "memberType",   "memberTypeName",
    "cardType",        "cardTypeName", "certificateType", "certificateNum", "phoneNum",     "mobileNum",
    "sAddress",        "sEmail",       "cardstatus",      "memberBalance",  "isfeesmember", "Points",
    "memberGroupcode", "PayPassword",  "IsOneCard",       "ConsumePoints",  "ConsumeMoney"};

// A value as host text: escapes resolved when it holds a '&'.
void Set(std::string& field, std::string_view v, bool escaped) {
  if (escaped)
    field = UnescapeXmlToGbk(std::string(v).c_str());
  else if (v.empty())
    field.clear();
  else
    field.assign(v.data(), v.size());
}

bool IsOne(std::string_view v, bool escaped) {
  if (!escaped) return v == "1";
  return UnescapeXmlToGbk(std::string(v).c_str()) == "1";
}

// The attribute names padded to sixteen bytes, for one vector comparison
// against the name expected at a position.
struct PaddedName {
  char bytes[16];
  unsigned size;
};

constexpr auto kPaddedNames = [] {
  std::array<PaddedName, kSlotCount> t{};
  for (int s = 0; s < kSlotCount; ++s) {
    t[s].size = static_cast<unsigned>(kAttributeNames[s].size());
    for (unsigned i = 0; i < t[s].size; ++i) t[s].bytes[i] = kAttributeNames[s][i];
  }
  return t;
}();
static_assert(sizeof("memberGroupcode") <= 16, "names fit the padded table");

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

  // True when the name of slot stands at p_, whole.
  bool NameAt(int slot) const {
    const PaddedName& n = kPaddedNames[slot];
#ifdef __SSE2__
    if (e_ - p_ > 16) {
      const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p_));
      const __m128i want = _mm_loadu_si128(reinterpret_cast<const __m128i*>(n.bytes));
      const unsigned equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(text, want)));
      const unsigned needed = (1u << n.size) - 1;
      return (equal & needed) == needed && !Is(p_[n.size], kName);
    }
#endif
    return static_cast<size_t>(e_ - p_) > n.size && std::memcmp(p_, n.bytes, n.size) == 0 &&
           !Is(p_[n.size], kName);
  }

  // Moves p_ to the next byte that ends or interrupts a value, or to the end.
  void SkipToValueStop() {
#ifdef __SSE2__
    const __m128i dq = _mm_set1_epi8('"'), sq = _mm_set1_epi8('\''), lt = _mm_set1_epi8('<'),
                  amp = _mm_set1_epi8('&'), control = _mm_set1_epi8(0x1F);
    while (e_ - p_ >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p_));
      const __m128i stop =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, dq), _mm_cmpeq_epi8(v, sq)),
                       _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lt), _mm_cmpeq_epi8(v, amp)),
                                    _mm_cmpeq_epi8(_mm_max_epu8(v, control), control)));
      const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(stop));
      if (mask != 0) {
        p_ += __builtin_ctz(mask);
        return;
      }
      p_ += 16;
    }
#endif
    while (p_ < e_ && !Is(*p_, kValueStop)) ++p_;
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
    uint32_t escapedSlots = 0;
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
      if (position >= hints_.size()) hints_.push_back(-1);
      const int hint = hints_[position];
      const char* nameStart = p_;
      int slot;
      if (hint >= 0 && NameAt(hint)) {
        slot = hint;
        p_ += kPaddedNames[hint].size;
      } else {
        while (p_ < e_ && Is(*p_, kName)) ++p_;
        slot = SlotOf(std::string_view(nameStart, static_cast<size_t>(p_ - nameStart)), -1);
      }
      const std::string_view name(nameStart, static_cast<size_t>(p_ - nameStart));
      ++position;
      if (p_ < e_ && *p_ != '=') SkipWs();
      if (p_ == e_ || *p_ != '=') return false;
      ++p_;
      if (p_ < e_ && *p_ != '"') SkipWs();
      if (p_ == e_ || (*p_ != '"' && *p_ != '\'')) return false;
      const char quote = *p_++;
      const char* valueStart = p_;
      bool escaped = false;
      for (;;) {
        SkipToValueStop();
        if (p_ == e_) return false;
        if (*p_ == quote) break;
        // The other quote and '&' are text here; control characters (which
        // the parser rewrites) and '<' (refused) are the document reader's.
        if (*p_ == '&')
          escaped = true;
        else if (*p_ != '"' && *p_ != '\'')
          return false;
        ++p_;
      }
      const std::string_view value(valueStart, static_cast<size_t>(p_ - valueStart));
      ++p_;

      if (slot >= 0) {
        hints_[position - 1] = static_cast<signed char>(slot);
        if (values[slot].data() != nullptr) return false;  // twice: the parser's error
        values[slot] = value;
        if (escaped) escapedSlots |= 1u << slot;
        continue;
      }
      for (int k = 0; k < unknownCount; ++k)
        if (unknown[k] == name) return false;
      if (unknownCount == kMaxUnknownNames) return false;
      unknown[unknownCount++] = name;
    }
    std::unique_ptr<TMemberUserInfoRecord_ZEL> rec(NewRecordFromValues(values, escapedSlots));
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

TMemberUserInfoRecord_ZEL* NewRecordFromValues(const SlotValues& values, uint32_t escapedSlots) {
  const auto v = [&values](int slot) { return values[slot]; };
  const auto esc = [escapedSlots](int slot) { return (escapedSlots >> slot & 1u) != 0; };
  // Default- rather than value-initialised: every field is set below, and
  // zeroing the record first costs measurably on answers of many members.
  std::unique_ptr<TMemberUserInfoRecord_ZEL> rec(new TMemberUserInfoRecord_ZEL);
  Set(rec->MemberID, v(kMemberID), esc(kMemberID));
  if (!IsInt32Text(rec->MemberID)) rec->MemberID = "-1";
  Set(rec->MemberNum, v(kMemberNum), esc(kMemberNum));
  {
    std::string valid;
    Set(valid, v(kMemberValid), esc(kMemberValid));
    rec->MemberValid = GetIsValidMemberType_ZEL(valid);
  }
  Set(rec->MemberName, v(kMemberName), esc(kMemberName));
  Set(rec->MemberType, v(kMemberType), esc(kMemberType));
  Set(rec->MemberTypeName, v(kMemberTypeName), esc(kMemberTypeName));
  Set(rec->CardType, v(kCardType), esc(kCardType));
  Set(rec->CardTypeName, v(kCardTypeName), esc(kCardTypeName));
  Set(rec->CertificateType.Code, v(kCertificateType), esc(kCertificateType));
  Set(rec->CertificateNum, v(kCertificateNum), esc(kCertificateNum));
  Set(rec->PhoneNum, v(kPhoneNum), esc(kPhoneNum));
  Set(rec->MobileNum, v(kMobileNum), esc(kMobileNum));
  Set(rec->Address, v(kAddress), esc(kAddress));
  Set(rec->Email, v(kEmail), esc(kEmail));
  Set(rec->CardStatus, v(kCardStatus), esc(kCardStatus));
  Set(rec->MemberBalance, v(kMemberBalance), esc(kMemberBalance));
  rec->IsFeesMember.assign(1, IsOne(v(kIsFeesMember), esc(kIsFeesMember)) ? 'Y' : 'N');
  Set(rec->Points, v(kPoints), esc(kPoints));
  Set(rec->MemberGroupCode, v(kMemberGroupCode), esc(kMemberGroupCode));
  Set(rec->PayPassword, v(kPayPassword), esc(kPayPassword));
  rec->IsOneCard = IsOne(v(kIsOneCard), esc(kIsOneCard));
  Set(rec->ConsumePoints, v(kConsumePoints), esc(kConsumePoints));
  Set(rec->ConsumeMoney, v(kConsumeMoney), esc(kConsumeMoney));
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

}  // namespace quorl::memberinfo
