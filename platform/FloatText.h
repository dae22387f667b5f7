// Decimal text of floating-point numbers with 15 significant digits: the one
// formatter behind FloatToStr and the JSON writer. Internal: not installed.
#pragma once

#include <array>
#include <cfloat>
#include <cstddef>

#include "platform/RtlExport.h"

namespace quorl {

// The quick routes rely on extended precision; elsewhere everything takes the
// exact library route.
inline constexpr bool kExtendedLongDouble = LDBL_MANT_DIG >= 64;

// 10^k for k = 0..27: all exact in a 64-bit-mantissa long double (5^27 < 2^64).
inline constexpr int kExactPow10 = 27;
inline constexpr std::array<long double, kExactPow10 + 1> kPow10 = [] {
  std::array<long double, kExactPow10 + 1> t{};
  long double v = 1;
  for (int i = 0; i <= kExactPow10; ++i) {
    t[static_cast<size_t>(i)] = v;
    v *= 10;
  }
  return t;
}();

// Writes `value` with at most 15 significant digits, no trailing zeros, "."
// as the decimal separator whatever the locale, and an upper-case "E"
// exponent when the decimal exponent is below -4 or at least 15; "NAN",
// "INF", "-INF" and "0" (negative zero too) for the special values. Returns
// the bytes written to `buf`, which must hold kMaxFloatText bytes.
inline constexpr size_t kMaxFloatText = 32;
QUORL_RTL_API size_t FormatFloat15(long double value, char* buf);

}  // namespace quorl
