// The plain-text receipt for 48-column till printers, UTF-8, one LF per line.
//
// Column counting is the till's: printable ASCII takes one column, every
// other character two. That is exact for the wide Chinese characters and
// errs on the safe side for the rest (a GBK till prints every double-byte
// character double width), so no line is ever wider than kReceiptColumns.
// Long values wrap (at a blank where one is near, else between characters);
// nothing is cut off.
#pragma once

#include <string>
#include <string_view>

#include "tools/printapp/Receipt.h"

namespace quorl::printapp {

inline constexpr int kReceiptColumns = 48;

int ReceiptColumns(std::string_view utf8);
std::string RenderReceiptText(const Receipt& receipt);

}  // namespace quorl::printapp
