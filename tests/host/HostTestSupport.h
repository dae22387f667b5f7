// Helpers shared by the host tests: a seeded database in a temporary folder.
#pragma once

#include <string>

#include "host/Database.h"
#include "host/HostDatabase.h"
#include "host/QuorlContext.h"
#include "platform/CodePage.h"
#include "tests/support/TempFolder.h"  // also used by the benchmarks

namespace quorl::test {

// A database with the schema and, when asked, the demo data.
struct HostDb {
  explicit HostDb(bool seed = true) : path(dir.File("host.db")) { CreateHostDatabase(path, seed); }
  std::string Context(const std::string& node = "N001", const std::string& group = "G01") const {
    return MakeContextString(node, group, path);
  }
  // One value of the first row, as UTF-8 text ("" for null).
  std::string Scalar(const std::string& sql) const {
    auto db = OpenSqliteDatabase(path);
    QueryResult r = db->Query(sql);
    if (r.rows.empty() || r.rows[0].empty()) return "<no row>";
    const DbValue& v = r.rows[0][0];
    if (std::holds_alternative<int64_t>(v)) return std::to_string(std::get<int64_t>(v));
    if (std::holds_alternative<std::string>(v)) return std::get<std::string>(v);
    if (std::holds_alternative<double>(v)) return std::to_string(std::get<double>(v));
    return "";
  }
  TempFolder dir{"quorl-host-"};
  std::string path;
};

// UTF-8 source text to the host code page.
inline std::string Gbk(const char* utf8) { return Utf8ToGbk(utf8); }

}  // namespace quorl::test
