#include "tools/printapp/ReceiptText.h"

#include <algorithm>
#include <vector>

namespace quorl::printapp {
namespace {

constexpr int kLabelColumns = 10;  // "发票抬头:" plus a blank
// Ticket table: price level left, the three amounts right-aligned.
constexpr int kLevelColumns = 18;
constexpr int kPriceColumns = 10;
constexpr int kCountColumns = 8;
constexpr int kSumColumns = 12;
static_assert(kLevelColumns + kPriceColumns + kCountColumns + kSumColumns == kReceiptColumns);

struct Char {
  std::string_view bytes;
  int columns;
};

// Splits UTF-8 into characters. A byte that does not start a complete
// sequence stands alone; it is still counted, never dropped.
std::vector<Char> Chars(std::string_view s) {
  std::vector<Char> out;
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    if (i + n > s.size()) n = 1;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) n = 1;
    out.push_back({s.substr(i, n), (b >= 0x20 && b < 0x7F) ? 1 : 2});
    i += n;
  }
  return out;
}

std::string Blanks(int n) { return std::string(static_cast<std::size_t>(std::max(n, 0)), ' '); }

// Greedy wrap to lines of at most `width` columns. A line breaks after the
// last blank when that blank lies in the second half of the line, so words
// stay whole where possible; Chinese text breaks between characters.
std::vector<std::string> Wrap(std::string_view text, int width) {
  std::vector<std::string> lines;
  const std::vector<Char> chars = Chars(text);
  std::size_t start = 0;
  while (start < chars.size()) {
    std::size_t end = start;
    int used = 0;
    while (end < chars.size() && used + chars[end].columns <= width) used += chars[end++].columns;
    if (end == start) ++end;  // width below one character: never loop forever
    if (end < chars.size() && chars[end].bytes != " ") {
      int cols = 0;
      std::size_t blank = chars.size();
      for (std::size_t k = start; k < end; ++k) {
        cols += chars[k].columns;
        if (chars[k].bytes == " " && cols * 2 > width) blank = k;
      }
      if (blank != chars.size()) end = blank;
    }
    std::string line;
    for (std::size_t k = start; k < end; ++k) line += chars[k].bytes;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(std::move(line));
    start = end;
    while (start < chars.size() && chars[start].bytes == " ") ++start;
  }
  return lines;
}

class TextLayout {
 public:
  void Rule(char c) { out_ += std::string(kReceiptColumns, c) + '\n'; }

  void Centered(const std::string& text) {
    for (const std::string& line : Wrap(text, kReceiptColumns))
      Line(Blanks((kReceiptColumns - ReceiptColumns(line)) / 2) + line);
  }

  // "label:    value", the value wrapped under itself.
  void Field(const ReceiptField& f, int indent = 0) {
    std::string label = Blanks(indent) + f.label + ":";
    const int valueColumn = std::max(indent + kLabelColumns, ReceiptColumns(label) + 1);
    const std::vector<std::string> parts = Wrap(f.value, kReceiptColumns - valueColumn);
    for (std::size_t i = 0; i < parts.size(); ++i) {
      const std::string head = i == 0 ? label : std::string();
      Line(head + Blanks(valueColumn - ReceiptColumns(head)) + parts[i]);
    }
  }

  // "label" left and value flush right, or a field when both do not fit.
  void Total(const ReceiptField& f) {
    const std::string label = f.label + ":";
    const int gap = kReceiptColumns - ReceiptColumns(label) - ReceiptColumns(f.value);
    if (gap >= 1)
      Line(label + Blanks(gap) + f.value);
    else
      Field(f);
  }

  void TableRow(const std::string& level, const std::string& price, const std::string& count,
                const std::string& sum) {
    const bool amountsFit = ReceiptColumns(price) < kPriceColumns && ReceiptColumns(count) < kCountColumns &&
                            ReceiptColumns(sum) < kSumColumns;
    const bool levelFits = ReceiptColumns(level) < kLevelColumns;
    if (!levelFits || !amountsFit)
      for (const std::string& part : Wrap(level, kReceiptColumns)) Line(part);
    if (amountsFit) {
      const std::string lead = levelFits ? level : std::string();
      Line(lead + Blanks(kLevelColumns - ReceiptColumns(lead)) + Right(price, kPriceColumns) +
           Right(count, kCountColumns) + Right(sum, kSumColumns));
    } else {
      Field({"单价", price}, 2);
      Field({"数量", count}, 2);
      Field({"小计", sum}, 2);
    }
  }

  std::string Take() { return std::move(out_); }

 private:
  static std::string Right(const std::string& text, int columns) {
    return Blanks(columns - ReceiptColumns(text)) + text;
  }

  void Line(std::string line) {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out_ += line;
    out_ += '\n';
  }

  std::string out_;
};

}  // namespace

int ReceiptColumns(std::string_view utf8) {
  int n = 0;
  for (const Char& c : Chars(utf8)) n += c.columns;
  return n;
}

std::string RenderReceiptText(const Receipt& r) {
  TextLayout t;
  t.Centered(r.title);
  t.Rule('=');
  for (const auto& group : r.groups) {
    for (const ReceiptField& f : group) t.Field(f);
    t.Rule('-');
  }
  const auto& h = r.tableHeader;
  t.TableRow(h.at(0), h.at(1), h.at(2), h.at(3));
  for (const ReceiptLine& line : r.lines) t.TableRow(line.level, line.price, line.count, line.sum);
  if (r.lines.empty()) t.Centered("（无票务明细）");
  t.Rule('-');
  for (const ReceiptField& f : r.totals) t.Total(f);
  if (!r.notes.empty()) {
    t.Rule('-');
    for (const ReceiptField& f : r.notes) t.Field(f);
  }
  t.Rule('=');
  t.Centered(r.footer);
  return t.Take();
}

}  // namespace quorl::printapp
