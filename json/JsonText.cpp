// Byte-level helpers of uVxJSON: UTF-8 text into arena strings and number conversion.
#include <array>
#include <bit>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <locale.h>

#include "json/JsonInternal.h"

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

// 10^k for k = 0..27: all exact in a 64-bit-mantissa long double (5^27 < 2^64).
constexpr int kExactPow10 = 27;
constexpr std::array<long double, kExactPow10 + 1> MakePow10() {
  std::array<long double, kExactPow10 + 1> t{};
  long double v = 1;
  for (int i = 0; i <= kExactPow10; ++i) {
    t[static_cast<size_t>(i)] = v;
    v *= 10;
  }
  return t;
}
constexpr std::array<long double, kExactPow10 + 1> kPow10 = MakePow10();
// The fast paths rely on extended precision; elsewhere everything takes the
// exact library route.
constexpr bool kExtended = LDBL_MANT_DIG >= 64;

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
  if (!kExtended || exponent < -kExactPow10 || exponent > kExactPow10) return false;
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
  int digits = 0;          // significant digits taken into the mantissa
  bool inexact = false;    // a non-zero digit did not fit the mantissa
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

namespace {

char* WriteUnsigned(uint64_t v, char* out) {
  char tmp[24];
  int n = 0;
  do {
    tmp[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n > 0) *out++ = tmp[--n];
  return out;
}

// Lays out at most 15 significant digits (no trailing zeros) with decimal
// exponent `e` (the value is d.ddd x 10^e) as the platform's general format.
char* Layout(const char* digits, int count, int e, char* out) {
  if (e < -4 || e >= 15) {
    *out++ = digits[0];
    if (count > 1) {
      *out++ = '.';
      std::memcpy(out, digits + 1, static_cast<size_t>(count - 1));
      out += count - 1;
    }
    *out++ = 'E';
    if (e < 0) {
      *out++ = '-';
      return WriteUnsigned(static_cast<uint64_t>(-static_cast<int64_t>(e)), out);
    }
    return WriteUnsigned(static_cast<uint64_t>(e), out);
  }
  if (e < 0) {
    *out++ = '0';
    *out++ = '.';
    for (int i = 0; i < -e - 1; ++i) *out++ = '0';
    std::memcpy(out, digits, static_cast<size_t>(count));
    return out + count;
  }
  const int intDigits = e + 1;
  if (count <= intDigits) {
    std::memcpy(out, digits, static_cast<size_t>(count));
    out += count;
    for (int i = count; i < intDigits; ++i) *out++ = '0';
    return out;
  }
  std::memcpy(out, digits, static_cast<size_t>(intDigits));
  out += intDigits;
  *out++ = '.';
  std::memcpy(out, digits + intDigits, static_cast<size_t>(count - intDigits));
  return out + (count - intDigits);
}

// The 15 significant digits of `a` (> 0) and its decimal exponent, correctly
// rounded, from the library's exact conversion.
int ExactDigits(long double a, char* digits, int& e) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, 14);
  const char* p = buf;
  int count = 0;
  for (; p < res.ptr && *p != 'e'; ++p) {
    if (*p != '.') digits[count++] = *p;
  }
  ++p;  // 'e'
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int x = 0;
  for (; p < res.ptr; ++p) x = x * 10 + (*p - '0');
  e = negative ? -x : x;
  return count;
}

// The 80-bit format seen as integers: value = mantissa x 2^(exponent - 63),
// the mantissa's top bit set for normal numbers. Reading the bits avoids the
// x87 float-to-integer conversions, which reload the control word each time.
constexpr bool kX87Layout = kExtended && LDBL_MANT_DIG == 64 && LDBL_MAX_EXP == 16384 &&
                            std::endian::native == std::endian::little;

struct Bits {
  uint64_t mantissa;
  int exponent;
};

inline Bits Decompose(long double a) {
  unsigned char raw[sizeof(long double)];
  std::memcpy(raw, &a, sizeof raw);
  uint64_t m;
  uint16_t se;
  std::memcpy(&m, raw, 8);
  std::memcpy(&se, raw + 8, 2);
  return Bits{m, static_cast<int>(se & 0x7FFF) - 16383};
}

