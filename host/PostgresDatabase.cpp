// The PostgreSQL connection behind the database seam, for sites whose tills
// share one server. The only file that includes libpq-fe.h.
//
// Callers write the SQLite dialect with ? parameters; this file translates
// the markers to $n and makes the answers look like SQLite's: the same column
// names (PostgreSQL folds unquoted names to lower case), the same declared
// types (none for expressions) and the same cell kinds, so the data pipe
// builds the same packets from either engine.
#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <string_view>

#include "host/Database.h"
#include "host/HostDatabase.h"
#include "host/KeptConnections.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "platform/Text.h"

namespace {

using quorl::DbValue;

// Without it a till would hang for minutes on an unreachable server.
constexpr const char* kConnectTimeoutSeconds = "10";
// A till must never wait without end: not for another session's lock, not
// for a statement, not for a server that vanished without closing the
// connection (keepalives notice it within about 25 s). The location's own
// settings win: its options come after these, its keepalives* replace them.
constexpr const char* kSessionTimeouts = "-c lock_timeout=10s -c statement_timeout=10s";
constexpr const char* kKeepalivesIdle = "10";
constexpr const char* kKeepalivesInterval = "5";
constexpr const char* kKeepalivesCount = "3";

// Type OIDs fixed by the server's catalog.
constexpr Oid kBoolOid = 16, kByteaOid = 17, kInt8Oid = 20, kInt2Oid = 21, kInt4Oid = 23, kTextOid = 25,
              kOidOid = 26, kFloat4Oid = 700, kFloat8Oid = 701, kBpcharOid = 1042, kVarcharOid = 1043,
              kNumericOid = 1700;

// ---------------------------------------------------------------------------
// A small SQL scanner: enough to find parameter markers and the select list
// without being fooled by literals, quoted names or comments.

enum class Tok { Ident, QuotedIdent, String, Number, Param, Punct };

struct Token {
  Tok kind;
  size_t begin;
  size_t end;
};

bool IdentStart(unsigned char c) { return std::isalpha(c) != 0 || c == '_' || c >= 0x80; }
bool IdentPart(unsigned char c) { return IdentStart(c) || std::isdigit(c) != 0 || c == '$'; }

std::vector<Token> Scan(std::string_view sql) {
  std::vector<Token> out;
  size_t i = 0;
  const size_t n = sql.size();
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(sql[i]);
    if (std::isspace(c) != 0) {
      ++i;
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      const size_t close = sql.find("*/", i + 2);
      i = close == std::string_view::npos ? n : close + 2;
    } else if (c == '\'' || c == '"' || c == '`') {
      // A doubled quote stands for itself inside the literal.
      size_t j = i + 1;
      while (j < n) {
        if (sql[j] == static_cast<char>(c)) {
          if (j + 1 < n && sql[j + 1] == static_cast<char>(c)) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      const size_t end = std::min(j + 1, n);
      out.push_back({c == '\'' ? Tok::String : Tok::QuotedIdent, i, end});
      i = end;
    } else if (c == '?') {
      size_t j = i + 1;
      while (j < n && std::isdigit(static_cast<unsigned char>(sql[j])) != 0) ++j;
      out.push_back({Tok::Param, i, j});
      i = j;
    } else if (IdentStart(c)) {
      size_t j = i + 1;
      while (j < n && IdentPart(static_cast<unsigned char>(sql[j]))) ++j;
      out.push_back({Tok::Ident, i, j});
      i = j;
    } else if (std::isdigit(c) != 0 ||
               (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(sql[i + 1])) != 0)) {
      size_t j = i + 1;
      while (j < n && (std::isalnum(static_cast<unsigned char>(sql[j])) != 0 || sql[j] == '.')) ++j;
      out.push_back({Tok::Number, i, j});
      i = j;
    } else {
      out.push_back({Tok::Punct, i, i + 1});
      ++i;
    }
  }
  return out;
}

// ?, ?NNN -> $n as SQLite numbers them: a bare ? takes one more than the
// largest number so far. Returns the translated text; *count gets the number
// of parameters the statement takes.
std::string TranslateParameters(const std::string& sql, const std::vector<Token>& tokens, int* count) {
  std::string out;
  out.reserve(sql.size() + 8);
  size_t copied = 0;
  int largest = 0;
  for (const Token& t : tokens) {
    if (t.kind != Tok::Param) continue;
    int index = largest + 1;
    if (t.end - t.begin > 1) {
      const char* b = sql.data() + t.begin + 1;
      const auto [p, ec] = std::from_chars(b, sql.data() + t.end, index);
      if (ec != std::errc() || index < 1 || index > 32766) throw EDatabaseError("Bad SQL parameter number");
    }
    largest = std::max(largest, index);
    out.append(sql, copied, t.begin - copied);
    out += '$';
    out += std::to_string(index);
    copied = t.end;
  }
  out.append(sql, copied, std::string::npos);
  *count = largest;
  return out;
}

// ---------------------------------------------------------------------------
// Column names as SQLite gives them: an alias as written, a plain column by
// the spelling it was declared with, any other expression as its text.

std::string_view Text(std::string_view sql, const Token& t) { return sql.substr(t.begin, t.end - t.begin); }

std::string IdentName(std::string_view sql, const Token& t) {
  std::string_view s = Text(sql, t);
  if (t.kind != Tok::QuotedIdent || s.size() < 2) return std::string(s);
  const char q = s.front();
  std::string out;
  for (size_t i = 1; i + 1 < s.size(); ++i) {
    out += s[i];
    if (s[i] == q && i + 2 < s.size() && s[i + 1] == q) ++i;
  }
  return out;
}

bool IsKeyword(std::string_view sql, const Token& t, const char* word) {
  return t.kind == Tok::Ident && quorl::SameTextAscii(Text(sql, t), word);
}

bool IsName(const Token& t) { return t.kind == Tok::Ident || t.kind == Tok::QuotedIdent; }

// The spellings the host schema declares its tables' columns with, by lower
// case name (what the server answers for an unquoted name).
const std::map<std::string, std::string>& DeclaredSpellings() {
  static const std::map<std::string, std::string> spellings = [] {
    std::map<std::string, std::string> m;
    const std::string& schema = quorl::HostSchemaSql();
    // A column definition or a column list entry follows "(" or ",".
    const std::vector<Token> tokens = Scan(schema);
    for (size_t i = 1; i < tokens.size(); ++i) {
      const std::string_view before = Text(schema, tokens[i - 1]);
      if (tokens[i].kind == Tok::Ident && tokens[i - 1].kind == Tok::Punct &&
          (before == "(" || before == ","))
        m.emplace(quorl::ToLowerAscii(Text(schema, tokens[i])), std::string(Text(schema, tokens[i])));
    }
    return m;
  }();
  return spellings;
}

std::string DeclaredSpelling(const std::string& serverName) {  // for SELECT *
  const auto& m = DeclaredSpellings();
  const auto it = m.find(serverName);
  return it != m.end() ? it->second : serverName;
}

// One name per item of the outermost select list, or nothing when the list
// cannot be matched item for item (a *, an unusual statement).
std::vector<std::string> SelectListNames(std::string_view sql, const std::vector<Token>& tokens,
                                         const std::vector<bool>& isColumn) {
  size_t i = 0;
  if (tokens.empty() || !IsKeyword(sql, tokens[0], "SELECT")) return {};
  ++i;
  if (i < tokens.size() && (IsKeyword(sql, tokens[i], "DISTINCT") || IsKeyword(sql, tokens[i], "ALL"))) ++i;
  std::vector<std::pair<size_t, size_t>> items;  // [first, last] token indexes
  int depth = 0;
  size_t start = i;
  for (; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    const std::string_view s = Text(sql, t);
    if (t.kind == Tok::Punct && s == "(") ++depth;
    if (t.kind == Tok::Punct && s == ")") --depth;
    if (depth != 0) continue;
    const bool ends = IsKeyword(sql, t, "FROM") || IsKeyword(sql, t, "WHERE") || IsKeyword(sql, t, "ORDER") ||
                      IsKeyword(sql, t, "GROUP") || IsKeyword(sql, t, "LIMIT") ||
                      IsKeyword(sql, t, "UNION") || (t.kind == Tok::Punct && s == ";");
    if (ends || (t.kind == Tok::Punct && s == ",")) {
      if (i == start) return {};
      items.emplace_back(start, i - 1);
      start = i + 1;
      if (ends) break;
    }
  }
  if (i == tokens.size()) {
    if (start >= tokens.size()) return {};
    items.emplace_back(start, tokens.size() - 1);
  }
  if (items.size() != isColumn.size()) return {};

  std::vector<std::string> names;
  for (size_t k = 0; k < items.size(); ++k) {
    const auto [first, last] = items[k];
    const Token& tail = tokens[last];
    if (Text(sql, tail) == "*") return {};
    if (last > first && IsName(tail)) {
      const Token& before = tokens[last - 1];
      if (IsKeyword(sql, before, "AS")) {
        names.push_back(IdentName(sql, tail));
        continue;
      }
      // "expr alias": the alias follows the end of an expression.
      const bool exprEnd = (before.kind == Tok::Punct && Text(sql, before) == ")") ||
                           before.kind == Tok::String || before.kind == Tok::Number ||
                           (IsName(before) && !IsKeyword(sql, before, "CASE"));
      const bool keywordTail = IsKeyword(sql, tail, "END") || IsKeyword(sql, tail, "NULL") ||
                               IsKeyword(sql, tail, "TRUE") || IsKeyword(sql, tail, "FALSE");
      const bool qualified = before.kind == Tok::Punct && Text(sql, before) == ".";
      if (exprEnd && !keywordTail && !qualified && !IsKeyword(sql, before, "IS") &&
          !IsKeyword(sql, before, "NOT")) {
        names.push_back(IdentName(sql, tail));
        continue;
      }
    }
    if (isColumn[k]) {
      // SQLite names a plain column as its table declares it.
      const std::string written = IsName(tail) ? IdentName(sql, tail) : std::string();
      const auto& declared = DeclaredSpellings();
      const auto it = declared.find(quorl::ToLowerAscii(written));
      names.push_back(it != declared.end() ? it->second : written);
      continue;
    }
    names.emplace_back(sql.substr(tokens[first].begin, tokens[last].end - tokens[first].begin));
  }
  return names;
}

// ---------------------------------------------------------------------------

// libpq's messages run over several indented lines; a till shows one.
std::string Trimmed(const std::string& s) {
  std::string out;
  for (char c : s) {
    const bool blank = c == '\n' || c == '\r' || c == '\t' || c == ' ';
    if (blank && (out.empty() || out.back() == ' ')) continue;
    out += blank ? ' ' : c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

bool IsConflict(const PGresult* r) {
  const char* state = r != nullptr ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
  // serialization_failure, deadlock_detected
  return state != nullptr && (std::strcmp(state, "40001") == 0 || std::strcmp(state, "40P01") == 0);
}

void NoNotices(void*, const char*) {}

std::string DeclaredType(const PGresult* r, int col) {
  // Expressions have no declared type in SQLite; the pipe then sizes them by
  // their values. A column of a table has one.
  if (PQftable(r, col) == InvalidOid) return std::string();
  const int mod = PQfmod(r, col);
  switch (PQftype(r, col)) {
    case kInt2Oid:
    case kInt4Oid:
    case kInt8Oid:
    case kOidOid:
      return "INTEGER";
    case kFloat4Oid:
    case kFloat8Oid:
      return "REAL";
    case kNumericOid:
      return "NUMERIC";
    case kVarcharOid:
      return mod >= 4 ? "VARCHAR(" + std::to_string(mod - 4) + ")" : "VARCHAR";
    case kBpcharOid:
      return mod >= 4 ? "CHAR(" + std::to_string(mod - 4) + ")" : "CHAR";
    case kBoolOid:
      return "BOOLEAN";
    case kByteaOid:
      return "BLOB";
    default:
      return "TEXT";
  }
}

DbValue Cell(const PGresult* r, int row, int col) {
  if (PQgetisnull(r, row, col) != 0) return std::monostate{};
  const char* p = PQgetvalue(r, row, col);
  const size_t n = static_cast<size_t>(PQgetlength(r, row, col));
  const std::string_view text(p, n);
  switch (PQftype(r, col)) {
    case kInt2Oid:
    case kInt4Oid:
    case kInt8Oid:
    case kOidOid: {
      int64_t v = 0;
      if (std::from_chars(p, p + n, v).ec == std::errc()) return v;
      break;
    }
    case kNumericOid:
      // A whole number stays an integer, as SQLite keeps it.
      if (text.find_first_of(".eE") == std::string_view::npos && text != "NaN") {
        int64_t v = 0;
        const auto [end, ec] = std::from_chars(p, p + n, v);
        if (ec == std::errc() && end == p + n) return v;
      }
      [[fallthrough]];
    case kFloat4Oid:
    case kFloat8Oid:
      return std::strtod(std::string(text).c_str(), nullptr);
    case kByteaOid: {
      size_t length = 0;
      unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(p), &length);
      if (bytes == nullptr) break;
      std::string out(reinterpret_cast<const char*>(bytes), length);
      PQfreemem(bytes);
      return out;
    }
    default:
      break;
  }
  return std::string(text);
}

// The `options` the location sets itself (none when it sets none or cannot
// be read: connecting then reports why).
std::string LocationOptions(const std::string& conninfo) {
  char* error = nullptr;
  PQconninfoOption* parsed = PQconninfoParse(conninfo.c_str(), &error);
  PQfreemem(error);  // its text may quote the password; connecting reports the failure
  std::string options;
  if (parsed == nullptr) return options;
  for (const PQconninfoOption* o = parsed; o->keyword != nullptr; ++o)
    if (std::strcmp(o->keyword, "options") == 0 && o->val != nullptr) options = o->val;
  PQconninfoFree(parsed);
  return options;
}

class PostgresConnection : public quorl::DatabaseConnection {
 public:
  explicit PostgresConnection(const std::string& location) : location_(location) {
    const std::string conninfo = quorl::GbkToUtf8(location);
    // Later keys win: the defaults come before the location's own settings;
    // the session options after them, the location's options appended last
    // (of two -c for one setting the server keeps the last); the text
    // encoding last of all because everything here reads and writes UTF-8.
    std::string options = kSessionTimeouts;
    if (const std::string own = LocationOptions(conninfo); !own.empty()) options += " " + own;
    const char* keys[] = {
        "connect_timeout",  "keepalives", "keepalives_idle", "keepalives_interval", "keepalives_count",
        "application_name", "dbname",     "options",         "client_encoding",     nullptr};
    const char* values[] = {kConnectTimeoutSeconds,
                            "1",
                            kKeepalivesIdle,
                            kKeepalivesInterval,
                            kKeepalivesCount,
                            "quorl-host",
                            conninfo.c_str(),
                            options.c_str(),
                            "UTF8",
                            nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
      const std::string msg = conn_ != nullptr ? Trimmed(PQerrorMessage(conn_)) : "out of memory";
      PQfinish(conn_);
      conn_ = nullptr;
      throw EDatabaseError(
          quorl::ScrubSecrets(location, "Cannot open host database '" + quorl::RedactLocation(location) +
                                            "': " + quorl::ScrubSecrets(location, quorl::Utf8ToGbk(msg))));
    }
    // "relation already exists, skipping" and the like are no news to a till.
    PQsetNoticeProcessor(conn_, NoNotices, nullptr);
  }
  ~PostgresConnection() override { PQfinish(conn_); }

  quorl::QueryResult Query(const std::string& utf8Sql, const std::vector<DbValue>& params) override {
    const std::vector<Token> tokens = Scan(utf8Sql);
    int count = 0;
    const std::string sql = TranslateParameters(utf8Sql, tokens, &count);
    CheckCount(params, count);
    // Described before it runs: a change made through a query call could not
    // be answered with a table, and must not be done at all.
    Bound bound(params);
    Check(Result(PQprepare(conn_, "", sql.c_str(), count, bound.types.data())), PGRES_COMMAND_OK);
    const Result described = Check(Result(PQdescribePrepared(conn_, "")), PGRES_COMMAND_OK);
    if (PQnfields(described.get()) == 0)
      throw EDatabaseError("Not a query: the statement returns no columns");
    const Result r =
        Check(Result(PQexecPrepared(conn_, "", count, bound.values.data(), bound.lengths.data(), nullptr, 0)),
              PGRES_TUPLES_OK);
    return ToResult(utf8Sql, tokens, r.get());
  }

  int64_t Execute(const std::string& utf8Sql, const std::vector<DbValue>& params) override {
    int count = 0;
    const std::string sql = TranslateParameters(utf8Sql, Scan(utf8Sql), &count);
    CheckCount(params, count);
    Bound bound(params);
    const Result r(PQexecParams(conn_, sql.c_str(), count, bound.types.data(), bound.values.data(),
                                bound.lengths.data(), nullptr, 0));
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) Fail(r.get());
    const char* changed = PQcmdTuples(r.get());
    return changed != nullptr && *changed != '\0' ? std::strtoll(changed, nullptr, 10) : 0;
  }

  void ExecuteScript(const std::string& utf8Script) override {
    const Result r(PQexec(conn_, utf8Script.c_str()));
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY) Fail(r.get());
  }

