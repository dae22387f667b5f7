#include "sim/common/ServiceDatabase.h"

#include <cstdio>
#include <ctime>

#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace quorl::simcommon {

std::unique_ptr<DatabaseConnection> OpenServiceDatabase(const std::string& utf8Path, const char* schema) {
  // The seam takes its location in the host's code page; a path that does
  // not come back unchanged would open some other file.
  const std::string location = Utf8ToGbk(utf8Path);
  if (GbkToUtf8(location) != utf8Path)
    throw EDatabaseError("cannot open database " + utf8Path + ": the path has characters outside GBK");
  try {
    std::unique_ptr<DatabaseConnection> db = OpenSqliteDatabase(location);
    db->ExecuteScript(schema);
    return db;
  } catch (const EDatabaseError& e) {
    throw EDatabaseError("cannot open database " + utf8Path + ": " + GbkToUtf8(e.Message()));
  }
}

std::string CellText(const DbValue& cell) {
  if (const auto* text = std::get_if<std::string>(&cell)) return *text;
  if (const auto* number = std::get_if<int64_t>(&cell)) return std::to_string(*number);
  if (const auto* real = std::get_if<double>(&cell)) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", *real);
    return buf;
  }
  return {};
}

const DbValue& Cell(const QueryResult& rows, size_t row, std::string_view column) {
  for (size_t i = 0; i < rows.columns.size(); ++i)
    if (rows.columns[i].name == column) return rows.rows.at(row).at(i);
  throw EDatabaseError("no column " + std::string(column));
}

std::string CellText(const QueryResult& rows, size_t row, std::string_view column) {
  return CellText(Cell(rows, row, column));
}

int64_t CellInt(const QueryResult& rows, size_t row, std::string_view column) {
  const DbValue& cell = Cell(rows, row, column);
  if (const auto* number = std::get_if<int64_t>(&cell)) return *number;
  throw EDatabaseError("column " + std::string(column) + " holds no integer");
}

double CellReal(const QueryResult& rows, size_t row, std::string_view column) {
  const DbValue& cell = Cell(rows, row, column);
  if (const auto* real = std::get_if<double>(&cell)) return *real;
  if (const auto* number = std::get_if<int64_t>(&cell)) return static_cast<double>(*number);
  throw EDatabaseError("column " + std::string(column) + " holds no number");
}

std::string LocalTimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
  return buf;
}

}  // namespace quorl::simcommon
