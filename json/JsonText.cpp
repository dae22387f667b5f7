// Byte-level helpers of uVxJSON: UTF-8 text into arena strings and number reading.
#include <locale.h>

#include <cerrno>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "json/JsonInternal.h"
#include "platform/FloatText.h"

namespace quorl {

void AppendUtf8AsUtf16(std::string_view utf8, std::u16string& out) {
  const size_t start = out.size();
  // UTF-16 never needs more code units than the UTF-8 text has bytes.
  out.resize(start + utf8.size());
  out.resize(start + DecodeJsonUtf8(utf8, out.data() + start));
}

void ArenaText::AssignUtf8(std::string_view utf8) {
  Release();
  if (utf8.empty()) return;
  const size_t bytes = utf8.size() * sizeof(char16_t);
  auto* data = static_cast<char16_t*>(ArenaAllocate(bytes));
  const size_t units = DecodeJsonUtf8(utf8, data);
  // Non-ASCII text needs fewer units than it had bytes: give back the tail.
  size_t capBytes = ArenaShrinkLast(data, bytes, units * sizeof(char16_t));
  if (capBytes == bytes && units < utf8.size() / 2 && bytes > kArenaMaxBlock) {
    auto* exact = static_cast<char16_t*>(ArenaAllocate(units * sizeof(char16_t)));
    std::memcpy(exact, data, units * sizeof(char16_t));
    ArenaFree(data, bytes);
    data = exact;
    capBytes = units * sizeof(char16_t);
  }
  data_ = data;
  size_ = units;
  cap_ = capBytes / sizeof(char16_t);
}

namespace {

locale_t CLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c;
}

inline bool IsDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Out of range: beyond the largest long double, or so small that a number
// with a non-zero digit would read as zero. Subnormal results are kept: they
// are what a 15-digit text of a value near the smallest normal reads back as.
bool InRange(long double v, bool anyNonZeroDigit) {
  if (std::isinf(v) || std::isnan(v)) return false;
  return v != 0 || !anyNonZeroDigit;
}

}  // namespace

bool ExactNumber(uint64_t mantissa, int64_t exponent, bool negative, long double& out) {
  if (!kExtendedLongDouble || exponent < -kExactPow10 || exponent > kExactPow10) return false;
  // Clinger's fast path: the mantissa and the power of ten are both exact, so
  // one correctly rounded operation gives the correctly rounded result.
  long double v = static_cast<long double>(mantissa);
  v = exponent >= 0 ? v * kPow10[static_cast<size_t>(exponent)] : v / kPow10[static_cast<size_t>(-exponent)];
  out = negative ? -v : v;
  return true;
}

bool ParseJsonNumber(const char* begin, const char* end, long double& out) {
  const char* p = begin;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  uint64_t mantissa = 0;
  int digits = 0;        // significant digits taken into the mantissa
  bool inexact = false;  // a non-zero digit did not fit the mantissa
  bool nonZero = false;
  int64_t exponent = 0;
  for (; p < end && IsDigit(*p); ++p) {
    const int d = *p - '0';
    if (d != 0) nonZero = true;
    if (mantissa == 0 && d == 0) continue;
    if (digits < 19) {
      mantissa = mantissa * 10 + static_cast<uint64_t>(d);
      ++digits;
    } else {
      ++exponent;
      if (d != 0) inexact = true;
    }
  }
  if (p < end && *p == '.') {
    for (++p; p < end && IsDigit(*p); ++p) {
      const int d = *p - '0';
      if (d != 0) nonZero = true;
      if (mantissa == 0 && d == 0) {
        --exponent;
        continue;
      }
      if (digits < 19) {
        mantissa = mantissa * 10 + static_cast<uint64_t>(d);
        ++digits;
        --exponent;
      } else if (d != 0) {
        inexact = true;
      }
    }
  }
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool expNegative = false;
    if (p < end && (*p == '+' || *p == '-')) expNegative = *p++ == '-';
    int64_t e = 0;
    for (; p < end && IsDigit(*p); ++p) {
      if (e < 100000000) e = e * 10 + (*p - '0');
    }
    exponent += expNegative ? -e : e;
  }
  if (!nonZero) {
    out = negative ? -0.0L : 0.0L;
    return true;
  }
  if (!inexact && ExactNumber(mantissa, exponent, negative, out)) return true;
  // Everything else goes through the C library, in the "C" locale whatever the
  // thread's locale says about the decimal separator.
  const size_t len = static_cast<size_t>(end - begin);
  char small[80];
  std::string big;
  char* text = small;
  if (len + 1 > sizeof small) {
    big.assign(begin, len);
    text = big.data();
  } else {
    std::memcpy(small, begin, len);
    small[len] = '\0';
  }
  char* stop = nullptr;
  const long double v = strtold_l(text, &stop, CLocale());
  if (stop != text + len || !InRange(v, nonZero)) return false;
  out = v;
  return true;
}

}  // namespace quorl
