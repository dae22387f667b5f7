#include "host/MemberAccount.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "host/DBPipe.h"
#include "host/Database.h"
#include "host/KeptConnections.h"
#include "host/QuorlContext.h"
#include "platform/ClientDataSet.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace {

using quorl::DbValue;

// Card and member states that may pay (see host/schema.sql).
constexpr const char* kCardNormal = "2";
constexpr const char* kMemberValid = "1";
// Larger amounts (in cents) and points are taken as a malformed packet, not
// as a purchase: 10,000,000,000.00 yuan, 10^12 points.
constexpr int64_t kMaxAmountCents = 1'000'000'000'000;
constexpr int64_t kMaxPoints = 1'000'000'000'000;
// Column sizes of host/schema.sql, in characters: PostgreSQL counts a
// VARCHAR's size in characters and refuses longer text, SQLite keeps
// anything, so the service checks them itself and both engines answer alike.
constexpr size_t kOrderCodeChars = 40;
constexpr size_t kCardNoChars = 32;
constexpr size_t kOperatorChars = 12;

// The member-account columns, one row per member card.
constexpr const char* kMemberSelect =
    "SELECT m.MEMBER_ID AS MEMBER_ID, c.MEMBER_CARD_NO AS MEMBER_CARD_NO, m.STATUS AS STATUS, "
    "m.FULL_NAME AS FULL_NAME, m.MEMBER_CLASS_ID AS MEMBER_CLASS_ID, "
    "mc.MEMBER_CLASS_NAME AS MEMBER_CLASS_NAME, c.MEMBER_CARD_CLASS_ID AS MEMBER_CARD_CLASS_ID, "
    "cc.MEMBER_CARD_CLASS_NAME AS MEMBER_CARD_CLASS_NAME, m.CERTIFICATE_TYPE AS Certificate_Type, "
    "m.ID_NO AS id_no, m.TEL_NO AS tel_no, m.MOBILE_NO AS mobile_no, "
    "m.CONTACT_ADDRESS AS contact_address, m.REGISTER_EMAIL AS register_email, "
    "c.BALANCE_CENTS / 100.0 AS balance, c.PAY_PASSWORD AS pay_password, "
    "m.GROUP_CODE AS group_code, c.CARD_STATUS AS cardstatus, cc.RECHARGE_RATE AS recharge_rate, "
    "c.POINTS AS Points, cc.IS_ONE_CARD AS is_one_card, "
    "mc.POINTS_REWARD_RATE AS pointsrewardrate, c.CONSUME_CENTS / 100.0 AS consume_money "
    "FROM QUORL_MEMBER m "
    "JOIN QUORL_MEMBER_CARD c ON c.MEMBER_ID = m.MEMBER_ID "
    "LEFT JOIN QUORL_MEMBER_CLASS mc ON mc.MEMBER_CLASS_ID = m.MEMBER_CLASS_ID "
    "LEFT JOIN QUORL_CARD_CLASS cc ON cc.MEMBER_CARD_CLASS_ID = c.MEMBER_CARD_CLASS_ID "
    "WHERE 1 = 1";

std::unique_ptr<quorl::DatabaseConnection> OpenFromContext(const std::string& gbkContext) {
  const std::string location = quorl::ParseContextString(gbkContext).databaseLocation;
  if (location.empty()) throw EDatabaseError("No host database configured");
  // The service object lives for one call; the connection outlives it.
  return quorl::detail::TakeConnection(location);
}

// One consumption to post; texts in UTF-8.
struct Consumption {
  std::string orderCode;
  std::string cardNo;
  std::optional<int64_t> memberId;
  int64_t amountCents = 0;
  int64_t points = 0;
};

bool ParseWhole(const std::string& text, int64_t& out) {
  const char* b = text.data();
  const char* e = b + text.size();
  auto [p, ec] = std::from_chars(b, e, out);
  return ec == std::errc() && p == e && !text.empty();
}

