// The SQLite connection behind the database seam. The only file that
// includes sqlite3.h.
#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "host/Database.h"
#include "host/KeptConnections.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace {

// Several tills may share one database file: a writer waits this long for
// another till's transaction instead of failing at once.
constexpr int kBusyTimeoutMs = 10000;

[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
  const char* msg = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
  std::string text = quorl::Utf8ToGbk(msg != nullptr ? msg : "unknown error");
  if (!what.empty()) text = what + ": " + text;
  throw EDatabaseError(text);
}

class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) : db_(db) {
    if (sql.find('\0') != std::string::npos || sql.size() > static_cast<size_t>(INT32_MAX))
      throw EDatabaseError("The SQL text holds a NUL byte or is too long");
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, &tail) != SQLITE_OK)
      Fail(db, "");
    if (stmt_ == nullptr) throw EDatabaseError("The SQL text holds no statement");
    // A second statement would be silently skipped by prepare: refuse it
    // instead of running only half of what the caller asked for.
    const char* end = sql.c_str() + sql.size();
    if (tail != nullptr && tail < end) {
      sqlite3_stmt* next = nullptr;
      const int rc = sqlite3_prepare_v2(db, tail, static_cast<int>(end - tail), &next, nullptr);
      const bool more = next != nullptr;
      sqlite3_finalize(next);
      if (rc != SQLITE_OK || more) {
        sqlite3_finalize(stmt_);
        throw EDatabaseError("The SQL text holds more than one statement");
      }
    }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void Bind(const std::vector<quorl::DbValue>& params) {
    if (static_cast<int>(params.size()) != sqlite3_bind_parameter_count(stmt_))
      throw EDatabaseError("Wrong number of SQL parameters: " + std::to_string(params.size()) + " given, " +
                           std::to_string(sqlite3_bind_parameter_count(stmt_)) + " expected");
    for (size_t i = 0; i < params.size(); ++i) {
      const int index = static_cast<int>(i) + 1;
      const quorl::DbValue& p = params[i];
      int rc = SQLITE_OK;
      if (std::holds_alternative<int64_t>(p)) {
        rc = sqlite3_bind_int64(stmt_, index, std::get<int64_t>(p));
      } else if (std::holds_alternative<double>(p)) {
        rc = sqlite3_bind_double(stmt_, index, std::get<double>(p));
      } else if (std::holds_alternative<std::string>(p)) {
        const std::string& s = std::get<std::string>(p);
        rc = sqlite3_bind_text64(stmt_, index, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
      } else {
        rc = sqlite3_bind_null(stmt_, index);
      }
      if (rc != SQLITE_OK) Fail(db_, "");
    }
  }

  // True while a row is ready.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    Fail(db_, "");
  }

  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

quorl::DbValue ReadCell(sqlite3_stmt* stmt, int col) {
  switch (sqlite3_column_type(stmt, col)) {
    case SQLITE_INTEGER:
      return static_cast<int64_t>(sqlite3_column_int64(stmt, col));
    case SQLITE_FLOAT:
      return sqlite3_column_double(stmt, col);
    case SQLITE_NULL:
      return std::monostate{};
    case SQLITE_BLOB: {
      // Blobs are handed over as their bytes, like text.
      const void* p = sqlite3_column_blob(stmt, col);
      const int n = sqlite3_column_bytes(stmt, col);
      return p != nullptr ? std::string(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
    }
    default: {
      const unsigned char* p = sqlite3_column_text(stmt, col);
      const int n = sqlite3_column_bytes(stmt, col);
      return p != nullptr ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n))
                          : std::string();
    }
  }
}

class SqliteConnection : public quorl::DatabaseConnection {
 public:
  explicit SqliteConnection(const std::string& location) {
    const std::string path = quorl::GbkToUtf8(location);
    const int rc = sqlite3_open_v2(path.c_str(), &db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      std::string msg = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      db_ = nullptr;
      throw EDatabaseError("Cannot open host database '" + location + "': " + quorl::Utf8ToGbk(msg));
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_handler(db_, WaitWhileBusy, this);
    try {
      // WAL lets other tills read while one posts; the mode stays with the
      // file, so it is set only once (setting it takes a lock).
      ExecuteScript("PRAGMA foreign_keys = ON");
      if (!IsWal()) ExecuteScript("PRAGMA journal_mode = WAL");
    } catch (...) {
      sqlite3_close(db_);
      throw;
    }
  }
  ~SqliteConnection() override { sqlite3_close(db_); }

  quorl::QueryResult Query(const std::string& utf8Sql, const std::vector<quorl::DbValue>& params) override {
    Statement stmt(db_, utf8Sql);
    // Checked before anything runs: a change made through a query call could
    // not be answered with a table, and the caller would see an error for a
    // change that was nonetheless done.
    const int n = sqlite3_column_count(stmt.get());
    if (n == 0) throw EDatabaseError("Not a query: the statement returns no columns");
    stmt.Bind(params);
    quorl::QueryResult result;
    result.columns.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      const char* name = sqlite3_column_name(stmt.get(), i);
      const char* type = sqlite3_column_decltype(stmt.get(), i);
      result.columns.push_back({name != nullptr ? name : "", type != nullptr ? type : ""});
    }
    while (stmt.Step()) {
      std::vector<quorl::DbValue> row;
      row.reserve(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) row.push_back(ReadCell(stmt.get(), i));
      result.rows.push_back(std::move(row));
    }
    return result;
  }

