// What a consumption receipt shows, independent of how it is drawn: the
// document's values under their Chinese labels, grouped as the till prints
// them. Both the PDF and the text receipt are drawn from this, so they never
// disagree.
//
// Values are cleaned for printing: control characters (line breaks, tabs)
// become blanks and surrounding blanks are dropped. A value that is empty
// after that is left out with its label; ticket lines are always kept.
#pragma once

#include <string>
#include <vector>

#include "tools/printapp/PrintDocument.h"

namespace quorl::printapp {

struct ReceiptField {
  std::string label;
  std::string value;
};

struct ReceiptLine {
  std::string level;
  std::string price;
  std::string count;
  std::string sum;
};

struct Receipt {
  std::string title;
  std::vector<std::vector<ReceiptField>> groups;  // order, member, show; empty groups dropped
  std::vector<std::string> tableHeader;           // level, price, count, sum
  std::vector<ReceiptLine> lines;
  std::vector<ReceiptField> totals;
  int emphasisedTotal = -1;         // index in totals of the amount paid, -1 if absent
  std::vector<ReceiptField> notes;  // invoice head, memo
  std::string footer;
};

Receipt BuildReceipt(const PrintDocument& doc);

// Control characters to blanks, surrounding blanks removed (UTF-8 in and out).
std::string CleanValue(const std::string& value);

}  // namespace quorl::printapp
