#include "sim/huitouke/SimStore.h"

#include <sqlite3.h>

#include <ctime>

namespace quorl::htksim {

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS htk_member (
  member_id INTEGER PRIMARY KEY,
  realname  TEXT NOT NULL DEFAULT '',
  username  TEXT NOT NULL DEFAULT '',
  password  TEXT NOT NULL DEFAULT '',
  mobile    TEXT NOT NULL DEFAULT '',
  email     TEXT NOT NULL DEFAULT '',
  gender    INTEGER NOT NULL DEFAULT 2,
  birthday  TEXT NOT NULL DEFAULT '',
  reg_date  TEXT NOT NULL DEFAULT '',
  tel       TEXT NOT NULL DEFAULT ''
);
CREATE INDEX IF NOT EXISTS htk_member_mobile ON htk_member (mobile);
CREATE TABLE IF NOT EXISTS htk_card (
  card_no       TEXT PRIMARY KEY,
  member_id     INTEGER NOT NULL REFERENCES htk_member (member_id),
  user_password TEXT NOT NULL DEFAULT '',
  balance_cents INTEGER NOT NULL DEFAULT 0,
  points        INTEGER NOT NULL DEFAULT 0,
  status        TEXT NOT NULL DEFAULT '正常',
  user_rank     REAL NOT NULL DEFAULT 1,
  rank_name     TEXT NOT NULL DEFAULT ''
);
CREATE INDEX IF NOT EXISTS htk_card_member ON htk_card (member_id);
CREATE TABLE IF NOT EXISTS htk_movement (
  id                  INTEGER PRIMARY KEY AUTOINCREMENT,
  card_no             TEXT NOT NULL,
  type                TEXT NOT NULL,
  saving_add_cents    INTEGER NOT NULL DEFAULT 0,
  saving_sub_cents    INTEGER NOT NULL DEFAULT 0,
  saving_reward_cents INTEGER NOT NULL DEFAULT 0,
  point_add           INTEGER NOT NULL DEFAULT 0,
  point_sub           INTEGER NOT NULL DEFAULT 0,
  bank_amount_cents   INTEGER NOT NULL DEFAULT 0,
  time                TEXT NOT NULL,
  emp_no              TEXT NOT NULL DEFAULT '',
  order_no            TEXT UNIQUE,
  store_id            TEXT NOT NULL DEFAULT ''
);
CREATE INDEX IF NOT EXISTS htk_movement_card ON htk_movement (card_no, time);
)sql";

constexpr const char* kSeedMembers = R"sql(
INSERT INTO htk_member (member_id, realname, username, password, mobile, email, gender, birthday, reg_date, tel) VALUES
  (1001, '陈晓明', 'chenxm', '123456', '13912345678', 'chenxm@example.com', 0, '1985-06-12', '2022-03-01 09:30:00', '021-62001234'),
  (1002, '林美玲', 'linml', '888888', '13600001111', 'linml@example.com', 1, '1990-11-02', '2023-01-15 14:00:00', ''),
  (1003, '欧阳俊杰', 'oyjj', '246810', '13700002222', 'ouyang@example.com', 0, '1978-02-28', '2021-07-20 18:45:00', '0571-88001122'),
  (1004, '司马静', 'smj', '135790', '15800003333', 'simajing@example.com', 2, '', '2024-02-29 11:11:11', ''),
  (1005, '爱新觉罗·玄烨', 'aixin', '112233', '18600004444', 'aixin@example.com', 0, '1954-05-04', '2020-10-01 08:00:00', '010-65001234');
INSERT INTO htk_card (card_no, member_id, user_password, balance_cents, points, status, user_rank, rank_name) VALUES
  ('8600000001', 1001, '123456', 50000, 1200, '正常', 3, '金卡会员'),
  ('8600000002', 1001, '654321', 12050, 80, '正常', 1, '普通会员'),
  ('8600000003', 1002, '888888', 8880, 300, '正常', 2, '银卡会员'),
  ('8600000004', 1003, '246810', 0, 0, '挂失', 1, '普通会员'),
  ('8600000005', 1005, '112233', 99999, 5000, '正常', 3.5, '钻石会员');
)sql";


class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
      throw StoreError(std::string("prepare failed: ") + sqlite3_errmsg(db));
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, const std::string& text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& Bind(int index, int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
  }
  // True while there is a row.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw StoreError(std::string("query failed: ") + sqlite3_errmsg(db_));
  }
  // Ready to run again with new bindings.
  void Reset() { sqlite3_reset(stmt_); }
  std::string Text(int col) const {
    const auto* p = sqlite3_column_text(stmt_, col);
    return p ? std::string(reinterpret_cast<const char*>(p), sqlite3_column_bytes(stmt_, col))
             : std::string();
  }
  int64_t Int(int col) const { return sqlite3_column_int64(stmt_, col); }
  double Real(int col) const { return sqlite3_column_double(stmt_, col); }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