// Characters of UTF-8 text, as PostgreSQL counts a VARCHAR's size.
size_t Utf8Chars(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// Text the database can store as it is: within `chars` characters and
// without NUL, which PostgreSQL refuses in text and SQLite would keep.
bool Storable(const std::string& utf8, size_t chars) {
  return Utf8Chars(utf8) <= chars && utf8.find('\0') == std::string::npos;
}

// Reads a decimal number exactly ("12", "12.50", "1.000", "1E-5", "-3")
// and returns it times 10^scale, or nullopt when that is not a whole number
// (a fraction of a cent at scale 2) or lies beyond `limit` either way.
// Never goes through a double: 1.005 must not become 1.00 or 1.01 by
// binary accident.
std::optional<int64_t> ParseScaled(const std::string& text, int scale, int64_t limit) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::string digits;
  int exponent = 0;  // value = digits * 10^exponent
  bool any = false, point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      any = true;
      if (!digits.empty() || c != '0') digits += c;
      if (point) --exponent;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!any) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    int e = 0;
    const char* b = text.data() + i + 1;
    if (b < text.data() + text.size() && *b == '+') ++b;
    const auto [p, ec] = std::from_chars(b, text.data() + text.size(), e);
    if (ec != std::errc() || p != text.data() + text.size() || e < -1000 || e > 1000) return std::nullopt;
    exponent += e;
    i = text.size();
  }
  if (i != text.size()) return std::nullopt;
  exponent += scale;
  // Digits below the unit must all be zeros.
  while (exponent < 0) {
    if (digits.empty()) break;
    if (digits.back() != '0') return std::nullopt;
    digits.pop_back();
    ++exponent;
  }
  if (digits.empty()) return int64_t{0};
  if (digits.size() + static_cast<size_t>(exponent) > 18) return std::nullopt;
  int64_t v = 0;
  for (char c : digits) v = v * 10 + (c - '0');
  for (int k = 0; k < exponent; ++k) v *= 10;
  if (v > limit) return std::nullopt;
  return negative ? -v : v;
}

// A field's text (a float field gives its shortest decimal form, "1.005";
// a text field whatever was written), trimmed; empty for null.
std::string FieldText(TField* f) {
  if (f == nullptr || f->IsNull()) return std::string();
  return quorl::Trim(f->AsString());
}

// Reads the consumption packet. Returns false when it is malformed: no
// packet, a missing ORDER_CODE or AMOUNT field, no member field, a row
// without order code, member or valid amount, a text longer than its column,
// or one order code twice (two rows of one order would be charged once and
// the second lost).
bool ReadConsumptions(const Variant& data, std::vector<Consumption>& out) {
  if (data.Type() != VarType::Packet) return false;
  TClientDataSet ds;
  try {
    ds.SetData(data);
  } catch (const Exception&) {
    return false;
  }
  TField* order = ds.FindField("ORDER_CODE");
  TField* card = ds.FindField("MEMBER_CARD_NO");
  TField* member = ds.FindField("MEMBER_ID");
  TField* amount = ds.FindField("AMOUNT");
  TField* points = ds.FindField("POINTS");
  if (order == nullptr || amount == nullptr || (card == nullptr && member == nullptr)) return false;
  if (ds.IsEmpty()) return false;

  std::set<std::string> seen;
  for (ds.First(); !ds.Eof(); ds.Next()) {
    Consumption c;
    c.orderCode = quorl::GbkToUtf8(FieldText(order));
    if (c.orderCode.empty() || !Storable(c.orderCode, kOrderCodeChars) || !seen.insert(c.orderCode).second)
      return false;
    c.cardNo = quorl::GbkToUtf8(FieldText(card));
    if (!Storable(c.cardNo, kCardNoChars)) return false;
    if (const std::string id = FieldText(member); !id.empty()) {
      int64_t v = 0;
      if (!ParseWhole(id, v)) return false;
      c.memberId = v;
    }
    if (c.cardNo.empty() && !c.memberId) return false;

    const std::string amountText = FieldText(amount);
    const std::optional<int64_t> cents = ParseScaled(amountText, 2, kMaxAmountCents);
    if (!cents || amountText[0] == '-') return false;
    c.amountCents = *cents;
    if (const std::string p = FieldText(points); !p.empty()) {
      const std::optional<int64_t> whole = ParseScaled(p, 0, kMaxPoints);
      if (!whole) return false;
      c.points = *whole;
    }
    out.push_back(std::move(c));
  }
  return true;
}

