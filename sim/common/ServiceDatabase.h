// What the local services add to the host's database seam: opening their
// SQLite file by a UTF-8 path, reading cells by column name, and the time
// stamps they store.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "host/Database.h"

namespace quorl::simcommon {

// Opens (creating when missing) the SQLite file at utf8Path and runs schema
// (CREATE ... IF NOT EXISTS statements) on it. EDatabaseError, with a UTF-8
// message naming the path, when it cannot.
std::unique_ptr<DatabaseConnection> OpenServiceDatabase(const std::string& utf8Path, const char* schema);

// A cell as text: text as stored, numbers in decimal, NULL as "".
std::string CellText(const DbValue& cell);

// The cell of row in the named column. EDatabaseError when the column is
// unknown or, for CellInt/CellReal, holds no number.
const DbValue& Cell(const QueryResult& rows, size_t row, std::string_view column);
std::string CellText(const QueryResult& rows, size_t row, std::string_view column);
int64_t CellInt(const QueryResult& rows, size_t row, std::string_view column);
double CellReal(const QueryResult& rows, size_t row, std::string_view column);

// Local time now as "yyyy-mm-dd hh:nn:ss", the form the services store.
std::string LocalTimeText();

}  // namespace quorl::simcommon
