#include "platform/CodePage.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <iconv.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/Exception.h"
#include "platform/Text.h"
#include "platform/Utf8.h"

namespace quorl {
namespace {

// Native UTF-16 byte order, so iconv writes straight into a std::u16string.
constexpr const char* kUtf16Native = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// glibc's "GBK" is code page 936 as the host has it, including 0x80 <-> U+20AC
// (euro sign); "CP936" is the same table under another name on some systems.
iconv_t OpenGbk(const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    const bool toGbk = std::string_view(to) == "GBK";
    cd = iconv_open(toGbk ? "CP936" : to, toGbk ? from : "CP936");
  }
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw Exception("Code page 936 (GBK) is not available: iconv_open failed");
  }
  return cd;
}

// One descriptor per direction and thread: opening iconv costs far more than
// converting a field, and a descriptor must not be shared between threads.
class IconvPair {
 public:
  IconvPair() : toUtf16_(OpenGbk(kUtf16Native, "GBK")), toGbk_(OpenGbk("GBK", kUtf16Native)) {}
  ~IconvPair() {
    iconv_close(toUtf16_);
    iconv_close(toGbk_);
  }
  IconvPair(const IconvPair&) = delete;
  IconvPair& operator=(const IconvPair&) = delete;
  iconv_t ToUtf16() const { return toUtf16_; }
  iconv_t ToGbk() const { return toGbk_; }

 private:
  iconv_t toUtf16_;
  iconv_t toGbk_;
};

IconvPair& Converters() {
  thread_local IconvPair pair;
  return pair;
}

bool IsAscii(std::string_view s) {
  for (unsigned char c : s) {
    if (c >= 0x80) return false;
  }
  return true;
}

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Runs iconv over the whole input; on a byte sequence that is invalid or that
// the target cannot hold, writes '?' and steps over `skip(in, left)` bytes.
// Output grows on demand, so the caller's estimate only has to be a hint.
template <typename Out, typename Skip>
void ConvertAll(iconv_t cd, const char* input, size_t inBytes, Out& out, size_t estimate,
                const typename Out::value_type question, Skip skip) {
  using Unit = typename Out::value_type;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset shift state
  out.resize(estimate + 1);
  size_t used = 0;  // units written
  char* in = const_cast<char*>(input);
  size_t inLeft = inBytes;
  while (inLeft > 0) {
    if (out.size() - used < 4) out.resize(out.size() * 2 + 8);
    char* outPtr = reinterpret_cast<char*>(out.data() + used);
    size_t outLeft = (out.size() - used) * sizeof(Unit);
    const size_t before = outLeft;
    const size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    used += (before - outLeft) / sizeof(Unit);
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2 + 8);
      continue;
    }
    // EILSEQ (invalid or unrepresentable) or EINVAL (cut off at the end).
    const size_t n = skip(in, inLeft);
    in += n;
    inLeft -= n;
    if (used == out.size()) out.resize(out.size() * 2 + 8);
    out[used++] = question;
  }
  out.resize(used);
}

// Output written through a small buffer and appended in blocks: the result
// string is never zero-filled first, and only the pages it keeps are touched.
template <typename String>
class ChunkedOutput {
 public:
  using Unit = typename String::value_type;
  explicit ChunkedOutput(String& out) : out_(out) {}
  Unit* Begin() { return buffer_; }
  // o, or the buffer's start after flushing, so that `units` more fit.
  Unit* Room(Unit* o, size_t units) {
    if (static_cast<size_t>(buffer_ + kUnits - o) >= units) return o;
    out_.append(buffer_, static_cast<size_t>(o - buffer_));
    return buffer_;
  }
  void Finish(Unit* o) { out_.append(buffer_, static_cast<size_t>(o - buffer_)); }

 private:
  static constexpr size_t kUnits = 4096;
  String& out_;
  Unit buffer_[kUnits];
};

// Code page 936 bytes of every character of the basic plane: 0 when GBK has
// none, a single byte below 0x100, else lead byte << 8 | trail byte. Built
// once from iconv, so it is iconv's table exactly; answers of several
// megabytes convert without a call into iconv per run of characters.
using GbkTable = std::array<uint16_t, 0x10000>;

