// The fast 15-digit formatter: whole numbers and most others from the exact
// powers of ten on the 80-bit format, the library's exact conversion where
// the rounding is in doubt. The tests check it against a plain reference.
#include "platform/FloatText.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace quorl {

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
constexpr bool kX87Layout = kExtendedLongDouble && LDBL_MANT_DIG == 64 && LDBL_MAX_EXP == 16384 &&
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
    const long double r =
        scale >= 0 ? a * kPow10[static_cast<size_t>(scale)] : a / kPow10[static_cast<size_t>(-scale)];
    if (r >= 1e15L) {
      ++guess;
      continue;
    }
    if (r < 1e14L) return false;   // the guess is never too high
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

size_t FormatFloat15(long double value, char* buf) {
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