// Two digits at a time.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Exactly 15 digits of d < 10^15.
void Write15(uint64_t d, char* out) {
  uint64_t hi = d / 100000000;  // 7 digits
  uint32_t lo = static_cast<uint32_t>(d % 100000000);
  for (int i = 13; i >= 7; i -= 2) {
    const uint32_t pair = lo % 100;
    lo /= 100;
    out[i] = kDigitPairs[pair * 2];
    out[i + 1] = kDigitPairs[pair * 2 + 1];
  }
  for (int i = 5; i >= 1; i -= 2) {
    const uint32_t pair = static_cast<uint32_t>(hi % 100);
    hi /= 100;
    out[i] = kDigitPairs[pair * 2];
    out[i + 1] = kDigitPairs[pair * 2 + 1];
  }
  out[0] = static_cast<char>('0' + hi);
}

// The digits from the exact powers of ten when they cover the scaling; false
// when the rounding cannot be decided safely that way.
bool FastDigits(long double a, char* digits, int& count, int& e) {
  if (!kX87Layout) return false;
  const Bits bits = Decompose(a);
  // a lies in [2^b, 2^(b+1)); floor(b * log10(2)) is its decimal exponent or
  // one below it (78913 / 2^18 approximates log10(2) closely enough here).
  int guess = (bits.exponent * 78913) >> 18;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int scale = 14 - guess;
    if (scale < -kExactPow10 || scale > kExactPow10) return false;
    const long double r = scale >= 0 ? a * kPow10[static_cast<size_t>(scale)] : a / kPow10[static_cast<size_t>(-scale)];
    if (r >= 1e15L) {
      ++guess;
      continue;
    }
    if (r < 1e14L) return false;  // the guess is never too high
    const Bits rb = Decompose(r);  // exponent 46..49
    const int shift = 63 - rb.exponent;
    const uint64_t whole = rb.mantissa >> shift;
    const uint64_t frac = rb.mantissa << (64 - shift);  // fraction in units of 2^-64
    // r carries one rounding error of at most 2^-15; a fraction that near one
    // half could round either way: let the exact route decide.
    constexpr uint64_t kHalf = uint64_t{1} << 63;
    constexpr uint64_t kDoubt = uint64_t{1} << 54;
    if (frac > kHalf - kDoubt && frac < kHalf + kDoubt) return false;
    uint64_t d = whole + (frac > kHalf ? 1 : 0);
    e = guess;
    if (d == 1000000000000000ULL) {
      d = 100000000000000ULL;
      ++e;
    }
    Write15(d, digits);
    int n = 15;
    while (n > 1 && digits[n - 1] == '0') --n;
    count = n;
    return true;
  }
  return false;
}

// Whole numbers below 10^15 are written exactly; false for anything else.
bool WholeNumber(long double a, uint64_t& whole) {
  if (kX87Layout) {
    const Bits bits = Decompose(a);
    if (bits.exponent < 0 || bits.exponent > 49) return false;
    const int shift = 63 - bits.exponent;
    if ((bits.mantissa & ((uint64_t{1} << shift) - 1)) != 0) return false;
    whole = bits.mantissa >> shift;
    return whole < 1000000000000000ULL;
  }
  if (!(a < 1e15L) || a != std::trunc(a)) return false;
  whole = static_cast<uint64_t>(a);
  return true;
}

}  // namespace

size_t FormatJsonNumber(long double value, char* buf) {
  char* out = buf;
  if (std::isnan(value)) {
    std::memcpy(buf, "NAN", 3);
    return 3;
  }
  if (std::isinf(value)) {
    if (value < 0) *out++ = '-';
    std::memcpy(out, "INF", 3);
    return static_cast<size_t>(out + 3 - buf);
  }
  if (value == 0) {  // negative zero too
    *buf = '0';
    return 1;
  }
  if (value < 0) *out++ = '-';
  const long double a = std::fabs(value);
  uint64_t whole = 0;
  if (WholeNumber(a, whole)) {
    out = WriteUnsigned(whole, out);
    return static_cast<size_t>(out - buf);
  }
  char digits[24];
  int count = 0;
  int e = 0;
  if (!FastDigits(a, digits, count, e)) {
    count = ExactDigits(a, digits, e);
    while (count > 1 && digits[count - 1] == '0') --count;
  }
  out = Layout(digits, count, e, out);
  return static_cast<size_t>(out - buf);
}

}  // namespace quorl
