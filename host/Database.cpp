#include "host/Database.h"

namespace {

quorl::DatabaseOpener& Opener() {
  static quorl::DatabaseOpener opener;
  return opener;
}

}  // namespace

namespace quorl {

std::unique_ptr<DatabaseConnection> OpenDatabase(const std::string& location) {
  const DatabaseOpener& opener = Opener();
  if (opener) return opener(location);
  if (IsPostgresLocation(location)) return OpenPostgresDatabase(location);
  return OpenSqliteDatabase(location);
}

void SetDatabaseOpener(DatabaseOpener opener) { Opener() = std::move(opener); }

}  // namespace quorl
