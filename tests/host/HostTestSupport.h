// Helpers shared by the host tests: a temporary folder and a seeded database.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/Database.h"
#include "host/HostDatabase.h"
#include "host/QuorlContext.h"
#include "platform/CodePage.h"

namespace quorl::testing {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorl-host-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

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
  TempDir dir;
  std::string path;
};

// UTF-8 source text to the host code page.
inline std::string Gbk(const char* utf8) { return Utf8ToGbk(utf8); }

}  // namespace quorl::testing
