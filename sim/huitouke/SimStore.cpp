#include "sim/huitouke/SimStore.h"

#include "sim/common/ServiceDatabase.h"

namespace quorl::htksim {

namespace {

using simcommon::CellInt;
using simcommon::CellReal;
using simcommon::CellText;

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

constexpr const char* kMemberColumns =
    "member_id, realname, username, password, mobile, email, gender, birthday, reg_date, tel";

Member ReadMember(const QueryResult& r, size_t i) {
  Member m;
  m.memberId = CellInt(r, i, "member_id");
  m.realname = CellText(r, i, "realname");
  m.username = CellText(r, i, "username");
  m.password = CellText(r, i, "password");
  m.mobile = CellText(r, i, "mobile");
  m.email = CellText(r, i, "email");
  m.gender = CellInt(r, i, "gender");
  m.birthday = CellText(r, i, "birthday");
  m.regDate = CellText(r, i, "reg_date");
  m.tel = CellText(r, i, "tel");
  return m;
}

constexpr const char* kCardColumns =
    "card_no, member_id, user_password, balance_cents, points, status, user_rank, rank_name";

Card ReadCard(const QueryResult& r, size_t i) {
  Card c;
  c.cardNo = CellText(r, i, "card_no");
  c.memberId = CellInt(r, i, "member_id");
  c.password = CellText(r, i, "user_password");
  c.balanceCents = CellInt(r, i, "balance_cents");
  c.points = CellInt(r, i, "points");
  c.status = CellText(r, i, "status");
  c.rank = CellReal(r, i, "user_rank");
  c.rankName = CellText(r, i, "rank_name");
  return c;
}

std::optional<Member> OneMember(DatabaseConnection& db, const std::string& where, DbValue value) {
  const QueryResult r = db.Query("SELECT " + std::string(kMemberColumns) + " FROM htk_member WHERE " + where +
                                     " ORDER BY member_id LIMIT 1",
                                 {std::move(value)});
  if (r.rows.empty()) return std::nullopt;
  return ReadMember(r, 0);
}

// Movements of card 8600000001, made by SQLite in one statement so a large
// seed is quick: every 36 hours and 7 minutes from 2024-01-02 09:00:00 (no
// time zone: the same on every machine); a top-up every fifth record, a
// points exchange every seventh, else a ticket purchase paid from the card.
constexpr const char* kSeedMovementsSql = R"sql(
WITH RECURSIVE seq(i) AS (SELECT 0 WHERE ?1 > 0 UNION ALL SELECT i + 1 FROM seq WHERE i + 1 < ?1),
kind(i, topUp, exchange, price) AS (
  SELECT i, i % 5 = 0, i % 5 <> 0 AND i % 7 = 0, 3500 + (i % 4) * 1000 FROM seq)
INSERT INTO htk_movement (card_no, type, saving_add_cents, saving_sub_cents, saving_reward_cents,
                          point_add, point_sub, bank_amount_cents, time, emp_no)
SELECT '8600000001',
       CASE WHEN topUp THEN '1' WHEN exchange THEN '3' ELSE '2' END,
       CASE WHEN topUp THEN 20000 ELSE 0 END,
       CASE WHEN topUp OR exchange THEN 0 ELSE price END,
       CASE WHEN topUp THEN 2000 ELSE 0 END,
       CASE WHEN topUp OR exchange THEN 0 ELSE price / 100 END,
       CASE WHEN exchange THEN 100 ELSE 0 END,
       CASE WHEN topUp THEN 20000 ELSE 0 END,
       strftime('%Y-%m-%d %H:%M:%S', '2024-01-02 09:00:00', '+' || (i * (36 * 3600 + 7 * 60)) || ' seconds'),
       CASE i % 5 WHEN 0 THEN '1001' WHEN 1 THEN '1002' WHEN 2 THEN '2001' WHEN 3 THEN '0001' ELSE '9999' END
FROM kind ORDER BY i
)sql";

}  // namespace

SimStore::SimStore(const std::string& path) : db_(simcommon::OpenServiceDatabase(path, kSchema)) {}

SimStore::~SimStore() = default;

void SimStore::Seed(int movements) {
  std::lock_guard lock(mutex_);
  if (CellInt(db_->Query("SELECT COUNT(*) AS n FROM htk_member"), 0, "n") > 0) return;
  Transaction t(*db_);
  db_->ExecuteScript(kSeedMembers);
  db_->Execute(kSeedMovementsSql, {static_cast<int64_t>(movements)});
  t.Commit();
}

std::optional<Member> SimStore::MemberByMobile(const std::string& mobile) {
  std::lock_guard lock(mutex_);
  return OneMember(*db_, "mobile = ?1", mobile);
}

std::optional<Member> SimStore::MemberByEmail(const std::string& email) {
  std::lock_guard lock(mutex_);
  return OneMember(*db_, "email = ?1 COLLATE NOCASE AND email <> ''", email);
}

std::optional<Member> SimStore::MemberById(int64_t memberId) {
  std::lock_guard lock(mutex_);
  return OneMember(*db_, "member_id = ?1", memberId);
}