constexpr const char* kMemberColumns =
    "member_id, realname, username, password, mobile, email, gender, birthday, reg_date, tel";

Member ReadMember(const Statement& s) {
  Member m;
  m.memberId = s.Int(0);
  m.realname = s.Text(1);
  m.username = s.Text(2);
  m.password = s.Text(3);
  m.mobile = s.Text(4);
  m.email = s.Text(5);
  m.gender = s.Int(6);
  m.birthday = s.Text(7);
  m.regDate = s.Text(8);
  m.tel = s.Text(9);
  return m;
}

constexpr const char* kCardColumns =
    "card_no, member_id, user_password, balance_cents, points, status, user_rank, rank_name";

Card ReadCard(const Statement& s) {
  Card c;
  c.cardNo = s.Text(0);
  c.memberId = s.Int(1);
  c.password = s.Text(2);
  c.balanceCents = s.Int(3);
  c.points = s.Int(4);
  c.status = s.Text(5);
  c.rank = s.Real(6);
  c.rankName = s.Text(7);
  return c;
}

std::optional<Member> OneMember(sqlite3* db, const std::string& where, const std::string& value) {
  Statement s(db, ("SELECT " + std::string(kMemberColumns) + " FROM htk_member WHERE " + where +
                   " ORDER BY member_id LIMIT 1")
                      .c_str());
  s.Bind(1, value);
  if (!s.Step()) return std::nullopt;
  return ReadMember(s);
}

std::string SeedTime(int index) {
  // Every 36 hours from 2024-01-02 09:00:00, computed in UTC so the seed is
  // the same on every machine.
  std::tm base{};
  base.tm_year = 2024 - 1900;
  base.tm_mon = 0;
  base.tm_mday = 2;
  base.tm_hour = 9;
  const std::time_t t = timegm(&base) + static_cast<std::time_t>(index) * 36 * 3600 + index * 7 * 60;
  std::tm when{};
  gmtime_r(&t, &when);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &when);
  return buf;
}

}  // namespace

SimStore::SimStore(const std::string& path) {
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw StoreError("cannot open database " + path + ": " + message);
  }
  sqlite3_busy_timeout(db_, 5000);
  try {
    Exec(kSchema);
  } catch (...) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw;
  }
}

SimStore::~SimStore() { sqlite3_close(db_); }

void SimStore::Exec(const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    throw StoreError(message);
  }
}

