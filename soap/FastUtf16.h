// UTF-8 to UTF-16 for large texts: the member list of a look-up answer is
// megabytes long and converted once per call.
#pragma once

#include <string>
#include <string_view>

namespace quorl {

// The same result as quorl::Utf8ToUtf16 (invalid bytes become one '?' each;
// overlong forms, encoded surrogates and values above U+10FFFF are invalid),
// with runs of ASCII widened sixteen bytes at a time.
std::u16string FastUtf8ToUtf16(std::string_view utf8);

}  // namespace quorl
