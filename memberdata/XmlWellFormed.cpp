#include "memberdata/XmlWellFormed.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Exception.h"

namespace {

// Up to this many attributes an element's names are compared pairwise (the
// member answers have about twenty); beyond it they are sorted, so a hostile
// element with thousands of attributes costs n log n, not n squared.
constexpr size_t kPairwiseLimit = 32;
// A name quoted in an error message is cut to this many bytes.
constexpr size_t kQuotedNameLimit = 64;

// Character classes from one table, as the scan looks at most bytes once.
enum : uint8_t { kSpace = 1, kEndsName = 2 };

constexpr auto kClasses = [] {
  std::array<uint8_t, 256> t{};
  for (unsigned char c : {' ', '\t', '\r', '\n'}) t[c] = kSpace | kEndsName;
  for (unsigned char c : {'=', '/', '>', '<', '"', '\'', '?'}) t[c] = kEndsName;
  return t;
}();

bool IsSpace(char c) { return kClasses[static_cast<unsigned char>(c)] & kSpace; }
bool EndsName(char c) { return kClasses[static_cast<unsigned char>(c)] & kEndsName; }

class Scanner {
 public:
  explicit Scanner(std::string_view text) : s_(text) {}

  void Run() {
    size_t p = s_.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    const size_t start = p;
    bool seenRoot = false;
    bool seenDoctype = false;
    size_t depth = 0;
    for (;;) {
      if (depth == 0) {
        while (p < s_.size() && IsSpace(s_[p])) ++p;
        if (p == s_.size()) break;
        if (s_[p] != '<') Fail("Text outside the document element", p);
        if (At(p, "<?")) {
          p = SkipInstruction(p, p == start);
        } else if (At(p, "<!--")) {
          p = SkipComment(p);
        } else if (At(p, "<!DOCTYPE")) {
          if (seenRoot || seenDoctype) Fail("Misplaced document type declaration", p);
          seenDoctype = true;
          p = SkipDoctype(p);
        } else if (At(p, "<!") || At(p, "</")) {
          Fail("Text outside the document element", p);
        } else {
          if (seenRoot) Fail("More than one document element", p);
          seenRoot = true;
          p = StartTag(p, depth);
        }
        continue;
      }
      const void* lt = std::memchr(s_.data() + p, '<', s_.size() - p);
      if (lt == nullptr) Fail("Document element not closed", s_.size());
      p = static_cast<size_t>(static_cast<const char*>(lt) - s_.data());
      if (At(p, "</")) {
        p = EndTag(p);
        --depth;
      } else if (At(p, "<?")) {
        p = SkipInstruction(p, false);
      } else if (At(p, "<!--")) {
        p = SkipComment(p);
      } else if (At(p, "<![CDATA[")) {
        p = SkipPast(p + 9, "]]>", "Unterminated CDATA section", p);
      } else if (At(p, "<!")) {
        Fail("Declaration inside the document element", p);
      } else {
        p = StartTag(p, depth);
      }
    }
    if (!seenRoot) Fail("No document element", s_.size());
  }

 private:
  [[noreturn]] static void Fail(const std::string& what, size_t at) {
    throw EXMLDocError("XML parse error: " + what + " at offset " + std::to_string(at));
  }

  bool At(size_t p, std::string_view token) const { return s_.substr(p, token.size()) == token; }

  size_t SkipPast(size_t from, std::string_view end, const char* what, size_t at) const {
    const size_t e = s_.find(end, from);
    if (e == std::string_view::npos) Fail(what, at);
    return e + end.size();
  }

  size_t SkipComment(size_t p) const { return SkipPast(p + 4, "-->", "Unterminated comment", p); }

  // The target "xml" (any letter case) is reserved for the declaration,
  // which may only open the text.
  size_t SkipInstruction(size_t p, bool atStart) const {
    size_t t = p + 2;
    while (t < s_.size() && !IsSpace(s_[t]) && s_[t] != '?') ++t;
    const std::string_view target = s_.substr(p + 2, t - p - 2);
    const bool reserved = target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' &&
                          (target[2] | 0x20) == 'l';
    if (reserved && !atStart) Fail("Misplaced XML declaration", p);
    return SkipPast(p + 2, "?>", "Unterminated processing instruction", p);
  }

  size_t SkipQuoted(size_t q, size_t at) const {
    const size_t e = s_.find(s_[q], q + 1);
    if (e == std::string_view::npos) Fail("Unterminated document type declaration", at);
    return e + 1;
  }

  // Quoted literals, comments and instructions may hold '>' and ']'.
  size_t SkipDoctype(size_t p) const {
    size_t i = p + 9;
    bool inSubset = false;
    while (i < s_.size()) {
      const char c = s_[i];
      if (c == '"' || c == '\'') {
        i = SkipQuoted(i, p);
      } else if (inSubset && At(i, "<!--")) {
        i = SkipComment(i);
      } else if (inSubset && At(i, "<?")) {
        i = SkipPast(i + 2, "?>", "Unterminated processing instruction", i);
      } else if (!inSubset && c == '[') {
        inSubset = true;
        ++i;
      } else if (inSubset && c == ']') {
        inSubset = false;
        ++i;
      } else if (!inSubset && c == '>') {
        return i + 1;
      } else {
        ++i;
      }
    }
    Fail("Unterminated document type declaration", p);
  }

