// Code-page conversions between 8-bit host text (code page 936, GBK), UTF-8
// and UTF-16, done with iconv. Conversions never fail and never crash:
//  - a character the target cannot represent becomes '?';
//  - invalid GBK input becomes '?' (one per bad byte); invalid UTF-8 becomes
//    U+FFFD, one per maximal invalid subpart (platform/Utf8.h), which host
//    text shows as '?'.
// Characters outside the basic plane travel as surrogate pairs in UTF-16 and
// as 4-byte sequences in UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "platform/RtlExport.h"

using AnsiString = std::string;        ///< 8-bit text in the host code page
using WideString = std::u16string;     ///< UTF-16 text
using UnicodeString = std::u16string;  ///< UTF-16 text

namespace quorl {

QUORL_RTL_API std::u16string GbkToUtf16(std::string_view gbk);  ///< Host text to UTF-16.
/// UTF-16 to host text; unrepresentable characters become '?'.
QUORL_RTL_API std::string Utf16ToGbk(std::u16string_view utf16);
QUORL_RTL_API std::string GbkToUtf8(std::string_view gbk);  ///< Host text to UTF-8.
/// UTF-8 to host text; unrepresentable characters become '?'.
QUORL_RTL_API std::string Utf8ToGbk(std::string_view utf8);
QUORL_RTL_API std::u16string Utf8ToUtf16(std::string_view utf8);   ///< UTF-8 to UTF-16.
QUORL_RTL_API std::string Utf16ToUtf8(std::u16string_view utf16);  ///< UTF-16 to UTF-8.

/// Host code page is GBK; these are the names the units use.
inline std::u16string AnsiToWide(std::string_view s) { return GbkToUtf16(s); }
inline std::string WideToAnsi(std::u16string_view s) { return Utf16ToGbk(s); }  ///< UTF-16 to host text.

/// Names compared as the platform compares them in 8-bit text: ASCII letters
/// fold, GBK double-byte characters (lead byte 0x81..0xFE) compare exactly,
/// since their second byte may look like an ASCII letter.
QUORL_RTL_API bool SameTextGbk(std::string_view a, std::string_view b);

/// Trim as the platform does: removes leading and trailing bytes <= 0x20
/// (blanks and control characters).
QUORL_RTL_API std::string Trim(std::string_view s);
QUORL_RTL_API std::u16string Trim(std::u16string_view s);  ///< The same for UTF-16 text.

}  // namespace quorl
