#include "host/DBPipe.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "host/Database.h"
#include "host/QuorlContext.h"
#include "platform/ClientDataSet.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "platform/Text.h"

namespace {

// Size of a text column whose declared type names none and whose result has
// no rows to measure.
constexpr int kDefaultTextSize = 255;
// A declared size beyond this is taken as "no size" rather than trusted.
constexpr int64_t kMaxDeclaredSize = 1 << 20;

enum class Kind { Integer, Float, Text };

// The column kind by SQLite's affinity rules, which also give the expected
// kind for the usual names of other databases (BIGINT, DECIMAL(10,2)...).
Kind DeclaredKind(const std::string& upperType) {
  if (upperType.find("INT") != std::string::npos) return Kind::Integer;
  for (const char* f : {"REAL", "FLOA", "DOUB", "NUMERIC", "DECIMAL"})
    if (upperType.find(f) != std::string::npos) return Kind::Float;
  return Kind::Text;
}

// n of CHAR(n) / VARCHAR(n) / NVARCHAR(n)...; 0 when the type names no size.
int DeclaredSize(const std::string& upperType) {
  if (upperType.find("CHAR") == std::string::npos) return 0;
  const size_t open = upperType.find('(');
  if (open == std::string::npos) return 0;
  int64_t n = 0;
  size_t i = open + 1;
  while (i < upperType.size() && upperType[i] == ' ') ++i;
  const size_t digits = i;
  while (i < upperType.size() && std::isdigit(static_cast<unsigned char>(upperType[i])) != 0) {
    n = n * 10 + (upperType[i] - '0');
    if (n > kMaxDeclaredSize) return 0;
    ++i;
  }
  return i > digits ? static_cast<int>(n) : 0;
}

bool FitsInt32(int64_t v) {
  return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

std::string CellText(const quorl::DbValue& v) {
  if (std::holds_alternative<int64_t>(v)) return std::to_string(std::get<int64_t>(v));
  if (std::holds_alternative<double>(v)) return quorl::FloatToStr(std::get<double>(v));
  if (std::holds_alternative<std::string>(v)) return quorl::Utf8ToGbk(std::get<std::string>(v));
  return std::string();
}

// The field type a column gets: its declared kind, unless a value in the
// result does not fit it (SQLite stores any value in any column), in which
// case the column falls back to a kind that keeps every value exactly.
TFieldType ColumnFieldType(Kind declared, const quorl::QueryResult& r, size_t col) {
  bool anyText = false, anyDouble = false, anyWideInt = false;
  for (const auto& row : r.rows) {
    const quorl::DbValue& v = row[col];
    if (std::holds_alternative<std::string>(v))
      anyText = true;
    else if (std::holds_alternative<double>(v))
      anyDouble = true;
    else if (std::holds_alternative<int64_t>(v) && !FitsInt32(std::get<int64_t>(v)))
      anyWideInt = true;
  }
  switch (declared) {
    case Kind::Integer:
      // Wider integers travel as text: a double would round numbers past 2^53
      // (card or order numbers), text keeps every digit.
      if (anyText || anyWideInt) return TFieldType::ftString;
      return anyDouble ? TFieldType::ftFloat : TFieldType::ftInteger;
    case Kind::Float:
      return anyText ? TFieldType::ftString : TFieldType::ftFloat;
    case Kind::Text:
      break;
  }
  return TFieldType::ftString;
}

// Field names must be unique (the dataset finds them ignoring case); a join
// may give two columns the same name, and the second becomes NAME_1.
std::vector<std::string> FieldNames(const quorl::QueryResult& r) {
  std::vector<std::string> names;
  auto taken = [&names](const std::string& n) {
    return std::any_of(names.begin(), names.end(),
                       [&n](const std::string& o) { return quorl::SameTextAscii(o, n); });
  };
  for (size_t i = 0; i < r.columns.size(); ++i) {
    std::string base = quorl::Utf8ToGbk(r.columns[i].name);
    if (base.empty()) base = "COLUMN" + std::to_string(i + 1);
    std::string name = base;
    for (int k = 1; taken(name); ++k) name = base + "_" + std::to_string(k);
    names.push_back(std::move(name));
  }
  return names;
}

}  // namespace

namespace quorl {

Variant ResultToPacket(const QueryResult& result) {
  const size_t columnCount = result.columns.size();
  for (const auto& row : result.rows)
    if (row.size() != columnCount) throw EDatabaseError("Query result row does not match its columns");

  const std::vector<std::string> names = FieldNames(result);
  std::vector<TFieldType> types(columnCount);
  // Text cells converted once to GBK: their length sizes the field and the
  // same text fills it.
  std::vector<std::vector<std::string>> texts(columnCount);

  TClientDataSet ds;
  for (size_t c = 0; c < columnCount; ++c) {
    const std::string upper = quorl::ToUpperAscii(result.columns[c].declaredType);
    types[c] = ColumnFieldType(DeclaredKind(upper), result, c);
    int size = 0;
    if (types[c] == TFieldType::ftString) {
      texts[c].reserve(result.rows.size());
      size_t longest = 0;
      for (const auto& row : result.rows) {
        texts[c].push_back(CellText(row[c]));
        longest = std::max(longest, texts[c].back().size());
      }
      if (longest > static_cast<size_t>(std::numeric_limits<int>::max()))
        throw EDatabaseError("Text value too long for a dataset field");
      // A declared VARCHAR(n) is the usual size, but SQLite does not enforce
      // it (and other databases count characters, not GBK bytes): the field
      // grows to the longest value so that no stored text is cut.
      const int declared = DeclaredSize(upper);
      size = std::max(declared, static_cast<int>(longest));
      if (result.rows.empty() && declared == 0) size = kDefaultTextSize;
      size = std::max(size, 1);
    }
    ds.FieldDefs.Add(names[c], types[c], size);
  }
  ds.CreateDataSet();

  for (size_t r = 0; r < result.rows.size(); ++r) {
    const auto& row = result.rows[r];
    ds.Append();
    for (size_t c = 0; c < columnCount; ++c) {
      const DbValue& v = row[c];
      if (IsNull(v)) continue;  // an unset field stays null
      TField* field = ds.Fields(static_cast<int>(c));
      switch (types[c]) {
        case TFieldType::ftInteger:
          field->SetAsInteger(static_cast<int32_t>(std::get<int64_t>(v)));
          break;
        case TFieldType::ftFloat:
          field->SetAsFloat(std::holds_alternative<double>(v) ? std::get<double>(v)
                                                              : static_cast<double>(std::get<int64_t>(v)));
          break;
        default:
          field->SetAsString(texts[c][r]);
          break;
      }
    }
    ds.Post();
  }
  return ds.Data();
}

}  // namespace quorl

TCADBPipe::TCADBPipe() = default;
TCADBPipe::~TCADBPipe() = default;

Variant TCADBPipe::GetData(const std::string& context, const std::string& sql) {
  const std::string location = quorl::ParseContextString(context).databaseLocation;
  if (location.empty()) throw EDatabaseError("No host database configured");
  if (!connection_ || location != location_) {
    connection_.reset();
    connection_ = quorl::OpenDatabase(location);
    location_ = location;
  }
  try {
    return quorl::ResultToPacket(connection_->Query(quorl::GbkToUtf8(sql)));
  } catch (const EDatabaseError&) {
    // The file may have been replaced under the open connection (a demo
    // recreating its database); the next call starts with a fresh one.
    connection_.reset();
    throw;
  }
}