  void Begin() override { ExecuteScript("BEGIN"); }

  void Commit() override {
    // The server answers COMMIT of a transaction that an error aborted with a
    // quiet ROLLBACK: that must not pass for a commit.
    const Result r(PQexec(conn_, "COMMIT"));
    if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
      // The connection broke with COMMIT sent or about to be: whether the
      // server committed before it went cannot be known from here.
      if (PQstatus(conn_) == CONNECTION_BAD)
        throw quorl::EDatabaseOutcomeUnknown("The connection was lost while committing: " + Message(r.get()));
      Fail(r.get());
    }
    if (std::strcmp(PQcmdStatus(r.get()), "COMMIT") != 0)
      throw EDatabaseError("The transaction was rolled back, nothing of it was kept");
  }

  void Rollback() override {
    if (PQtransactionStatus(conn_) != PQTRANS_IDLE) ExecuteScript("ROLLBACK");
  }

  quorl::SqlDialect Dialect() const override { return quorl::SqlDialect::kPostgres; }

  // Ready for another call: the connection is open as far as the client
  // library knows (a server gone while it lay idle shows at its next
  // statement) and no transaction is open, failed or of unknown state.
  bool Ready() const {
    return PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) == PQTRANS_IDLE;
  }

 private:
  // Parameters in text form; the server infers their types from the
  // statement, except numbers, which say what they are.
  struct Bound {
    explicit Bound(const std::vector<DbValue>& params) {
      texts.reserve(params.size());
      for (const DbValue& p : params) {
        Oid type = 0;
        if (std::holds_alternative<int64_t>(p)) {
          texts.push_back(std::to_string(std::get<int64_t>(p)));
          type = kInt8Oid;
        } else if (std::holds_alternative<double>(p)) {
          char buf[32];
          const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, std::get<double>(p));
          texts.emplace_back(buf, ec == std::errc() ? end : buf);
          type = kFloat8Oid;
        } else if (std::holds_alternative<std::string>(p)) {
          texts.push_back(std::get<std::string>(p));
        } else {
          texts.emplace_back();
        }
        types.push_back(type);
      }
      for (size_t i = 0; i < params.size(); ++i) {
        const bool null = quorl::IsNull(params[i]);
        values.push_back(null ? nullptr : texts[i].c_str());
        lengths.push_back(static_cast<int>(texts[i].size()));
      }
    }
    std::vector<std::string> texts;
    std::vector<Oid> types;
    std::vector<const char*> values;
    std::vector<int> lengths;
  };

  static void CheckCount(const std::vector<DbValue>& params, int expected) {
    if (static_cast<int>(params.size()) != expected)
      throw EDatabaseError("Wrong number of SQL parameters: " + std::to_string(params.size()) + " given, " +
                           std::to_string(expected) + " expected");
    for (const DbValue& p : params)
      if (std::holds_alternative<std::string>(p) && std::get<std::string>(p).find('\0') != std::string::npos)
        throw EDatabaseError("A text parameter holds a NUL byte");
  }

  Result Check(Result r, ExecStatusType expected) {
    if (!r || PQresultStatus(r.get()) != expected) Fail(r.get());
    return r;
  }

  // The error of r (or of the connection), in GBK, without the location's secrets.
  std::string Message(const PGresult* r) const {
    const char* primary = r != nullptr ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    std::string msg = primary != nullptr ? primary : Trimmed(PQerrorMessage(conn_));
    if (msg.empty()) msg = "unknown error";
    return quorl::ScrubSecrets(location_, quorl::Utf8ToGbk(msg));
  }

  [[noreturn]] void Fail(const PGresult* r) {
    if (IsConflict(r)) throw quorl::EDatabaseConflict(Message(r));
    throw EDatabaseError(Message(r));
  }

  static quorl::QueryResult ToResult(std::string_view sql, const std::vector<Token>& tokens,
                                     const PGresult* r) {
    const int n = PQnfields(r);
    const int rows = PQntuples(r);
    std::vector<bool> isColumn(static_cast<size_t>(n));
    for (int c = 0; c < n; ++c) isColumn[static_cast<size_t>(c)] = PQftable(r, c) != InvalidOid;
    std::vector<std::string> names = SelectListNames(sql, tokens, isColumn);
    quorl::QueryResult result;
    result.columns.reserve(static_cast<size_t>(n));
    for (int c = 0; c < n; ++c) {
      std::string name =
          static_cast<size_t>(c) < names.size() ? names[static_cast<size_t>(c)] : std::string();
      if (name.empty()) name = DeclaredSpelling(PQfname(r, c));
      result.columns.push_back({std::move(name), DeclaredType(r, c)});
    }
    result.rows.reserve(static_cast<size_t>(rows));
    for (int row = 0; row < rows; ++row) {
      std::vector<DbValue> cells;
      cells.reserve(static_cast<size_t>(n));
      for (int c = 0; c < n; ++c) cells.push_back(Cell(r, row, c));
      result.rows.push_back(std::move(cells));
    }
    return result;
  }

  std::string location_;
  PGconn* conn_ = nullptr;
};