  int64_t Execute(const std::string& utf8Sql, const std::vector<quorl::DbValue>& params) override {
    Statement stmt(db_, utf8Sql);
    stmt.Bind(params);
    while (stmt.Step()) {
    }
    return sqlite3_changes64(db_);
  }

  // Polls every millisecond up to kBusyTimeoutMs. SQLite's own time-out
  // sleeps up to 100 ms at a time, and with several tills posting a waiting
  // till kept missing the moments the lock was free until it gave up.
  static int WaitWhileBusy(void* self, int count) {
    auto* conn = static_cast<SqliteConnection*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (count == 0) conn->busySince_ = now;
    if (now - conn->busySince_ >= std::chrono::milliseconds(kBusyTimeoutMs)) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
  }

  bool IsWal() {
    Statement stmt(db_, "PRAGMA journal_mode");
    return stmt.Step() && sqlite3_column_text(stmt.get(), 0) != nullptr &&
           std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0))) == "wal";
  }

  void ExecuteScript(const std::string& utf8Script) override {
    char* err = nullptr;
    if (sqlite3_exec(db_, utf8Script.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
      std::string msg = err != nullptr ? err : sqlite3_errmsg(db_);
      sqlite3_free(err);
      throw EDatabaseError(quorl::Utf8ToGbk(msg));
    }
  }

  // IMMEDIATE takes the write lock up front: a posting reads balances and
  // then writes them, and must not find another till's write in between.
  void Begin() override { ExecuteScript("BEGIN IMMEDIATE"); }
  void Commit() override {
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return;
    const std::string msg = quorl::Utf8ToGbk(sqlite3_errmsg(db_));
    // An I/O error while the commit was written leaves the file's state
    // unknown to us; anything else (busy, full) left the transaction open or
    // undone, and the caller rolls it back.
    if ((sqlite3_extended_errcode(db_) & 0xff) == SQLITE_IOERR)
      throw quorl::EDatabaseOutcomeUnknown("The commit failed with an I/O error: " + msg);
    throw EDatabaseError(msg);
  }
  void Rollback() override {
    if (!sqlite3_get_autocommit(db_)) ExecuteScript("ROLLBACK");
  }

  // Ready for another call: no transaction left open, and the file at the
  // path is still the one opened. A file restored from a backup or removed
  // meanwhile must not go on receiving postings through the old handle
  // (SQLite then also closes that handle without touching the new file's
  // journal).
  bool Ready() const {
    int moved = 1;
    return sqlite3_get_autocommit(db_) != 0 &&
           sqlite3_file_control(db_, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved == 0;
  }

 private:
  sqlite3* db_ = nullptr;
  std::chrono::steady_clock::time_point busySince_;
};

}  // namespace

namespace quorl {

detail::ConnectionState detail::SqliteConnectionState(DatabaseConnection& db) {
  const auto* sqlite = dynamic_cast<const SqliteConnection*>(&db);
  if (sqlite == nullptr) return ConnectionState::kNotEngine;
  return sqlite->Ready() ? ConnectionState::kReady : ConnectionState::kSpent;
}

std::unique_ptr<DatabaseConnection> OpenSqliteDatabase(const std::string& location) {
  // SQLite would take an empty name as a private temporary database and
  // quietly lose everything written to it.
  if (location.empty()) throw EDatabaseError("No host database configured");
  if (location.find('\0') != std::string::npos)
    throw EDatabaseError("Cannot open host database: the location holds a NUL byte");
  return std::make_unique<SqliteConnection>(location);
}

SqliteFileState ProbeSqliteFile(const std::string& utf8Path, const std::string& table) {
  sqlite3* db = nullptr;
  SqliteFileState result = SqliteFileState::kUnknown;
  if (sqlite3_open_v2(utf8Path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    int rc =
        sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE",
                           -1, &stmt, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_bind_text(stmt, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW)
      result = SqliteFileState::kHasTable;
    else if (rc == SQLITE_DONE)
      result = SqliteFileState::kNoTable;
    else if ((rc & 0xff) == SQLITE_NOTADB)
      result = SqliteFileState::kNotSqlite;
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return result;
}

}  // namespace quorl
