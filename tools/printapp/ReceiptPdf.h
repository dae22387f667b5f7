// The PDF receipt: one 80 mm wide roll page as tall as the receipt (very long
// receipts continue on further pages of at most 600 mm), drawn with Qt's PDF
// writer in a Chinese font ("WenQuanYi Micro Hei", what the till's 宋体 maps
// to here). Text stays text in the PDF, so it can be searched and copied.
//
// Needs a QGuiApplication (fonts); returns the PDF's bytes. Throws
// std::runtime_error when Qt cannot produce the document.
#pragma once

#include <string>

#include "tools/printapp/Receipt.h"

namespace quorl::printapp {

std::string RenderReceiptPdf(const Receipt& receipt, const std::string& documentTitle);

}  // namespace quorl::printapp