const GbkTable& Utf16ToGbkTable() {
  static const GbkTable table = [] {
    GbkTable t{};
    iconv_t cd = OpenGbk("GBK", kUtf16Native);
    for (uint32_t c = 0x80; c < 0x10000; ++c) {
      if (IsHighSurrogate(c) || IsLowSurrogate(c)) continue;
      const char16_t unit = static_cast<char16_t>(c);
      char* in = const_cast<char*>(reinterpret_cast<const char*>(&unit));
      size_t inLeft = sizeof unit;
      unsigned char bytes[8];
      char* out = reinterpret_cast<char*>(bytes);
      size_t outLeft = sizeof bytes;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1)) continue;
      const size_t n = sizeof bytes - outLeft;
      if (n == 1) t[c] = bytes[0];
      if (n == 2) t[c] = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
    }
    iconv_close(cd);
    return t;
  }();
  return table;
}

}  // namespace

std::u16string GbkToUtf16(std::string_view gbk) {
  if (IsAscii(gbk)) return std::u16string(gbk.begin(), gbk.end());
  std::u16string out;
  // Every GBK character is one or two bytes and one UTF-16 unit, so the
  // output never has more units than the input has bytes.
  ConvertAll(Converters().ToUtf16(), gbk.data(), gbk.size(), out, gbk.size(), u'?',
             [](const char*, size_t) { return size_t{1}; });
  return out;
}

std::string Utf16ToGbk(std::u16string_view utf16) {
  // A character outside the basic plane is one character: one '?' for the
  // pair, not one per unit. A lone surrogate is one bad unit.
  const GbkTable& table = Utf16ToGbkTable();
  std::string out;
  out.reserve(utf16.size() + utf16.size() / 4);
  ChunkedOutput<std::string> chunks(out);
  char* o = chunks.Begin();
  for (size_t i = 0; i < utf16.size(); ++i) {
    o = chunks.Room(o, 16);
#if defined(__SSE2__)
    // Answers are mostly ASCII markup: narrow eight units at a time while
    // they all are below 0x80.
    while (utf16.size() - i >= 8) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(utf16.data() + i));
      const __m128i high = _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFF80)));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) != 0xFFFF) break;
      _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(v, v));
      o += 8;
      i += 8;
      o = chunks.Room(o, 16);
    }
    if (i == utf16.size()) break;
#endif
    const char16_t u = utf16[i];
    if (u < 0x80) {
      *o++ = static_cast<char>(u);
      continue;
    }
    if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
      if (IsHighSurrogate(u) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) ++i;
      *o++ = '?';
      continue;
    }
    const uint16_t code = table[u];
    if (code == 0) {
      *o++ = '?';
    } else if (code < 0x100) {
      *o++ = static_cast<char>(code);
    } else {
      *o++ = static_cast<char>(code >> 8);
      *o++ = static_cast<char>(code & 0xFF);
    }
  }
  chunks.Finish(o);
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  // Answers of several megabytes go through here, so ASCII runs are widened
  // in blocks, at most 32 units at a time to stay within the room asked for.
  std::u16string out;
  out.reserve(utf8.size());
  ChunkedOutput<std::u16string> chunks(out);
  char16_t* o = chunks.Begin();
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  size_t i = 0;
  while (i < utf8.size()) {
    o = chunks.Room(o, 32);
    const size_t ascii = WidenAscii(s + i, std::min<size_t>(utf8.size() - i, 32), o);
    i += ascii;
    o += ascii;
    if (i >= utf8.size() || s[i] < 0x80) continue;
    char32_t cp;
    i += DecodeUtf8Char(s + i, utf8.size() - i, cp);
    o = EncodeUtf16(cp, o);
  }
  chunks.Finish(o);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size() * 3);
  for (size_t i = 0; i < utf16.size(); ++i) {
    const char32_t cp = NextUtf16(utf16, i);
    if (IsSurrogate(cp))
      out.push_back('?');  // a lone half: no character to carry
    else
      AppendUtf8(out, cp);
  }
  return out;
}

std::string GbkToUtf8(std::string_view gbk) {
  if (IsAscii(gbk)) return std::string(gbk);
  return Utf16ToUtf8(GbkToUtf16(gbk));
}

std::string Utf8ToGbk(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  return Utf16ToGbk(Utf8ToUtf16(utf8));
}

std::string Trim(std::string_view s) { return std::string(TrimView(s)); }

std::u16string Trim(std::u16string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && s[b] <= 0x20) ++b;
  while (e > b && s[e - 1] <= 0x20) --e;
  return std::u16string(s.substr(b, e - b));
}

bool SameTextGbk(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if (ca >= 0x81 && ca <= 0xFE && i + 1 < a.size()) {
      if (ca != cb || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

}  // namespace quorl
