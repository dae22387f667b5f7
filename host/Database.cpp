#include "host/Database.h"

#include <unistd.h>

#include <map>
#include <mutex>
#include <vector>

#include "host/KeptConnections.h"

namespace {

quorl::DatabaseOpener& Opener() {
  static quorl::DatabaseOpener opener;
  return opener;
}

using quorl::DatabaseConnection;
using quorl::detail::ConnectionState;

ConnectionState StateOf(DatabaseConnection& db) {
  const ConnectionState s = quorl::detail::PostgresConnectionState(db);
  return s != ConnectionState::kNotEngine ? s : quorl::detail::SqliteConnectionState(db);
}

// Idle connections by location. Several threads of one process may call the
// services at once: each takes a connection out, so none is used by two.
class Kept {
 public:
  static Kept& Instance() {
    static Kept kept;
    return kept;
  }
  ~Kept() { ForgetIfForked(); }

  std::unique_ptr<DatabaseConnection> Take(const std::string& location) {
    std::vector<std::unique_ptr<DatabaseConnection>> spent;  // closed outside the lock
    std::lock_guard<std::mutex> lock(mutex_);
    ForgetIfForked();
    auto it = idle_.find(location);
    if (it == idle_.end()) return nullptr;
    while (!it->second.empty()) {
      std::unique_ptr<DatabaseConnection> db = std::move(it->second.back());
      it->second.pop_back();
      if (StateOf(*db) == ConnectionState::kReady) return db;
      spent.push_back(std::move(db));
    }
    return nullptr;
  }

  void GiveBack(const std::string& location, std::unique_ptr<DatabaseConnection> db) {
    if (StateOf(*db) != ConnectionState::kReady || quorl::detail::DatabaseOpenerInstalled()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    ForgetIfForked();
    std::vector<std::unique_ptr<DatabaseConnection>>& list = idle_[location];
    // More only while threads of this process post at once; past that many
    // idle ones would just hold server processes.
    if (list.size() < kMaxIdlePerLocation) list.push_back(std::move(db));
  }

 private:
  static constexpr size_t kMaxIdlePerLocation = 4;

  // After fork() the child's copies share their sockets and files with the
  // parent's: closing them here would end the parent's sessions, so they are
  // dropped unclosed.
  void ForgetIfForked() {
    if (pid_ == getpid()) return;
    for (auto& [location, list] : idle_)
      for (auto& db : list) static_cast<void>(db.release());
    idle_.clear();
    pid_ = getpid();
  }

  std::mutex mutex_;
  pid_t pid_ = getpid();
  std::map<std::string, std::vector<std::unique_ptr<DatabaseConnection>>> idle_;
};

// The connection lent for one call. The first BEGIN or query of a connection
// that lay idle is where a server gone meanwhile shows: it runs once more on
// a new connection. Nothing had begun, so nothing can be done twice; other
// first statements (a change outside a transaction) are not repeated, as
// they may have been done when the connection broke.
class Lent final : public DatabaseConnection {
 public:
  Lent(std::string location, std::unique_ptr<DatabaseConnection> db, bool reused)
      : location_(std::move(location)), db_(std::move(db)), reused_(reused) {}
  ~Lent() override {
    try {
      Kept::Instance().GiveBack(location_, std::move(db_));
    } catch (...) {  // not kept, then
    }
  }

  quorl::QueryResult Query(const std::string& utf8Sql, const std::vector<quorl::DbValue>& params) override {
    return First(true, [&] { return db_->Query(utf8Sql, params); });
  }
  int64_t Execute(const std::string& utf8Sql, const std::vector<quorl::DbValue>& params) override {
    return First(false, [&] { return db_->Execute(utf8Sql, params); });
  }
  void ExecuteScript(const std::string& utf8Script) override {
    First(false, [&] { db_->ExecuteScript(utf8Script); });
  }
  void Begin() override {
    First(true, [&] { db_->Begin(); });
  }
  void Commit() override { db_->Commit(); }
  void Rollback() override { db_->Rollback(); }
  quorl::SqlDialect Dialect() const override { return db_->Dialect(); }

 private:
  template <typename Run>
  auto First(bool repeatable, Run run) -> decltype(run()) {
    const bool first = reused_;
    reused_ = false;
    if (!first || !repeatable) return run();
    try {
      return run();
    } catch (const EDatabaseError&) {
      if (StateOf(*db_) != ConnectionState::kSpent || db_->Dialect() != quorl::SqlDialect::kPostgres) throw;
    }
    db_ = quorl::OpenDatabase(location_);
    return run();
  }

  std::string location_;
  std::unique_ptr<DatabaseConnection> db_;
  bool reused_;
};

}  // namespace

namespace quorl {

std::unique_ptr<DatabaseConnection> OpenDatabase(const std::string& location) {
  const DatabaseOpener& opener = Opener();
  if (opener) return opener(location);
  if (IsPostgresLocation(location)) return OpenPostgresDatabase(location);
  return OpenSqliteDatabase(location);
}

void SetDatabaseOpener(DatabaseOpener opener) { Opener() = std::move(opener); }

namespace detail {

bool DatabaseOpenerInstalled() { return static_cast<bool>(Opener()); }

std::unique_ptr<DatabaseConnection> TakeConnection(const std::string& location) {
  if (DatabaseOpenerInstalled()) return OpenDatabase(location);
  std::unique_ptr<DatabaseConnection> db = Kept::Instance().Take(location);
  const bool reused = db != nullptr;
  if (!reused) db = OpenDatabase(location);
  if (StateOf(*db) == ConnectionState::kNotEngine) return db;
  return std::make_unique<Lent>(location, std::move(db), reused);
}

}  // namespace detail

}  // namespace quorl