  size_t NameEnd(size_t i) const {
    while (i < s_.size() && !EndsName(s_[i])) ++i;
    return i;
  }

  size_t SkipSpace(size_t i) const {
    while (i < s_.size() && IsSpace(s_[i])) ++i;
    return i;
  }

  // Items of one answer mostly repeat the attribute names of the item before
  // in the same order; while they do, each name is found by one comparison
  // with the name expected there, and a tag whose names are all (or the
  // first of) the names already found distinct needs no search.
  size_t StartTag(size_t p, size_t& depth) {
    size_t i = NameEnd(p + 1);
    if (i == p + 1) Fail("Malformed start tag", p);
    names_.clear();
    size_t count = 0;
    bool repeats = true;  // names_ stays empty while the names are those of checked_
    for (;;) {
      const size_t afterName = i;
      i = SkipSpace(i);
      if (i == s_.size()) Fail("Unterminated start tag", p);
      if (s_[i] == '>' || s_[i] == '/') {
        if (s_[i] == '/' && !At(i, "/>")) Fail("Malformed start tag", i);
        // Names end at '<', so a '<' anywhere in the tag is in a value; one
        // search of the whole tag is cheaper than one per value.
        if (const void* lt = std::memchr(s_.data() + p + 1, '<', i - p - 1))
          Fail("'<' in attribute value", static_cast<size_t>(static_cast<const char*>(lt) - s_.data()));
        if (!repeats) {
          CheckDuplicates();
          checked_.swap(names_);
        }
        if (s_[i] == '/') return i + 2;
        ++depth;
        return i + 1;
      }
      if (i == afterName) Fail("Attributes not separated by whitespace", i);
      const size_t nameStart = i;
      if (repeats && count < checked_.size() && IsNameAt(i, checked_[count])) {
        i += checked_[count].size();
      } else {
        if (repeats) names_.assign(checked_.begin(), checked_.begin() + static_cast<ptrdiff_t>(count));
        repeats = false;
        i = NameEnd(i);
        if (i == nameStart) Fail("Malformed attribute", i);
        names_.push_back(s_.substr(nameStart, i - nameStart));
      }
      ++count;
      if (At(i, "=\"")) {
        ++i;  // the usual spelling, without the space that markup allows around '='
      } else {
        i = SkipSpace(i);
        if (i == s_.size() || s_[i] != '=') Fail("Attribute without a value", nameStart);
        i = SkipSpace(i + 1);
        if (i == s_.size() || (s_[i] != '"' && s_[i] != '\'')) Fail("Unquoted attribute value", i);
      }
      const void* close = std::memchr(s_.data() + i + 1, s_[i], s_.size() - i - 1);
      if (close == nullptr) Fail("Unterminated attribute value", i);
      i = static_cast<size_t>(static_cast<const char*>(close) - s_.data()) + 1;
    }
  }

  bool IsNameAt(size_t i, std::string_view name) const {
    return s_.size() - i > name.size() && EndsName(s_[i + name.size()]) &&
           std::memcmp(s_.data() + i, name.data(), name.size()) == 0;
  }

  size_t EndTag(size_t p) const {
    const size_t nameEnd = NameEnd(p + 2);
    if (nameEnd == p + 2) Fail("Malformed end tag", p);
    const size_t i = SkipSpace(nameEnd);
    if (i == s_.size() || s_[i] != '>') Fail("Malformed end tag", p);
    return i + 1;
  }

  // Length and end bytes: most different names already differ there.
  static uint32_t Key(std::string_view name) {
    return static_cast<uint32_t>(std::min<size_t>(name.size(), 0xFFFF)) |
           static_cast<uint32_t>(static_cast<unsigned char>(name.front())) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(name.back())) << 24;
  }

  void CheckDuplicates() {
    const size_t n = names_.size();
    if (n <= kPairwiseLimit) {
      uint32_t keys[kPairwiseLimit];
      for (size_t a = 0; a < n; ++a) {
        keys[a] = Key(names_[a]);
        for (size_t b = 0; b < a; ++b)
          if (keys[a] == keys[b] && names_[a] == names_[b]) FailDuplicate(names_[a]);
      }
      return;
    }
    std::sort(names_.begin(), names_.end(),
              [](std::string_view x, std::string_view y) { return x != y ? x < y : x.data() < y.data(); });
    for (size_t a = 1; a < n; ++a)
      if (names_[a] == names_[a - 1]) FailDuplicate(names_[a]);
  }

  [[noreturn]] void FailDuplicate(std::string_view name) const {
    Fail("Duplicate attribute \"" + std::string(name.substr(0, kQuotedNameLimit)) + "\"",
         static_cast<size_t>(name.data() - s_.data()));
  }

  std::string_view s_;
  std::vector<std::string_view> names_;    // of the start tag being read
  std::vector<std::string_view> checked_;  // distinct names of the last tag searched
};

}  // namespace

namespace quorl {

void CheckWellFormedXml(std::string_view text) { Scanner(text).Run(); }

}  // namespace quorl