void SimStore::Seed(int movements) {
  std::lock_guard lock(mutex_);
  {
    Statement count(db_, "SELECT COUNT(*) FROM htk_member");
    if (count.Step() && count.Int(0) > 0) return;
  }
  Exec("BEGIN");
  try {
    Exec(kSeedMembers);
    static const char* const kOperators[] = {"1001", "1002", "2001", "0001", "9999"};
    // One statement for every row: a large seed is made in well under a second.
    Statement s(db_,
                "INSERT INTO htk_movement (card_no, type, saving_add_cents, saving_sub_cents, "
                "saving_reward_cents, point_add, point_sub, bank_amount_cents, time, emp_no) "
                "VALUES ('8600000001', ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    for (int i = 0; i < movements; ++i) {
      s.Reset();
      // A top-up every fifth record, a points exchange every seventh, else a
      // ticket purchase paid from the card.
      int64_t add = 0, sub = 0, reward = 0, pointAdd = 0, pointSub = 0, bank = 0;
      std::string type = "2";
      if (i % 5 == 0) {
        type = "1";
        add = 20000;
        reward = 2000;
        bank = 20000;
      } else if (i % 7 == 0) {
        type = "3";
        pointSub = 100;
      } else {
        sub = 3500 + (i % 4) * 1000;
        pointAdd = sub / 100;
      }
      s.Bind(1, type).Bind(2, add).Bind(3, sub).Bind(4, reward).Bind(5, pointAdd).Bind(6, pointSub);
      s.Bind(7, bank).Bind(8, SeedTime(i)).Bind(9, std::string(kOperators[i % 5]));
      s.Step();
    }
    Exec("COMMIT");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

std::optional<Member> SimStore::MemberByMobile(const std::string& mobile) {
  std::lock_guard lock(mutex_);
  return OneMember(db_, "mobile = ?1", mobile);
}

std::optional<Member> SimStore::MemberByEmail(const std::string& email) {
  std::lock_guard lock(mutex_);
  return OneMember(db_, "email = ?1 COLLATE NOCASE AND email <> ''", email);
}

std::optional<Member> SimStore::MemberById(int64_t memberId) {
  std::lock_guard lock(mutex_);
  return OneMember(db_, "member_id = ?1", std::to_string(memberId));
}

std::optional<Card> SimStore::CardByNo(const std::string& cardNo) {
  std::lock_guard lock(mutex_);
  Statement s(db_, (std::string("SELECT ") + kCardColumns + " FROM htk_card WHERE card_no = ?1").c_str());
  s.Bind(1, cardNo);
  if (!s.Step()) return std::nullopt;
  return ReadCard(s);
}

std::vector<Card> SimStore::CardsOf(int64_t memberId) {
  std::lock_guard lock(mutex_);
  Statement s(db_, (std::string("SELECT ") + kCardColumns +
                    " FROM htk_card WHERE member_id = ?1 ORDER BY card_no")
                       .c_str());
  s.Bind(1, memberId);
  std::vector<Card> cards;
  while (s.Step()) cards.push_back(ReadCard(s));
  return cards;
}

ConsumeResult SimStore::Consume(const std::string& cardNo, const std::string& orderNo,
                                int64_t moneyCents, int64_t points, const std::string& empNo,
                                const std::string& storeId, const std::string& time) {
  std::lock_guard lock(mutex_);
  ConsumeResult result;
  Exec("BEGIN IMMEDIATE");
  try {
    Statement card(db_, "SELECT balance_cents, points, status FROM htk_card WHERE card_no = ?1");
    card.Bind(1, cardNo);
    if (!card.Step()) {
      Exec("ROLLBACK");
      return result;
    }
    result.balanceCents = card.Int(0);
    result.points = card.Int(1);
    const std::string status = card.Text(2);

    Statement known(db_, "SELECT 1 FROM htk_movement WHERE order_no = ?1");
    known.Bind(1, orderNo);
    if (known.Step()) {
      result.outcome = ConsumeOutcome::kAlreadyPosted;
    } else if (status != "正常") {
      result.outcome = ConsumeOutcome::kCardNotUsable;
    } else if (result.balanceCents < moneyCents) {
      result.outcome = ConsumeOutcome::kInsufficientBalance;
    } else {
      Statement charge(db_,
                       "UPDATE htk_card SET balance_cents = balance_cents - ?2, points = points + ?3 "
                       "WHERE card_no = ?1");
      charge.Bind(1, cardNo).Bind(2, moneyCents).Bind(3, points);
      charge.Step();
      Statement move(db_,
                     "INSERT INTO htk_movement (card_no, type, saving_sub_cents, point_add, time, "
                     "emp_no, order_no, store_id) VALUES (?1, '2', ?2, ?3, ?4, ?5, ?6, ?7)");
      move.Bind(1, cardNo).Bind(2, moneyCents).Bind(3, points).Bind(4, time).Bind(5, empNo);
      move.Bind(6, orderNo).Bind(7, storeId);
      move.Step();
      result.balanceCents -= moneyCents;
      result.points += points;
      result.outcome = ConsumeOutcome::kCharged;
    }
    Exec(result.outcome == ConsumeOutcome::kCharged ? "COMMIT" : "ROLLBACK");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  return result;
}

MovementPage SimStore::Movements(const std::string& cardNo, const std::string& type,
                                 const std::string& sdate, const std::string& edate, int64_t page,
                                 int64_t perPage) {
  std::lock_guard lock(mutex_);
  const std::string where =
      " FROM htk_movement WHERE card_no = ?1 AND (?2 = '' OR ?2 = '0' OR type = ?2)"
      " AND (?3 = '' OR time >= ?3) AND (?4 = '' OR time <= ?4)";
  MovementPage result;
  {
    Statement count(db_, ("SELECT COUNT(*)" + where).c_str());
    count.Bind(1, cardNo).Bind(2, type).Bind(3, sdate).Bind(4, edate);
    if (count.Step()) result.count = count.Int(0);
  }
  Statement s(db_, ("SELECT card_no, type, saving_add_cents, saving_sub_cents, saving_reward_cents,"
                    " point_add, point_sub, bank_amount_cents, time, emp_no" +
                    where + " ORDER BY time, id LIMIT ?5 OFFSET ?6")
                       .c_str());
  s.Bind(1, cardNo).Bind(2, type).Bind(3, sdate).Bind(4, edate);
  s.Bind(5, perPage).Bind(6, (page - 1) * perPage);
  while (s.Step()) {
    Movement m;
    m.cardNo = s.Text(0);
    m.type = s.Text(1);
    m.savingAddCents = s.Int(2);
    m.savingSubCents = s.Int(3);
    m.savingRewardCents = s.Int(4);
    m.pointAdd = s.Int(5);
    m.pointSub = s.Int(6);
    m.bankAmountCents = s.Int(7);
    m.time = s.Text(8);
    m.empNo = s.Text(9);
    result.rows.push_back(std::move(m));
  }
  return result;
}

}  // namespace quorl::htksim
