// The database seam of the host services. Everything above it talks to one
// DatabaseConnection: SQLite for a till of its own (a file path as location),
// PostgreSQL for a site whose tills share one server (a connection string as
// location). Tests install a fake through SetDatabaseOpener.
//
// SQL text, text values and column names cross this seam as UTF-8, in the
// SQLite dialect that both engines read (? parameters). Errors are
// EDatabaseError whose message is the database's own, converted to GBK.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "host/HostExport.h"
#include "platform/Exception.h"

namespace quorl {

/// Another connection's transaction got in the way (a deadlock or a
/// serialization failure): this one was rolled back and may simply run again.
class QUORL_HOST_API EDatabaseConflict : public EDatabaseError {
  using EDatabaseError::EDatabaseError;
};

/// The connection was lost while COMMIT was in flight (the server went away,
/// the session was ended, an I/O error on the file): the transaction may or
/// may not have been kept. Every other EDatabaseError from a transaction
/// means it was not.
class QUORL_HOST_API EDatabaseOutcomeUnknown : public EDatabaseError {
  using EDatabaseError::EDatabaseError;
};

/// The SQL dialect of a connection.
enum class SqlDialect { kSqlite, kPostgres };

/// One cell or parameter: null, integer, real or UTF-8 text.
using DbValue = std::variant<std::monostate, int64_t, double, std::string>;

/// True for the null cell.
inline bool IsNull(const DbValue& v) { return std::holds_alternative<std::monostate>(v); }

/// One column of a query's answer.
struct QUORL_HOST_API QueryColumn {
  std::string name;          ///< as the statement names it (alias included)
  std::string declaredType;  ///< the table's declared type; empty for expressions
};

/// A query's answer: its columns and every row, read at once.
struct QUORL_HOST_API QueryResult {
  std::vector<QueryColumn> columns;        ///< in the statement's order
  std::vector<std::vector<DbValue>> rows;  ///< each row has columns.size() cells
};

/// One open connection to the host database (SQLite or PostgreSQL); OpenDatabase hands out one the caller
/// owns. Errors raise EDatabaseError.
class QUORL_HOST_API DatabaseConnection {
 public:
  virtual ~DatabaseConnection() = default;

  /// Runs one statement with positional parameters (?1, ?2... or ?) bound in
  /// order, and returns its columns and all rows. A statement that returns no
  /// columns (UPDATE, CREATE...) is refused before it runs.
  virtual QueryResult Query(const std::string& utf8Sql, const std::vector<DbValue>& params) = 0;
  QueryResult Query(const std::string& utf8Sql) { return Query(utf8Sql, {}); }  ///< Query without parameters.

  /// Runs one statement with parameters; returns the number of rows changed.
  virtual int64_t Execute(const std::string& utf8Sql, const std::vector<DbValue>& params) = 0;
  /// A script without parameters (ExecuteScript).
  void Execute(const std::string& utf8Sql) { ExecuteScript(utf8Sql); }

  /// Runs a script of several statements separated by ';', without parameters.
  virtual void ExecuteScript(const std::string& utf8Script) = 0;

  /// Transactions. On SQLite, Begin takes the write lock at once, so two tills
  /// posting to one file serialize rather than fail half-way; on PostgreSQL
  /// tills run side by side and the statements themselves must not rely on
  /// what they read earlier (see MemberAccount.cpp).
  virtual void Begin() = 0;
  /// Makes the transaction durable; EDatabaseOutcomeUnknown when the connection dropped during it.
  virtual void Commit() = 0;
  virtual void Rollback() = 0;  ///< Undoes the open transaction.

  /// Which engine answers: the few statements that differ (schema) pick theirs.
  virtual SqlDialect Dialect() const { return SqlDialect::kSqlite; }
};

/// Rolls back on destruction unless Commit() was called.
class QUORL_HOST_API Transaction {
 public:
  /// Begins a transaction on db, which must outlive this object.
  explicit Transaction(DatabaseConnection& db) : db_(db) { db_.Begin(); }
  ~Transaction() {
    if (!done_) {
      try {
        db_.Rollback();
      } catch (...) {
      }
    }
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  /// Commits; the destructor then rolls nothing back.
  void Commit() {
    db_.Commit();
    done_ = true;
  }

 private:
  DatabaseConnection& db_;
  bool done_ = false;
};

/// Opens a connection for a location; the caller owns it.
using DatabaseOpener = std::function<std::unique_ptr<DatabaseConnection>(const std::string& location)>;

/// Opens the database at location (8-bit GBK text, as the context string
/// carries it) through the installed opener. By default a PostgreSQL location
/// (IsPostgresLocation) connects to that server; anything else is an SQLite
/// file, opened in WAL mode with a busy timeout and foreign keys on and created
/// when missing. Raises EDatabaseError when it cannot be opened.
QUORL_HOST_API std::unique_ptr<DatabaseConnection> OpenDatabase(const std::string& location);

/// Installs another opener; an empty one restores SQLite.
QUORL_HOST_API void SetDatabaseOpener(DatabaseOpener opener);

/// The SQLite opener itself, for callers that want it whatever is installed.
QUORL_HOST_API std::unique_ptr<DatabaseConnection> OpenSqliteDatabase(const std::string& location);

/// True for a PostgreSQL connection string: a postgresql:// (or
/// postgres://) URI, or text in which a connection keyword that the PostgreSQL
/// client library knows (host, hostaddr, port, dbname, user, password,
/// service, options, sslmode...) starts a word and is followed by '='.
/// Anything else (a plain path, a file: URI) is an SQLite file path, so a
/// connection string is never taken for a file name.
QUORL_HOST_API bool IsPostgresLocation(const std::string& location);

/// The PostgreSQL opener: connects (10 s time-out unless the location sets
/// connect_timeout; TCP keepalives unless it sets keepalives*), text in UTF-8,
/// and gives the session a lock time-out and a statement time-out of 10 s
/// unless the location sets its own (options='-c lock_timeout=...'). Error
/// messages never repeat a password the location holds.
QUORL_HOST_API std::unique_ptr<DatabaseConnection> OpenPostgresDatabase(const std::string& location);

/// The location with any password replaced by "***", for messages: the
/// password of a URI's user part and of its ?password= parameter, the value
/// of password= in key=value form (quoted or not). Other locations unchanged.
QUORL_HOST_API std::string RedactLocation(const std::string& location);

/// `text` (a message) with every password the location holds, as written and
/// as the client library reads it (percent-decoded, unquoted), and the
/// location itself replaced; when a password is too short to be told from
/// other text, a message that holds it is replaced whole.
QUORL_HOST_API std::string ScrubSecrets(const std::string& location, const std::string& text);

/// Whether the server at location answers and has the table (in the
/// connection's search path). kUnreachable sets *error to the reason.
enum class ServerState { kHasTable, kNoTable, kUnreachable };
/// Never raises; the server is asked read-only.
QUORL_HOST_API ServerState ProbePostgresDatabase(const std::string& location, const std::string& table,
                                                 std::string* error);

/// What an existing SQLite file at utf8Path holds, found read-only: the file is
/// never created or written. kUnknown when it cannot be told (missing,
/// locked, unreadable, damaged): the real open reports those.
enum class SqliteFileState { kHasTable, kNoTable, kNotSqlite, kUnknown };
/// Never raises.
QUORL_HOST_API SqliteFileState ProbeSqliteFile(const std::string& utf8Path, const std::string& table);

}  // namespace quorl