// Posted: charged now. AlreadyPosted: the very same consumption was stored
// before. Refused: nothing to charge, or another consumption holds the code.
enum class Outcome { Posted, AlreadyPosted, Refused };

std::string TextOf(const DbValue& v) {
  if (std::holds_alternative<std::string>(v)) return std::get<std::string>(v);
  if (std::holds_alternative<int64_t>(v)) return std::to_string(std::get<int64_t>(v));
  return std::string();
}

int64_t IntOf(const DbValue& v) {
  if (std::holds_alternative<int64_t>(v)) return std::get<int64_t>(v);
  if (std::holds_alternative<double>(v)) return static_cast<int64_t>(std::get<double>(v));
  return 0;
}

constexpr const char* kStoredQuery =
    "SELECT MEMBER_CARD_NO, MEMBER_ID, AMOUNT_CENTS, POINTS, OPERATOR_CODE, POSTED_AT "
    "FROM QUORL_CONSUMPTION WHERE ORDER_CODE = ?";

// What is stored under the order code: nothing, the same consumption as `c`
// (the card or member it names, the amount, the points), or another one.
std::optional<Outcome> StoredAs(quorl::DatabaseConnection& db, const Consumption& c) {
  const quorl::QueryResult r = db.Query(kStoredQuery, {c.orderCode});
  if (r.rows.empty()) return std::nullopt;
  const auto& row = r.rows[0];
  const bool same = (c.cardNo.empty() || TextOf(row[0]) == c.cardNo) &&
                    (!c.memberId || IntOf(row[1]) == *c.memberId) && IntOf(row[2]) == c.amountCents &&
                    IntOf(row[3]) == c.points;
  return same ? Outcome::AlreadyPosted : Outcome::Refused;
}

// Charges one consumption inside the caller's transaction. Other tills may
// post at the same moment (on PostgreSQL they are not serialized), so nothing
// read here is trusted at write time: the order code is claimed by inserting
// its row (the key makes a second till wait for the first and then find it),
// and the charge is a conditional update that the database re-checks against
// the card and its member as they are when the update runs. A refusal after
// the claim leaves the caller to roll the claim back with everything else.
Outcome PostOne(quorl::DatabaseConnection& db, const Consumption& c, const std::string& operatorCode,
                const char* source) {
  if (const std::optional<Outcome> stored = StoredAs(db, c)) return *stored;

  static const std::string kCardQuery =
      "SELECT c.MEMBER_CARD_NO, c.MEMBER_ID, c.CARD_STATUS, m.STATUS "
      "FROM QUORL_MEMBER_CARD c JOIN QUORL_MEMBER m ON m.MEMBER_ID = c.MEMBER_ID ";
  quorl::QueryResult card;
  if (!c.cardNo.empty()) {
    card = db.Query(kCardQuery + "WHERE c.MEMBER_CARD_NO = ?", {c.cardNo});
  } else {
    card = db.Query(kCardQuery + "WHERE c.MEMBER_ID = ?", {*c.memberId});
  }
  // A member with several cards named by member number alone is ambiguous:
  // charging one of them at random would be wrong.
  if (card.rows.size() != 1) return Outcome::Refused;
  const auto& row = card.rows[0];
  const std::string cardNo = TextOf(row[0]);
  const int64_t memberId = IntOf(row[1]);
  if (c.memberId && *c.memberId != memberId) return Outcome::Refused;
  if (TextOf(row[2]) != kCardNormal || TextOf(row[3]) != kMemberValid) return Outcome::Refused;
  // The balance is judged only after the claim: the balance read above may
  // already include another till's charge for this very order, which would
  // make this till refuse an order that was in fact posted.

  const int64_t claimed = db.Execute(
      "INSERT INTO QUORL_CONSUMPTION (ORDER_CODE, MEMBER_CARD_NO, MEMBER_ID, AMOUNT_CENTS, POINTS, "
      "OPERATOR_CODE, SOURCE) VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT (ORDER_CODE) DO NOTHING",
      {c.orderCode, cardNo, memberId, c.amountCents, c.points, operatorCode, std::string(source)});
  if (claimed == 0) {
    // Another till stored this code meanwhile: the same order, or a clash.
    const std::optional<Outcome> stored = StoredAs(db, c);
    return stored ? *stored : Outcome::Refused;
  }

  const int64_t charged = db.Execute(
      "UPDATE QUORL_MEMBER_CARD SET BALANCE_CENTS = BALANCE_CENTS - ?, POINTS = POINTS + ?, "
      "CONSUME_CENTS = CONSUME_CENTS + ? "
      "WHERE MEMBER_CARD_NO = ? AND CARD_STATUS = ? AND BALANCE_CENTS >= ? AND POINTS + ? >= 0 "
      "AND EXISTS (SELECT 1 FROM QUORL_MEMBER m WHERE m.MEMBER_ID = QUORL_MEMBER_CARD.MEMBER_ID "
      "AND m.STATUS = ?)",
      {c.amountCents, c.points, c.amountCents, cardNo, std::string(kCardNormal), c.amountCents, c.points,
       std::string(kMemberValid)});
  return charged == 1 ? Outcome::Posted : Outcome::Refused;
}

