// The look at the host database before a command runs. The host library's
// opener creates a missing file, so the file is probed read-only first; a
// PostgreSQL server is asked whether it answers and holds the tables.

#include <filesystem>
#include <string>
#include <system_error>

#include "host/Database.h"
#include "platform/CodePage.h"
#include "tools/membersys/Commands.h"

namespace quorl::membersys {

namespace {

// Created by init-db first of the host tables; every command reads it when
// the agent looks up the service addresses.
constexpr const char* kProbeTable = "QUORL_SOAPSERVER_ADDRESS";

}  // namespace

std::string HostDatabaseProblem(const std::string& dbPath) {
  const std::string again = " (run 'membersys init-db' first)";
  const std::string location = ToHost(dbPath);
  if (quorl::IsPostgresLocation(location)) {
    // A server is asked, not a file: can it be reached, and does it hold the tables?
    const std::string shown = quorl::GbkToUtf8(quorl::RedactLocation(location));
    std::string error;
    switch (quorl::ProbePostgresDatabase(location, kProbeTable, &error)) {
      case quorl::ServerState::kUnreachable:
        return "cannot reach the host database server: " + quorl::GbkToUtf8(error);
      case quorl::ServerState::kNoTable:
        return "host database " + shown + " is not initialised" + again;
      case quorl::ServerState::kHasTable:
        break;
    }
    return std::string();
  }
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(dbPath, ec);
  if (status.type() == std::filesystem::file_type::not_found) return "no host database at " + dbPath + again;
  if (ec || status.type() != std::filesystem::file_type::regular) return std::string();
  // An empty file reads as a database without tables.
  switch (quorl::ProbeSqliteFile(dbPath, kProbeTable)) {
    case quorl::SqliteFileState::kNoTable:
      return "host database " + dbPath + " is not initialised" + again;
    case quorl::SqliteFileState::kNotSqlite:
      // init-db would fail on it as well; the file may be someone's data.
      return dbPath + " is not an SQLite database (check --db)";
    case quorl::SqliteFileState::kHasTable:
    case quorl::SqliteFileState::kUnknown:
      break;
  }
  return std::string();
}

}  // namespace quorl::membersys
