// Creating a host database: the schema of host/schema.sql (SQLite) or
// host/schema-pg.sql (PostgreSQL) and, on request, the demo data of
// host/seed.sql, all built into the library.
#pragma once

#include <string>

#include "host/HostExport.h"

namespace quorl {

/// Creates the tables at path (8-bit GBK; an SQLite file is created when
/// missing, a PostgreSQL database must exist) and, when seed is set, adds the
/// demo rows. Idempotent: running it again on the same database changes
/// nothing and does not fail. Raises EDatabaseError.
QUORL_HOST_API void CreateHostDatabase(const std::string& path, bool seed);

/// Runs a UTF-8 SQL script (several statements) against the database at path
/// in one transaction. Raises EDatabaseError with the failing statement's
/// message; nothing of the script is kept then.
QUORL_HOST_API void ExecuteSqlScript(const std::string& path, const std::string& utf8Script);

/// The built-in scripts, UTF-8. HostSchemaSql is SQLite's; the seed suits both.
QUORL_HOST_API const std::string& HostSchemaSql();
/// The schema for PostgreSQL (built into the library).
QUORL_HOST_API const std::string& HostPostgresSchemaSql();
QUORL_HOST_API const std::string& HostSeedSql();  ///< The demo rows (built into the library).

}  // namespace quorl
