// Structural equality of two JSON trees, for round-trip checks (tests, the
// fuzz target, tools). Walks both trees with an explicit stack, so any depth
// is safe.
#pragma once

#include "json/uVxJSON.h"

namespace quorl {

enum class NumberMatch {
  Exact,  // numbers must hold the same long double
  // Numbers must agree to 15 significant digits, as a number and the reading
  // of its generated text do: the same 15-digit text, or a difference within
  // the rounding of one (relative 1e-14, plus the smallest subnormal).
  FifteenDigits,
};

// True when both are none, or both have the same class shape (number, string,
// Boolean, null, list, object, pair, other) and equal content: values, pair
// names, and children in the same order. Object index flags are not compared.
bool JsonTreeEqual(const TvxJSONbase* a, const TvxJSONbase* b, NumberMatch numbers = NumberMatch::Exact);

}  // namespace quorl
