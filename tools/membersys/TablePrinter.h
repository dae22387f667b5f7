// Output of the host program: tables (a dataset packet or records) as
// aligned columns or JSON, and JSON documents. All text is UTF-8.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "platform/Variant.h"

namespace quorl::membersys {

// Keys keep the order they were written in: columns print in field order.
using Json = nlohmann::ordered_json;

// One value of a table: its JSON form (null, text, number or Boolean) and the
// text the aligned view shows.
struct Cell {
  Json value;
  std::string text;
};

Cell TextCell(std::string utf8);
Cell BooleanCell(bool value);
// A number as JSON: whole values (below 2^53) as integers, others with the
// platform's 15 significant digits, so both views show the same digits.
Cell NumberCell(double value);

struct Table {
  std::vector<std::string> header;
  std::vector<std::vector<Cell>> rows;  // each as long as header
};

// A dataset packet as a table: field names as header, one row per record;
// text converted from GBK, dates as "yyyy-mm-dd hh:nn:ss", null as null.
// Raises EDatabaseError for a packet that does not load.
Table ReadTable(const Variant& packet);

// Columns padded to the widest value by terminal width (a CJK character
// takes two columns), two blanks between them, no trailing blanks.
void PrintAligned(std::ostream& out, const Table& table);
// An array of row objects, one object per line: [\n  {"a": 1, "b": "x"},\n ...\n]
void PrintJsonRows(std::ostream& out, const Table& table);
// The table in either form; an empty table in aligned form also says
// "(no rows)" on stderr.
void PrintTable(std::ostream& out, const Table& table, bool json);

// Serialises one JSON value without indentation ("key": value, ", "
// between members), UTF-8 kept as it is.
std::string DumpInline(const Json& value);

}  // namespace quorl::membersys
