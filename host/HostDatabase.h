// Creating a host database: the schema of host/schema.sql and, on request,
// the demo data of host/seed.sql, both built into the library.
#pragma once

#include <string>

namespace quorl {

// Creates the tables at path (8-bit GBK; the file is created when missing)
// and, when seed is set, adds the demo rows. Idempotent: running it again on
// the same file changes nothing and does not fail. Raises EDatabaseError.
void CreateHostDatabase(const std::string& path, bool seed);

// Runs a UTF-8 SQL script (several statements) against the database at path
// in one transaction. Raises EDatabaseError with the failing statement's
// message; nothing of the script is kept then.
void ExecuteSqlScript(const std::string& path, const std::string& utf8Script);

// The built-in scripts, UTF-8.
const std::string& HostSchemaSql();
const std::string& HostSeedSql();

}  // namespace quorl