bool IsUri(std::string_view s) {
  return quorl::StartsWithTextAscii(s, "postgresql://") || quorl::StartsWithTextAscii(s, "postgres://");
}

// Every keyword the client library knows, from the library itself.
const std::set<std::string>& ConnectionKeywords() {
  static const std::set<std::string> keywords = [] {
    std::set<std::string> k;
    PQconninfoOption* defaults = PQconndefaults();
    if (defaults != nullptr) {
      for (const PQconninfoOption* o = defaults; o->keyword != nullptr; ++o) k.insert(o->keyword);
      PQconninfoFree(defaults);
    }
    // Should the library fail to answer, these still mark a connection string.
    for (const char* key : {"host", "hostaddr", "port", "dbname", "user", "password", "passfile", "service"})
      k.insert(key);
    return k;
  }();
  return keywords;
}

std::string PercentDecoded(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    const auto hex = [](char c) {
      return std::isxdigit(static_cast<unsigned char>(c)) == 0 ? -1
             : std::isdigit(static_cast<unsigned char>(c)) != 0
                 ? c - '0'
                 : (std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    };
    if (s[i] == '%' && i + 2 < s.size() && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
      out += static_cast<char>(hex(s[i + 1]) * 16 + hex(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// Where passwords sit in a location: [begin, end) spans of the text as
// written, and for each the value the client library would read.
struct SecretSpan {
  size_t begin;
  size_t end;
  std::string value;
};

std::vector<SecretSpan> FindSecrets(const std::string& s) {
  std::vector<SecretSpan> out;
  if (IsUri(s)) {
    // The user part ends at an '@' before the first '/'; the library takes
    // the first '@', a password holding '@' unescaped reaches the last one.
    const size_t start = s.find("://") + 3;
    const size_t slash = std::min(s.find('/', start), s.size());
    const size_t firstAt = s.find('@', start);
    const size_t lastAt = s.rfind('@', slash == s.size() ? std::string::npos : slash);
    if (firstAt < slash && lastAt != std::string::npos && lastAt >= start) {
      const size_t colon = s.find(':', start);
      if (colon < lastAt) {
        out.push_back(
            {colon + 1, lastAt, PercentDecoded(std::string_view(s).substr(colon + 1, lastAt - colon - 1))});
        if (firstAt > colon && firstAt < lastAt)
          out.push_back({colon + 1, firstAt,
                         PercentDecoded(std::string_view(s).substr(colon + 1, firstAt - colon - 1))});
      }
    }
    // ?...&password=...&...
    for (size_t q = s.find('?', start); q != std::string::npos && q < s.size(); q = s.find('&', q + 1)) {
      const size_t b = q + 1;
      const size_t e = std::min(s.find('&', b), s.size());
      const size_t eq = s.find('=', b);
      if (eq < e && quorl::SameTextAscii(PercentDecoded(std::string_view(s).substr(b, eq - b)), "password"))
        out.push_back({eq + 1, e, PercentDecoded(std::string_view(s).substr(eq + 1, e - eq - 1))});
      if (e == s.size()) break;
    }
    return out;
  }
  // key = value pairs; a value is quoted ('...') or runs to a blank, and a
  // backslash takes the next character as it is in both.
  size_t i = 0;
  const auto blank = [&](size_t k) {
    return k < s.size() && std::isspace(static_cast<unsigned char>(s[k])) != 0;
  };
  while (i < s.size()) {
    while (blank(i)) ++i;
    const size_t keyBegin = i;
    while (i < s.size() && s[i] != '=' && !blank(i)) ++i;
    const std::string_view key = std::string_view(s).substr(keyBegin, i - keyBegin);
    while (blank(i)) ++i;
    if (i >= s.size() || s[i] != '=') {
      if (i == keyBegin) ++i;
      continue;
    }
    ++i;
    while (blank(i)) ++i;
    const size_t valueBegin = i;
    std::string value;
    if (i < s.size() && s[i] == '\'') {
      for (++i; i < s.size() && s[i] != '\''; ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) ++i;
        value += s[i];
      }
      if (i < s.size()) ++i;
    } else {
      for (; i < s.size() && !blank(i); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) ++i;
        value += s[i];
      }
    }
    if (quorl::SameTextAscii(key, "password")) out.push_back({valueBegin, i, value});
  }
  return out;
}

void ReplaceAll(std::string& text, const std::string& what, const std::string& with) {
  if (what.empty()) return;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
}

}  // namespace

namespace quorl {

detail::ConnectionState detail::PostgresConnectionState(DatabaseConnection& db) {
  const auto* pg = dynamic_cast<const PostgresConnection*>(&db);
  if (pg == nullptr) return ConnectionState::kNotEngine;
  return pg->Ready() ? ConnectionState::kReady : ConnectionState::kSpent;
}

bool IsPostgresLocation(const std::string& location) {
  const std::string_view s(location);
  if (IsUri(s)) return true;
  // A keyword must start a word, so a file named "myhost=1.db" stays a file.
  const std::set<std::string>& keywords = ConnectionKeywords();
  for (size_t i = 0; i < s.size(); ++i) {
    if (i > 0 && std::isspace(static_cast<unsigned char>(s[i - 1])) == 0) continue;
    size_t j = i;
    while (j < s.size() && (std::isalpha(static_cast<unsigned char>(s[j])) != 0 || s[j] == '_')) ++j;
    if (j == i) continue;
    size_t k = j;
    while (k < s.size() && std::isspace(static_cast<unsigned char>(s[k])) != 0) ++k;
    if (k < s.size() && s[k] == '=' && keywords.count(quorl::ToLowerAscii(s.substr(i, j - i))) != 0)
      return true;
  }
  return false;
}

std::string RedactLocation(const std::string& location) {
  if (!IsPostgresLocation(location)) return location;
  std::vector<SecretSpan> spans = FindSecrets(location);
  // Widest first, then from the end, so that earlier positions stay valid.
  std::sort(spans.begin(), spans.end(), [](const SecretSpan& a, const SecretSpan& b) {
    return a.begin != b.begin ? a.begin > b.begin : a.end > b.end;
  });
  std::string out = location;
  size_t limit = std::string::npos;
  for (const SecretSpan& span : spans) {
    if (span.end > limit) continue;  // inside a span already replaced
    out.replace(span.begin, span.end - span.begin, "***");
    limit = span.begin;
  }
  return out;
}

std::string ScrubSecrets(const std::string& location, const std::string& text) {
  std::string out = text;
  if (location.empty()) return out;
  ReplaceAll(out, location, RedactLocation(location));
  std::vector<std::string> secrets;
  for (const SecretSpan& span : FindSecrets(location)) {
    secrets.push_back(location.substr(span.begin, span.end - span.begin));
    secrets.push_back(span.value);
  }
  std::sort(secrets.begin(), secrets.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& secret : secrets) {
    if (secret.empty() || out.find(secret) == std::string::npos) continue;
    // Too short to tell from other words: the message goes, not the secret.
    if (secret.size() < 4) return "(message withheld: it would show the password)";
    ReplaceAll(out, secret, "***");
  }
  return out;
}

std::unique_ptr<DatabaseConnection> OpenPostgresDatabase(const std::string& location) {
  if (location.find('\0') != std::string::npos)
    throw EDatabaseError("Cannot open host database: the location holds a NUL byte");
  return std::make_unique<PostgresConnection>(location);
}

ServerState ProbePostgresDatabase(const std::string& location, const std::string& table, std::string* error) {
  try {
    std::unique_ptr<DatabaseConnection> db = OpenPostgresDatabase(location);
    const QueryResult r = db->Query("SELECT to_regclass(?) IS NOT NULL", {table});
    const bool has = !r.rows.empty() && std::holds_alternative<std::string>(r.rows[0][0]) &&
                     std::get<std::string>(r.rows[0][0]) == "t";
    return has ? ServerState::kHasTable : ServerState::kNoTable;
  } catch (const EDatabaseError& e) {
    if (error != nullptr) *error = e.Message();
    return ServerState::kUnreachable;
  }
}

}  // namespace quorl
