#include "tools/membersys/TablePrinter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>

#include "platform/ClientDataSet.h"
#include "platform/CodePage.h"

namespace quorl::membersys {

namespace {

// Columns a code point takes on a terminal: East Asian wide and full-width
// characters take two, combining marks none.
int CodePointWidth(uint32_t c) {
  if ((c >= 0x0300 && c <= 0x036F) || (c >= 0x200B && c <= 0x200F)) return 0;
  const bool wide =
      (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
      (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
      (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
  return wide ? 2 : 1;
}

int DisplayWidth(const std::string& utf8) {
  int width = 0;
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const int len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 1;
    if (len == 1 || i + len > utf8.size()) {
      width += b < 0x20 ? 0 : 1;
      ++i;
      continue;
    }
    uint32_t c = b & (0x7F >> len);
    for (int k = 1; k < len; ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    width += CodePointWidth(c);
    i += static_cast<size_t>(len);
  }
  return width;
}

}  // namespace

Cell TextCell(std::string utf8) {
  Cell c;
  c.value = utf8;
  c.text = std::move(utf8);
  return c;
}

Cell BooleanCell(bool value) { return Cell{Json(value), value ? "true" : "false"}; }

Cell NumberCell(double value) {
  if (!std::isfinite(value)) return Cell{};
  Cell c;
  c.text = quorl::FloatToStr(value);
  // Reading the 15-digit text back gives the double whose shortest form is
  // that text, so the JSON shows the digits the aligned view shows.
  double shown = value;
  quorl::TryStrToFloat(c.text, shown);
  if (std::trunc(shown) == shown && std::fabs(shown) < 9007199254740992.0)
    c.value = static_cast<int64_t>(shown);
  else
    c.value = shown;
  return c;
}

Table ReadTable(const Variant& packet) {
  TClientDataSet data;
  data.SetData(packet);
  Table table;
  for (int i = 0; i < data.FieldCount(); ++i)
    table.header.push_back(quorl::GbkToUtf8(data.Fields(i)->FieldName()));
  for (data.First(); !data.Eof(); data.Next()) {
    std::vector<Cell> row;
    for (int i = 0; i < data.FieldCount(); ++i) {
      const TField* f = data.Fields(i);
      Cell cell;
      if (!f->IsNull()) {
        switch (f->DataType()) {
          case TFieldType::ftString:
            cell = TextCell(quorl::GbkToUtf8(f->AsString()));
            break;
          case TFieldType::ftInteger:
            cell = Cell{Json(f->AsInteger()), std::to_string(f->AsInteger())};
            break;
          case TFieldType::ftFloat:
            cell = NumberCell(f->AsFloat());
            break;
          case TFieldType::ftDateTime:
            cell = TextCell(quorl::DateTimeToStr(f->AsDateTime()));
            break;
          case TFieldType::ftBoolean:
            cell = BooleanCell(f->AsBoolean());
            break;
        }
      }
      row.push_back(std::move(cell));
    }
    table.rows.push_back(std::move(row));
  }
  return table;
}

void PrintAligned(std::ostream& out, const Table& table) {
  std::vector<int> widths;
  for (const std::string& h : table.header) widths.push_back(DisplayWidth(h));
  for (const auto& row : table.rows)
    for (size_t i = 0; i < row.size() && i < widths.size(); ++i)
      widths[i] = std::max(widths[i], DisplayWidth(row[i].text));
  auto printLine = [&](const std::vector<std::string>& cells) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
      line += cells[i];
      if (i + 1 < cells.size()) line.append(static_cast<size_t>(widths[i] - DisplayWidth(cells[i]) + 2), ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << '\n';
  };
  printLine(table.header);
  for (const auto& row : table.rows) {
    std::vector<std::string> cells;
    for (const Cell& c : row) cells.push_back(c.text);
    printLine(cells);
  }
}

std::string DumpInline(const Json& value) {
  if (value.is_object()) {
    std::string s = "{";
    bool first = true;
    for (const auto& [key, member] : value.items()) {
      s += first ? "" : ", ";
      first = false;
      s += Json(key).dump(-1, ' ', false, Json::error_handler_t::replace) + ": " + DumpInline(member);
    }
    return s + "}";
  }
  if (value.is_array()) {
    std::string s = "[";
    for (size_t i = 0; i < value.size(); ++i) s += (i == 0 ? "" : ", ") + DumpInline(value[i]);
    return s + "]";
  }
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void PrintJsonRows(std::ostream& out, const Table& table) {
  out << '[';
  for (size_t r = 0; r < table.rows.size(); ++r) {
    Json row = Json::object();
    for (size_t i = 0; i < table.header.size() && i < table.rows[r].size(); ++i)
      row[table.header[i]] = table.rows[r][i].value;
    out << (r == 0 ? "\n  " : ",\n  ") << DumpInline(row);
  }
  out << (table.rows.empty() ? "]\n" : "\n]\n");
}

void PrintTable(std::ostream& out, const Table& table, bool json) {
  if (json) {
    PrintJsonRows(out, table);
    return;
  }
  PrintAligned(out, table);
  if (table.rows.empty()) {
    out.flush();
    std::cerr << "(no rows)" << std::endl;
  }
}

}  // namespace quorl::membersys
