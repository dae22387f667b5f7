#include "host/HostDatabase.h"

#include "host/Database.h"
#include "host/HostScripts.h"

namespace {

// The seed adds rows to tables without unique keys; a marker row tells that
// it has run, so seeding again adds nothing.
constexpr const char* kSeedMarkerQuery = "SELECT 1 FROM QUORL_HOST_META WHERE META_KEY = 'seed'";
constexpr const char* kSeedMarkerInsert =
    "INSERT INTO QUORL_HOST_META (META_KEY, META_VALUE) VALUES ('seed', 'demo')";

}  // namespace

namespace quorl {

const std::string& HostSchemaSql() {
  static const std::string text(detail::kHostSchemaSql);
  return text;
}

const std::string& HostPostgresSchemaSql() {
  static const std::string text(detail::kHostSchemaPgSql);
  return text;
}

const std::string& HostSeedSql() {
  static const std::string text(detail::kHostSeedSql);
  return text;
}

void CreateHostDatabase(const std::string& path, bool seed) {
  std::unique_ptr<DatabaseConnection> db = OpenDatabase(path);
  Transaction tx(*db);
  db->ExecuteScript(db->Dialect() == SqlDialect::kPostgres ? HostPostgresSchemaSql() : HostSchemaSql());
  if (seed && db->Query(kSeedMarkerQuery).rows.empty()) {
    db->ExecuteScript(HostSeedSql());
    db->Execute(kSeedMarkerInsert, {});
  }
  tx.Commit();
}

void ExecuteSqlScript(const std::string& path, const std::string& utf8Script) {
  std::unique_ptr<DatabaseConnection> db = OpenDatabase(path);
  Transaction tx(*db);
  db->ExecuteScript(utf8Script);
  tx.Commit();
}

}  // namespace quorl
