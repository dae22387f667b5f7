// The one UTF-8 encoder and decoder of the package. Internal: not installed.
//
// Invalid input, everywhere: each maximal invalid subpart (the longest start
// of a sequence that could still have become valid, or else one byte) is one
// bad character and decodes as U+FFFD. Text bound for the host code page
// then shows one '?' for it. A cut-off "\xE4\xBC" is thus one bad character,
// not two.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace quorl {

inline constexpr char32_t kReplacementChar = 0xFFFD;

// Encoded surrogate halves (ED A0..ED BF). Well-formed UTF-8 has none; the
// JSON unit carries a lone \uD800-style escape through its UTF-8 text that
// way and accepts them back, everyone else rejects them.
enum class Utf8Surrogates { Reject, Accept };

inline constexpr bool IsUtf8Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Decodes the sequence at s (left > 0 bytes there). Returns the bytes taken;
// cp is the code point, or kReplacementChar for a maximal invalid subpart.
template <Utf8Surrogates kSurrogates = Utf8Surrogates::Reject>
inline size_t DecodeUtf8Char(const unsigned char* s, size_t left, char32_t& cp) {
  const unsigned char c = s[0];
  cp = kReplacementChar;
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  if (c >= 0xC2 && c <= 0xDF) {
    if (left < 2 || !IsUtf8Continuation(s[1])) return 1;
    cp = (char32_t(c & 0x1F) << 6) | (s[1] & 0x3F);
    return 2;
  }
  if (c >= 0xE0 && c <= 0xEF) {
    const unsigned char lo = c == 0xE0 ? 0xA0 : 0x80;  // below: overlong
    const unsigned char hi = c == 0xED && kSurrogates == Utf8Surrogates::Reject ? 0x9F : 0xBF;
    if (left < 2 || s[1] < lo || s[1] > hi) return 1;
    if (left < 3 || !IsUtf8Continuation(s[2])) return 2;
    cp = (char32_t(c & 0x0F) << 12) | (char32_t(s[1] & 0x3F) << 6) | (s[2] & 0x3F);
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    const unsigned char lo = c == 0xF0 ? 0x90 : 0x80;  // below: overlong
    const unsigned char hi = c == 0xF4 ? 0x8F : 0xBF;  // above: beyond U+10FFFF
    if (left < 2 || s[1] < lo || s[1] > hi) return 1;
    if (left < 3 || !IsUtf8Continuation(s[2])) return 2;
    if (left < 4 || !IsUtf8Continuation(s[3])) return 3;
    cp = (char32_t(c & 0x07) << 18) | (char32_t(s[1] & 0x3F) << 12) | (char32_t(s[2] & 0x3F) << 6) |
         (s[3] & 0x3F);
    return 4;
  }
  return 1;  // a stray continuation byte or a lead byte that is never valid
}

// Writes cp (at most U+10FFFF) as 1 to 4 bytes at d; returns the end. A
// surrogate value gets its 3-byte form: callers that must not write one
// check first.
inline char* EncodeUtf8(char32_t cp, char* d) {
  if (cp < 0x80) {
    *d++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *d++ = static_cast<char>(0xC0 | (cp >> 6));
    *d++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *d++ = static_cast<char>(0xE0 | (cp >> 12));
    *d++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *d++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *d++ = static_cast<char>(0xF0 | (cp >> 18));
    *d++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *d++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *d++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return d;
}

inline void AppendUtf8(std::string& out, char32_t cp) {
  char buf[4];
  out.append(buf, static_cast<size_t>(EncodeUtf8(cp, buf) - buf));
}

// One or two UTF-16 units for cp at d; returns the end.
inline char16_t* EncodeUtf16(char32_t cp, char16_t* d) {
  if (cp < 0x10000) {
    *d++ = static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    *d++ = static_cast<char16_t>(0xD800 + (cp >> 10));
    *d++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
  return d;
}

inline void AppendUtf16(std::u16string& out, char32_t cp) {
  char16_t buf[2];
  out.append(buf, static_cast<size_t>(EncodeUtf16(cp, buf) - buf));
}

// The code point at s[i]: a surrogate pair joined (i moves past its second
// half), a lone half returned as it is for the caller to judge.
inline char32_t NextUtf16(std::u16string_view s, size_t& i) {
  const char32_t u = s[i];
  if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF)
    return 0x10000 + ((u - 0xD800) << 10) + (s[++i] - 0xDC00);
  return u;
}

inline constexpr bool IsSurrogate(char32_t cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

// Widens the leading ASCII bytes of s[0..left) to d and returns how many.
// Works in blocks of sixteen: d needs room for `left` units, and units past
// the count may be written, for the caller to overwrite.
inline size_t WidenAscii(const unsigned char* s, size_t left, char16_t* d) {
  size_t n = 0;
#ifdef __SSE2__
  const __m128i zero = _mm_setzero_si128();
  while (left - n >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + n));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + n), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + n + 8), _mm_unpackhi_epi8(v, zero));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(v));
    if (mask != 0) return n + static_cast<size_t>(__builtin_ctz(mask));
    n += 16;
  }
#endif
  while (n < left && s[n] < 0x80) {
    d[n] = s[n];
    ++n;
  }
  return n;
}

// Decodes all of utf8 to UTF-16 at out, which has room for utf8.size()
// units (never fewer are needed); returns the units written.
template <Utf8Surrogates kSurrogates = Utf8Surrogates::Reject>
inline size_t DecodeUtf8ToUtf16(std::string_view utf8, char16_t* out) {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t size = utf8.size();
  char16_t* d = out;
  size_t i = 0;
  while (i < size) {
    const size_t ascii = WidenAscii(s + i, size - i, d);
    i += ascii;
    d += ascii;
    if (i >= size) break;
    char32_t cp;
    i += DecodeUtf8Char<kSurrogates>(s + i, size - i, cp);
    d = EncodeUtf16(cp, d);
  }
  return static_cast<size_t>(d - out);
}

}  // namespace quorl