// Runs one posting transaction, again when the database reports that another
// till's transaction got in the way (a deadlock between two packets that
// touch the same cards in opposite order): that attempt was rolled back whole.
constexpr int kPostingAttempts = 5;

template <typename Body>
int WithRetry(Body body) {
  for (int attempt = 1;; ++attempt) {
    try {
      return body();
    } catch (const quorl::EDatabaseConflict&) {
      if (attempt == kPostingAttempts) throw;
    }
    // A till that ran straight back into the other till's locks would meet
    // it again in step: wait a little, longer each time and not the same for
    // every till (at most about 0.3 s over all attempts).
    thread_local std::minstd_rand jitter(std::random_device{}());
    std::this_thread::sleep_for(std::chrono::milliseconds(attempt * 10 + jitter() % 20));
  }
}

}  // namespace

TCAMemberAccount::TCAMemberAccount() = default;

Variant TCAMemberAccount::GetUserInfo(const std::u16string& context, const std::u16string& memberId,
                                      const std::u16string& memberNum, const std::u16string& memberName,
                                      const std::u16string& certificateType,
                                      const std::u16string& certificateNum, const std::u16string& phone,
                                      const std::u16string& mobile, const std::u16string& groupCode) {
  std::unique_ptr<quorl::DatabaseConnection> db = OpenFromContext(quorl::Utf16ToGbk(context));

  const std::pair<const char*, const std::u16string*> criteria[] = {
      {"CAST(m.MEMBER_ID AS TEXT)", &memberId},
      {"c.MEMBER_CARD_NO", &memberNum},
      {"m.FULL_NAME", &memberName},
      {"m.CERTIFICATE_TYPE", &certificateType},
      {"m.ID_NO", &certificateNum},
      {"m.TEL_NO", &phone},
      {"m.MOBILE_NO", &mobile},
      {"m.GROUP_CODE", &groupCode},
  };
  std::string sql = kMemberSelect;
  std::vector<DbValue> params;
  for (const auto& [column, value] : criteria) {
    if (value->empty()) continue;
    sql += std::string(" AND ") + column + " = ?";
    params.emplace_back(quorl::Utf16ToUtf8(*value));
  }
  sql += " ORDER BY m.MEMBER_ID, c.MEMBER_CARD_NO";

  quorl::QueryResult result = db->Query(sql, params);
  // Computed columns have no declared type; give the money columns theirs so
  // they travel as numbers.
  for (auto& col : result.columns)
    if (col.name == "balance" || col.name == "consume_money") col.declaredType = "NUMERIC";
  return quorl::ResultToPacket(result);
}