std::optional<Card> SimStore::CardByNo(const std::string& cardNo) {
  std::lock_guard lock(mutex_);
  const QueryResult r =
      db_->Query(std::string("SELECT ") + kCardColumns + " FROM htk_card WHERE card_no = ?1", {cardNo});
  if (r.rows.empty()) return std::nullopt;
  return ReadCard(r, 0);
}

std::vector<Card> SimStore::CardsOf(int64_t memberId) {
  std::lock_guard lock(mutex_);
  const QueryResult r = db_->Query(
      std::string("SELECT ") + kCardColumns + " FROM htk_card WHERE member_id = ?1 ORDER BY card_no",
      {memberId});
  std::vector<Card> cards;
  for (size_t i = 0; i < r.rows.size(); ++i) cards.push_back(ReadCard(r, i));
  return cards;
}

ConsumeResult SimStore::Consume(const std::string& cardNo, const std::string& orderNo, int64_t moneyCents,
                                int64_t points, const std::string& empNo, const std::string& storeId,
                                const std::string& time) {
  std::lock_guard lock(mutex_);
  ConsumeResult result;
  Transaction t(*db_);  // rolled back unless the card is charged
  const QueryResult card =
      db_->Query("SELECT balance_cents, points, status FROM htk_card WHERE card_no = ?1", {cardNo});
  if (card.rows.empty()) return result;
  result.balanceCents = CellInt(card, 0, "balance_cents");
  result.points = CellInt(card, 0, "points");
  const std::string status = CellText(card, 0, "status");

  // A stored order is checked before the card's state: a repeat of what was
  // charged stays accepted after the card is blocked or spent.
  const QueryResult known = db_->Query(
      "SELECT card_no, saving_sub_cents, point_add FROM htk_movement WHERE order_no = ?1", {orderNo});
  if (!known.rows.empty()) {
    const bool same = CellText(known, 0, "card_no") == cardNo &&
                      CellInt(known, 0, "saving_sub_cents") == moneyCents &&
                      CellInt(known, 0, "point_add") == points;
    result.outcome = same ? ConsumeOutcome::kAlreadyPosted : ConsumeOutcome::kOrderConflict;
  } else if (status != "正常") {
    result.outcome = ConsumeOutcome::kCardNotUsable;
  } else if (result.balanceCents < moneyCents) {
    result.outcome = ConsumeOutcome::kInsufficientBalance;
  } else {
    db_->Execute(
        "UPDATE htk_card SET balance_cents = balance_cents - ?2, points = points + ?3 WHERE card_no = ?1",
        {cardNo, moneyCents, points});
    db_->Execute(
        "INSERT INTO htk_movement (card_no, type, saving_sub_cents, point_add, time, emp_no, order_no, "
        "store_id)"
        " VALUES (?1, '2', ?2, ?3, ?4, ?5, ?6, ?7)",
        {cardNo, moneyCents, points, time, empNo, orderNo, storeId});
    t.Commit();
    result.balanceCents -= moneyCents;
    result.points += points;
    result.outcome = ConsumeOutcome::kCharged;
  }
  return result;
}

MovementPage SimStore::Movements(const std::string& cardNo, const std::string& type, const std::string& sdate,
                                 const std::string& edate, int64_t page, int64_t perPage) {
  std::lock_guard lock(mutex_);
  const std::string where =
      " FROM htk_movement WHERE card_no = ?1 AND (?2 = '' OR ?2 = '0' OR type = ?2)"
      " AND (?3 = '' OR time >= ?3) AND (?4 = '' OR time <= ?4)";
  MovementPage result;
  const std::vector<DbValue> filter = {cardNo, type, sdate, edate};
  result.count = CellInt(db_->Query("SELECT COUNT(*) AS n" + where, filter), 0, "n");
  std::vector<DbValue> paged = filter;
  paged.emplace_back(perPage);
  paged.emplace_back((page - 1) * perPage);
  const QueryResult r = db_->Query(
      "SELECT card_no, type, saving_add_cents, saving_sub_cents, saving_reward_cents,"
      " point_add, point_sub, bank_amount_cents, time, emp_no" +
          where + " ORDER BY time, id LIMIT ?5 OFFSET ?6",
      paged);
  for (size_t i = 0; i < r.rows.size(); ++i) {
    Movement m;
    m.cardNo = CellText(r, i, "card_no");
    m.type = CellText(r, i, "type");
    m.savingAddCents = CellInt(r, i, "saving_add_cents");
    m.savingSubCents = CellInt(r, i, "saving_sub_cents");
    m.savingRewardCents = CellInt(r, i, "saving_reward_cents");
    m.pointAdd = CellInt(r, i, "point_add");
    m.pointSub = CellInt(r, i, "point_sub");
    m.bankAmountCents = CellInt(r, i, "bank_amount_cents");
    m.time = CellText(r, i, "time");
    m.empNo = CellText(r, i, "emp_no");
    result.rows.push_back(std::move(m));
  }
  return result;
}

}  // namespace quorl::htksim
