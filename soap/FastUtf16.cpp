#include "soap/FastUtf16.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorl {
namespace {

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

std::u16string FastUtf8ToUtf16(std::string_view utf8) {
  // The result is never longer than the input in units. Sixteen units of
  // room at the end take the last full store of the ASCII path.
  std::u16string out(utf8.size() + 16, u'\0');
  char16_t* o = out.data();
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* end = p + utf8.size();
  while (p < end) {
#if defined(__SSE2__)
    // The ASCII run before the first non-ASCII byte is widened at once; all
    // sixteen units are stored and the excess is overwritten next.
    if (end - p >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(v));
      const __m128i zero = _mm_setzero_si128();
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi8(v, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8), _mm_unpackhi_epi8(v, zero));
      const unsigned ascii = mask == 0 ? 16u : static_cast<unsigned>(__builtin_ctz(mask));
      p += ascii;
      o += ascii;
      if (ascii == 16) continue;
    }
#endif
    const unsigned char c = *p;
    const size_t left = static_cast<size_t>(end - p);
    if (c < 0x80) {
      *o++ = c;
      p += 1;
    } else if (c >= 0xE0 && c <= 0xEF && left >= 3 && IsContinuation(p[1]) && IsContinuation(p[2]) &&
               !(c == 0xE0 && p[1] < 0xA0) && !(c == 0xED && p[1] > 0x9F)) {
      *o++ = static_cast<char16_t>(((c & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
      p += 3;
    } else if (c >= 0xC2 && c <= 0xDF && left >= 2 && IsContinuation(p[1])) {
      *o++ = static_cast<char16_t>(((c & 0x1F) << 6) | (p[1] & 0x3F));
      p += 2;
    } else if (c >= 0xF0 && c <= 0xF4 && left >= 4 && IsContinuation(p[1]) && IsContinuation(p[2]) &&
               IsContinuation(p[3]) && !(c == 0xF0 && p[1] < 0x90) && !(c == 0xF4 && p[1] > 0x8F)) {
      const char32_t cp = ((char32_t(c & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) |
                           (char32_t(p[2] & 0x3F) << 6) | (p[3] & 0x3F)) -
                          0x10000;
      *o++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *o++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
      p += 4;
    } else {
      *o++ = u'?';
      p += 1;
    }
  }
  out.resize(static_cast<size_t>(o - out.data()));
  return out;
}

}  // namespace quorl