int TCAMemberAccount::ComsumeInfoPost(const Variant& data, const std::string& text,
                                      const std::string& context) {
  std::unique_ptr<quorl::DatabaseConnection> db = OpenFromContext(context);
  std::vector<Consumption> consumptions;
  if (!ReadConsumptions(data, consumptions)) return 0;

  const std::string operatorCode = quorl::GbkToUtf8(text);
  if (!Storable(operatorCode, kOperatorChars)) return 0;
  // Cards are charged in one order whatever the packet's order, so two
  // packets sharing cards wait for each other instead of deadlocking. The
  // packet is posted or refused whole, so the order changes no outcome.
  std::stable_sort(consumptions.begin(), consumptions.end(),
                   [](const Consumption& a, const Consumption& b) { return a.cardNo < b.cardNo; });
  return WithRetry([&] {
    quorl::Transaction tx(*db);
    for (const Consumption& c : consumptions)
      if (PostOne(*db, c, operatorCode, "POST") == Outcome::Refused) return 0;  // rolls back every row
    tx.Commit();
    return 1;
  });
}

int TCAMemberAccount::ComsumeInfoPost_OrderHandle(const std::string& context, const std::string& orderArg1,
                                                  const std::string& orderArg2) {
  std::unique_ptr<quorl::DatabaseConnection> db = OpenFromContext(context);
  const std::string orderCode = quorl::GbkToUtf8(quorl::Trim(orderArg1));
  const std::string operatorCode = quorl::GbkToUtf8(orderArg2);
  if (orderCode.empty() || !Storable(orderCode, kOrderCodeChars) || !Storable(operatorCode, kOperatorChars))
    return 0;

  return WithRetry([&] {
    quorl::Transaction tx(*db);
    const quorl::QueryResult pending = db->Query(
        "SELECT MEMBER_CARD_NO, AMOUNT_CENTS, POINTS, STATE FROM QUORL_PENDING_ORDER WHERE ORDER_CODE = ?",
        {orderCode});
    if (pending.rows.empty()) {
      // Posted some other way already: counts as posted, as a repeated post does.
      return db->Query(kStoredQuery, {orderCode}).rows.empty() ? 0 : 1;
    }
    const auto& row = pending.rows[0];
    Consumption c;
    c.orderCode = orderCode;
    c.cardNo = TextOf(row[0]);
    c.amountCents = IntOf(row[1]);
    c.points = IntOf(row[2]);
    if (TextOf(row[3]) != "P") {
      // Done before: true only while the stored consumption is this order's.
      return StoredAs(*db, c) == Outcome::AlreadyPosted ? 1 : 0;
    }
    if (PostOne(*db, c, operatorCode, "ORDER") == Outcome::Refused) return 0;
    db->Execute("UPDATE QUORL_PENDING_ORDER SET STATE = 'D' WHERE ORDER_CODE = ?", {orderCode});
    tx.Commit();
    return 1;
  });
}

quorl::StoredConsumption quorl::FindStoredConsumption(const std::string& gbkContext,
                                                      const std::string& gbkOrderCode) {
  std::unique_ptr<quorl::DatabaseConnection> db = OpenFromContext(gbkContext);
  const quorl::QueryResult r = db->Query(kStoredQuery, {quorl::GbkToUtf8(quorl::Trim(gbkOrderCode))});
  StoredConsumption out;
  if (r.rows.empty()) return out;
  const auto& row = r.rows[0];
  out.found = true;
  out.cardNo = quorl::Utf8ToGbk(TextOf(row[0]));
  out.memberId = IntOf(row[1]);
  out.amountCents = IntOf(row[2]);
  out.points = IntOf(row[3]);
  out.operatorCode = quorl::Utf8ToGbk(TextOf(row[4]));
  out.postedAt = quorl::Utf8ToGbk(TextOf(row[5]));
  return out;
}
