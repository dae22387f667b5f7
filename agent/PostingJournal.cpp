#include "agent/PostingJournal.h"

#include <ctime>
#include <utility>

#include "host/Database.h"
#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"

namespace quorl {

namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS POSTING_JOURNAL ("
    " ID INTEGER PRIMARY KEY AUTOINCREMENT,"
    " STARTED_AT TEXT NOT NULL,"
    " FINISHED_AT TEXT,"
    " OPERATION TEXT NOT NULL,"
    " BACKEND TEXT NOT NULL,"
    " ORDER_CODE TEXT, MEMBER TEXT, CARD_NO TEXT, AMOUNT TEXT, POINTS TEXT,"
    " OPERATOR_CODE TEXT,"
    " STATE TEXT NOT NULL,"
    " ERROR TEXT,"
    " SETTLEMENT TEXT, SETTLED_AT TEXT, SETTLE_NOTE TEXT);"
    "CREATE INDEX IF NOT EXISTS POSTING_JOURNAL_STARTED ON POSTING_JOURNAL (STARTED_AT)";

constexpr const char* kColumns =
    "ID, STARTED_AT, FINISHED_AT, OPERATION, BACKEND, ORDER_CODE, MEMBER, CARD_NO, AMOUNT, POINTS, "
    "OPERATOR_CODE, STATE, ERROR, SETTLEMENT, SETTLED_AT, SETTLE_NOTE";

const std::pair<JournalState, const char*> kStateNames[] = {
    {JournalState::kSending, "sending"},
    {JournalState::kAccepted, "accepted"},
    {JournalState::kRefused, "refused"},
    {JournalState::kFailedUncertain, "failed-uncertain"},
    {JournalState::kFailedNotSent, "failed-not-sent"},
};
const std::pair<JournalSettlement, const char*> kSettlementNames[] = {
    {JournalSettlement::kNone, ""},
    {JournalSettlement::kCharged, "charged"},
    {JournalSettlement::kNotCharged, "not-charged"},
    {JournalSettlement::kUnsettled, "uncertain"},
};
const std::pair<JournalBackend, const char*> kBackendNames[] = {
    {JournalBackend::kWebService, "webservice"},
    {JournalBackend::kHostDatabase, "hostdb"},
    {JournalBackend::kPlatform, "platform"},
};

template <class Enum, size_t N>
const char* NameOf(const std::pair<Enum, const char*> (&names)[N], Enum value) {
  for (const auto& [v, name] : names)
    if (v == value) return name;
  return "";
}

template <class Enum, size_t N>
std::optional<Enum> ValueOf(const std::pair<Enum, const char*> (&names)[N], const std::string& name) {
  for (const auto& [v, n] : names)
    if (name == n) return v;
  return std::nullopt;
}

DbValue Stored(const std::string& gbk) { return GbkToUtf8(gbk); }

std::string Read(const DbValue& v) {
  if (std::holds_alternative<std::string>(v)) return Utf8ToGbk(std::get<std::string>(v));
  if (std::holds_alternative<int64_t>(v)) return std::to_string(std::get<int64_t>(v));
  return std::string();
}

JournalEntry EntryOf(const std::vector<DbValue>& row) {
  JournalEntry e;
  e.id = std::holds_alternative<int64_t>(row[0]) ? std::get<int64_t>(row[0]) : 0;
  e.startedAt = Read(row[1]);
  e.finishedAt = Read(row[2]);
  e.operation = Read(row[3]);
  e.backend = ValueOf(kBackendNames, Read(row[4])).value_or(JournalBackend::kWebService);
  e.orderCode = Read(row[5]);
  e.member = Read(row[6]);
  e.cardNo = Read(row[7]);
  e.amount = Read(row[8]);
  e.points = Read(row[9]);
  e.operatorCode = Read(row[10]);
  // An unknown word (a newer program wrote it) is taken as the least safe state.
  e.state = ValueOf(kStateNames, Read(row[11])).value_or(JournalState::kFailedUncertain);
  e.error = Read(row[12]);
  e.settlement = ValueOf(kSettlementNames, Read(row[13])).value_or(JournalSettlement::kNone);
  e.settledAt = Read(row[14]);
  e.settleNote = Read(row[15]);
  return e;
}

}  // namespace

const char* JournalStateName(JournalState state) { return NameOf(kStateNames, state); }
std::optional<JournalState> ParseJournalState(const std::string& name) { return ValueOf(kStateNames, name); }
const char* JournalSettlementName(JournalSettlement settlement) {
  return NameOf(kSettlementNames, settlement);
}
const char* JournalBackendName(JournalBackend backend) { return NameOf(kBackendNames, backend); }

std::string JournalTimeNow() {
  const std::time_t local = static_cast<std::time_t>(CurrentClock().LocalSecondsSinceEpoch());
  std::tm tm{};
  // The clock already holds local time; gmtime only splits it.
  gmtime_r(&local, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

PostingJournal::PostingJournal(const std::string& path) : db_(OpenSqliteDatabase(path)) {
  db_->ExecuteScript(kSchema);
}

PostingJournal::~PostingJournal() = default;

std::string PostingJournal::DefaultPath() { return ApplicationDirectory() + kPostingJournalFileName; }

int64_t PostingJournal::Begin(const JournalEntry& e) {
  const QueryResult r = db_->Query(
      "INSERT INTO POSTING_JOURNAL (STARTED_AT, OPERATION, BACKEND, ORDER_CODE, MEMBER, CARD_NO, AMOUNT, "
      "POINTS, OPERATOR_CODE, STATE) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING ID",
      {Stored(JournalTimeNow()), Stored(e.operation), std::string(JournalBackendName(e.backend)),
       Stored(e.orderCode), Stored(e.member), Stored(e.cardNo), Stored(e.amount), Stored(e.points),
       Stored(e.operatorCode), std::string(JournalStateName(JournalState::kSending))});
  if (r.rows.empty() || !std::holds_alternative<int64_t>(r.rows[0][0]))
    throw EDatabaseError("posting journal: no id for the new entry");
  return std::get<int64_t>(r.rows[0][0]);
}

void PostingJournal::Finish(int64_t id, JournalState state, const std::string& error) {
  db_->Execute("UPDATE POSTING_JOURNAL SET STATE = ?, ERROR = ?, FINISHED_AT = ? WHERE ID = ?",
               {std::string(JournalStateName(state)), Stored(error), Stored(JournalTimeNow()), id});
}

void PostingJournal::Settle(int64_t id, JournalSettlement settlement, const std::string& note) {
  db_->Execute("UPDATE POSTING_JOURNAL SET SETTLEMENT = ?, SETTLE_NOTE = ?, SETTLED_AT = ? WHERE ID = ?",
               {std::string(JournalSettlementName(settlement)), Stored(note), Stored(JournalTimeNow()), id});
}

std::vector<JournalEntry> PostingJournal::List(const std::string& since, std::optional<JournalState> state) {
  std::string sql = std::string("SELECT ") + kColumns + " FROM POSTING_JOURNAL WHERE STARTED_AT >= ?";
  std::vector<DbValue> params{Stored(since)};
  if (state) {
    sql += " AND STATE = ?";
    params.emplace_back(std::string(JournalStateName(*state)));
  }
  sql += " ORDER BY ID";
  std::vector<JournalEntry> out;
  for (const auto& row : db_->Query(sql, params).rows) out.push_back(EntryOf(row));
  return out;
}

}  // namespace quorl
