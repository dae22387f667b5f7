// The simulator's own SQLite database: members, bookings, operators and the
// consumptions posted to it. Text is UTF-8; money is kept in cents.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

struct sqlite3;

namespace quorl::sim {

class SimDatabaseError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

using SqlParam = std::variant<std::string, int64_t>;

struct SqlRows {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;  // NULL reads as ""
  // The cell of row in the named column; throws when the column is unknown.
  const std::string& Get(size_t row, const std::string& column) const;
};

class SimDatabase {
 public:
  // Opens (creating when missing) the database at path and creates the
  // tables that do not exist yet. Throws SimDatabaseError.
  explicit SimDatabase(const std::string& path);
  ~SimDatabase();
  SimDatabase(const SimDatabase&) = delete;
  SimDatabase& operator=(const SimDatabase&) = delete;

  // Adds the demo members, bookings and operators; rows already present
  // are left alone, so seeding twice changes nothing.
  void Seed();

  SqlRows Query(const std::string& sql, const std::vector<SqlParam>& params = {});
  // Returns the number of rows changed.
  int64_t Execute(const std::string& sql, const std::vector<SqlParam>& params = {});
  void Begin() { Execute("BEGIN IMMEDIATE"); }
  void Commit() { Execute("COMMIT"); }
  void Rollback();

 private:
  void Script(const char* sql);
  sqlite3* db_ = nullptr;
};

}  // namespace quorl::sim
