#include "sim/ticketmanage/TicketManageService.h"

#include <cstdio>
#include <pugixml.hpp>
#include <sstream>

#include "sim/common/ServiceDatabase.h"

namespace quorl::sim {
namespace {

using simcommon::CellInt;
using simcommon::CellText;
using simcommon::LocalTimeText;

OperationInfo Op(std::string name, std::vector<std::string> params, bool intResult = false) {
  return OperationInfo{std::move(name), std::move(params), intResult};
}

std::string Part(const std::map<std::string, std::string>& p, const char* name) {
  auto it = p.find(name);
  return it == p.end() ? std::string() : it->second;
}

// Answer documents carry no XML declaration: the client hands them on as
// text in its own code page, where a declared encoding would be wrong.
std::string Serialize(const pugi::xml_document& doc) {
  std::ostringstream out;
  doc.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  return out.str();
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// A named value of the consumption document: the child element's text, or
// an attribute of that name from writers that use attributes.
std::string Value(pugi::xml_node node, const char* name) {
  if (pugi::xml_node child = node.child(name)) return child.text().get();
  return node.attribute(name).value();
}

std::string Trimmed(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

}  // namespace

const std::vector<OperationInfo>& TicketManageOperations() {
  static const std::vector<OperationInfo> ops = {
      Op("getUserInfo", {"memberID", "memberNum", "memberName", "certificateType", "certficateNum",
                         "sPhoneNum", "sMobileNum"}),
      Op("getUserInfo2", {"memberID", "memberNum", "memberName", "certificateType", "certficateNum",
                          "sPhoneNum", "sMobileNum", "sMemberGroup"}),
      Op("getSurplus", {"memberNum"}),
      Op("ValidMember",
         {"memberType", "certificateType", "certificateNum", "memberNum", "menberPWD", "validType"}),
      Op("getTokenUserInfo", {"token"}),
      Op("getSurplusByImage", {"strMemberNum"}),
      Op("SyncOrderData", {"MemberBook"}),
      Op("getMemberInfo", {"strMemberNum"}),
      Op("ComsumeInfoPost", {"sConsumeInfo"}, true),
      Op("CheckConsumeMoney", {"OrderCode", "MemberID", "OperatedBy", "LastTicketCode"}, true),
      Op("getBalancerReport", {"GroupCode", "UserCode", "BeginTime", "EndTime"}),
  };
  return ops;
}

const OperationInfo* FindOperation(const std::string& name) {
  for (const auto& op : TicketManageOperations())
    if (op.name == name) return &op;
  return nullptr;
}

std::string TicketManageService::FormatCents(int64_t cents) {
  const bool negative = cents < 0;
  const uint64_t v = negative ? static_cast<uint64_t>(-cents) : static_cast<uint64_t>(cents);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s%llu.%02llu", negative ? "-" : "",
                static_cast<unsigned long long>(v / 100), static_cast<unsigned long long>(v % 100));
  return buf;
}

bool TicketManageService::ParseCents(const std::string& raw, int64_t& cents) {
  const std::string text = Trimmed(raw);
  const size_t dot = text.find('.');
  const std::string whole = text.substr(0, dot);
  const std::string frac = dot == std::string::npos ? std::string() : text.substr(dot + 1);
  if (whole.empty() || !AllDigits(whole) || whole.size() > 12) return false;
  if (dot != std::string::npos && (frac.empty() || frac.size() > 2 || !AllDigits(frac))) return false;
  cents = std::stoll(whole) * 100;
  if (!frac.empty()) cents += frac.size() == 1 ? (frac[0] - '0') * 10 : std::stoll(frac);
  return true;
}

std::string TicketManageService::NormalizeTime(const std::string& raw, bool endOfDay) {
  const std::string text = Trimmed(raw);
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char sep1 = 0, sep2 = 0;
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%4d%c%2d%c%2d%n", &y, &sep1, &mo, &sep2, &d, &consumed) != 5) return {};
  if (sep1 != sep2 || (sep1 != '-' && sep1 != '/')) return {};
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || y < 1000) return {};
  std::string rest = text.substr(static_cast<size_t>(consumed));
  if (rest.empty()) {
    if (endOfDay) h = 23, mi = 59, s = 59;
  } else {
    if (rest[0] != ' ' && rest[0] != 'T') return {};
    int used = 0;
    const int n = std::sscanf(rest.c_str() + 1, "%2d:%2d%n", &h, &mi, &used);
    if (n != 2) return {};
    std::string tail = rest.substr(1 + static_cast<size_t>(used));
    if (!tail.empty()) {
      int used2 = 0;
      if (std::sscanf(tail.c_str(), ":%2d%n", &s, &used2) != 1 || static_cast<size_t>(used2) != tail.size())
        return {};
    }
    if (h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59) return {};
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
  return buf;
}

OperationResult TicketManageService::Call(const std::string& operation,
                                          const std::map<std::string, std::string>& p) {
  OperationResult r;
  if (operation == "getUserInfo") {
    r.text = MemberInfo(p, false);
  } else if (operation == "getUserInfo2") {
    r.text = MemberInfo(p, true);
  } else if (operation == "getSurplus") {
    r.text = CheckTicket(Part(p, "memberNum"), false);
  } else if (operation == "getSurplusByImage") {
    r.text = CheckTicket(Part(p, "strMemberNum"), true);
  } else if (operation == "getMemberInfo") {
    r.text = CheckTicket(Part(p, "strMemberNum"), true);
  } else if (operation == "ValidMember") {
    r.text = ValidMember(p);
  } else if (operation == "getTokenUserInfo") {
    r.text = TokenUserInfo(Part(p, "token"));
  } else if (operation == "SyncOrderData") {
    r.text = SyncOrderData(Part(p, "MemberBook"));
  } else if (operation == "ComsumeInfoPost") {
    r.isInt = true;
    r.number = ComsumeInfoPost(Part(p, "sConsumeInfo"));
  } else if (operation == "CheckConsumeMoney") {
    r.isInt = true;
    r.number = CheckConsumeMoney(p);
  } else if (operation == "getBalancerReport") {
    r.text = BalancerReport(p);
  } else {
    throw ClientFault("unknown operation '" + operation.substr(0, 64) + "'");
  }
  return r;
}

std::string TicketManageService::MemberDocument(const QueryResult& rows) {
  pugi::xml_document doc;
  pugi::xml_node data = doc.append_child("data");
  for (size_t i = 0; i < rows.rows.size(); ++i) {
    pugi::xml_node item = data.append_child("dataitem");
    auto set = [&](const char* attr, const char* column) {
      item.append_attribute(attr) = CellText(rows, i, column).c_str();
    };
    set("memberID", "member_id");
    set("memberNum", "member_num");
    set("memberValid", "member_valid");
    set("memberName", "member_name");
    set("memberType", "member_type");
    set("memberTypeName", "member_type_name");
    set("cardType", "card_type");
    set("cardTypeName", "card_type_name");
    set("certificateType", "certificate_type");
    set("certificateNum", "certificate_num");
    set("phoneNum", "phone_num");
    set("mobileNum", "mobile_num");
    set("sAddress", "address");
    set("sEmail", "email");
    set("cardstatus", "card_status");
    item.append_attribute("memberBalance") = FormatCents(CellInt(rows, i, "balance_cents")).c_str();
    set("isfeesmember", "is_fees_member");
    set("Points", "points");
    set("memberGroupcode", "group_code");
    set("PayPassword", "pay_password");
    set("IsOneCard", "is_one_card");
    set("ConsumePoints", "consume_points");
    set("ConsumeMoney", "consume_money");
  }
  return Serialize(doc);
}

std::string TicketManageService::MemberInfo(const std::map<std::string, std::string>& p, bool withGroup) {
  // Every non-empty criterion must match; the name matches as a part of the
  // member's name, everything else exactly.
  const QueryResult rows = db_.Query(
      "SELECT * FROM member WHERE (?1 = '' OR CAST(member_id AS TEXT) = ?1)"
      " AND (?2 = '' OR member_num = ?2) AND (?3 = '' OR instr(member_name, ?3) > 0)"
      " AND (?4 = '' OR certificate_type = ?4) AND (?5 = '' OR certificate_num = ?5)"
      " AND (?6 = '' OR phone_num = ?6) AND (?7 = '' OR mobile_num = ?7)"
      " AND (?8 = '' OR group_code = ?8) ORDER BY member_id",
      {Part(p, "memberID"), Part(p, "memberNum"), Part(p, "memberName"), Part(p, "certificateType"),
       Part(p, "certficateNum"), Part(p, "sPhoneNum"), Part(p, "sMobileNum"),
       withGroup ? Part(p, "sMemberGroup") : std::string()});
  return MemberDocument(rows);
}

std::string TicketManageService::TokenUserInfo(const std::string& token) {
  const QueryResult rows =
      db_.Query("SELECT * FROM member WHERE token <> '' AND token = ?1 ORDER BY member_id", {token});
  return MemberDocument(rows);
}

std::string TicketManageService::CheckTicket(const std::string& memberNum, bool withImage) {
  pugi::xml_document doc;
  pugi::xml_node data = doc.append_child("data");
  const QueryResult m = db_.Query("SELECT * FROM member WHERE member_num = ?1", {memberNum});
  if (!m.rows.empty() && !memberNum.empty()) {
    pugi::xml_node item = data.append_child("dataitem");
    auto set = [&](const char* attr, const char* column) {
      item.append_attribute(attr) = CellText(m, 0, column).c_str();
    };
    set("memberID", "member_id");
    set("memberNum", "member_num");
    set("memberValid", "member_valid");
    set("memberName", "member_name");
    set("memberType", "member_type");
    set("certificateType", "certificate_type");
    set("certificateNum", "certificate_num");
    set("phoneNum", "phone_num");
    set("mobileNum", "mobile_num");
    set("sAddress", "address");
    set("sEmail", "email");
    item.append_attribute("memberBalance") = FormatCents(CellInt(m, 0, "balance_cents")).c_str();
    set("surplusCount", "surplus_count");
    set("iEntryNumber", "entry_number");
    if (withImage) {
      set("sImageType", "image_type");
      set("Base64Image", "image_base64");
    }
    const QueryResult b = db_.Query("SELECT * FROM booking WHERE member_num = ?1", {memberNum});
    if (!b.rows.empty()) {
      pugi::xml_node book = data.append_child("book");
      for (const char* name : {"activity_name", "date_start", "status", "date_check"})
        book.append_child(name).text() = CellText(b, 0, name).c_str();
    }
  }
  return Serialize(doc);
}

std::string TicketManageService::ValidMember(const std::map<std::string, std::string>& p) {
  const std::string memberNum = Part(p, "memberNum");
  const std::string certNum = Part(p, "certificateNum");
  QueryResult m;
  if (!memberNum.empty())
    m = db_.Query("SELECT member_valid, pay_password FROM member WHERE member_num = ?1", {memberNum});
  else if (!certNum.empty())
    m = db_.Query(
        "SELECT member_valid, pay_password FROM member WHERE certificate_num = ?1"
        " AND (?2 = '' OR certificate_type = ?2)",
        {certNum, Part(p, "certificateType")});
  if (m.rows.size() != 1) return "0";
  return CellText(m, 0, "member_valid") == "1" && CellText(m, 0, "pay_password") == Part(p, "menberPWD")
             ? "1"
             : "0";
}

std::string TicketManageService::SyncOrderData(const std::string& document) {
  if (Trimmed(document).empty()) return "0";
  db_.Execute("INSERT INTO sync_order (received_at, document) VALUES (?1, ?2)", {LocalTimeText(), document});
  return "1";
}

int32_t TicketManageService::ComsumeInfoPost(const std::string& document) {
  pugi::xml_document doc;
  if (!doc.load_buffer(document.data(), document.size(), pugi::parse_default | pugi::parse_doctype,
                       pugi::encoding_utf8))
    return 0;
  for (pugi::xml_node c = doc.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_doctype) return 0;
  pugi::xml_node root = doc.document_element();
  if (std::string_view(root.name()) != "MemberConsume") return 0;

  const std::string orderCode = Trimmed(Value(root, "MC_OrderCode"));
  const std::string memberRef = Trimmed(Value(root, "MC_MemberID"));
  std::string cost = Trimmed(Value(root, "MC_Cost"));
  if (cost.empty()) cost = Trimmed(Value(root, "MC_PriceSum"));
  int64_t cents = 0;
  // Without an order code a repeat could not be told from a new purchase.
  if (orderCode.empty() || memberRef.empty() || !ParseCents(cost, cents)) return 0;

  // The check of a stored order and the charge run in one write transaction,
  // so two postings of one order code cannot both pass the check.
  Transaction t(db_);
  // The member is named by its id; a card number is accepted too.
  const QueryResult m = db_.Query(
      "SELECT member_id, member_valid, balance_cents FROM member"
      " WHERE CAST(member_id AS TEXT) = ?1 OR member_num = ?1 ORDER BY CAST(member_id AS TEXT) = ?1 DESC "
      "LIMIT 1",
      {memberRef});
  if (m.rows.empty()) return 0;
  const int64_t memberId = CellInt(m, 0, "member_id");

  // One order code is one consumption: the same one posted again (an answer
  // lost on the way) is accepted without a second charge; another member or
  // amount under a stored code is refused, whatever the member's state now.
  const QueryResult known =
      db_.Query("SELECT member_id, amount_cents FROM consumption WHERE order_code = ?1", {orderCode});
  if (!known.rows.empty())
    return CellInt(known, 0, "member_id") == memberId && CellInt(known, 0, "amount_cents") == cents ? 1 : 0;

  if (CellText(m, 0, "member_valid") != "1" || CellInt(m, 0, "balance_cents") < cents) return 0;

  std::string when = NormalizeTime(Value(root, "MC_Time"), false);
  if (when.empty()) when = LocalTimeText();
  std::string payment = Trimmed(Value(root, "MC_CostType"));
  if (payment.empty()) payment = "会员卡";
  const std::string operatorCode = Trimmed(Value(root, "MC_Creater"));

  db_.Execute("UPDATE member SET balance_cents = balance_cents - ?1 WHERE member_id = ?2", {cents, memberId});
  db_.Execute(
      "INSERT INTO consumption (order_code, member_id, amount_cents, payment_name, operator_code,"
      " group_code, consume_time, posted_at, document) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
      {orderCode, memberId, cents, payment, operatorCode, Trimmed(Value(root, "MC_Group")), when,
       LocalTimeText(), document});
  // An operator the service has not seen is registered under its code, so
  // the report can name every row with an id.
  db_.Execute("INSERT OR IGNORE INTO operator (user_code, user_name) VALUES (?1, ?1)", {operatorCode});
  int64_t line = 0;
  for (pugi::xml_node c = root.child("Consume"); c; c = c.next_sibling("Consume")) {
    db_.Execute(
        "INSERT INTO consumption_line (order_code, line_no, price_level, ware_price, ware_num,"
        " cost_sum) VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
        {orderCode, ++line, Value(c, "CL_PriceLevel"), Value(c, "CL_WarePrice"), Value(c, "CL_WareNum"),
         Value(c, "CL_CostSum")});
  }
  t.Commit();
  return 1;
}

int32_t TicketManageService::CheckConsumeMoney(const std::map<std::string, std::string>& p) {
  const std::string order = Trimmed(Part(p, "OrderCode"));
  const std::string member = Trimmed(Part(p, "MemberID"));
  if (order.empty() || member.empty()) return 0;
  const QueryResult r = db_.Query(
      "SELECT 1 FROM consumption c JOIN member m ON m.member_id = c.member_id"
      " WHERE c.order_code = ?1 AND (CAST(m.member_id AS TEXT) = ?2 OR m.member_num = ?2)",
      {order, member});
  return r.rows.empty() ? 0 : 1;
}

std::string TicketManageService::BalancerReport(const std::map<std::string, std::string>& p) {
  std::string begin = "0000-00-00 00:00:00";
  std::string end = "9999-12-31 23:59:59";
  const std::string beginText = Trimmed(Part(p, "BeginTime"));
  const std::string endText = Trimmed(Part(p, "EndTime"));
  if (!beginText.empty()) {
    begin = NormalizeTime(beginText, false);
    if (begin.empty()) throw ClientFault("BeginTime '" + beginText.substr(0, 64) + "' is not a date");
  }
  if (!endText.empty()) {
    end = NormalizeTime(endText, true);
    if (end.empty()) throw ClientFault("EndTime '" + endText.substr(0, 64) + "' is not a date");
  }
  const QueryResult rows = db_.Query(
      "SELECT COALESCE(o.user_id, 0) AS user_id, COALESCE(o.user_name, '') AS user_name,"
      " c.operator_code, m.member_name, m.mobile_num, c.payment_name, c.amount_cents"
      " FROM consumption c JOIN member m ON m.member_id = c.member_id"
      " LEFT JOIN operator o ON o.user_code = c.operator_code"
      " WHERE (?1 = '' OR c.operator_code = ?1) AND (?2 = '' OR c.group_code = ?2)"
      " AND c.consume_time >= ?3 AND c.consume_time <= ?4"
      " ORDER BY c.consume_time, c.order_code",
      {Trimmed(Part(p, "UserCode")), Trimmed(Part(p, "GroupCode")), begin, end});
  pugi::xml_document doc;
  pugi::xml_node data = doc.append_child("data");
  for (size_t i = 0; i < rows.rows.size(); ++i) {
    pugi::xml_node item = data.append_child("dataitem");
    item.append_attribute("opearatedID") = CellText(rows, i, "user_id").c_str();
    item.append_attribute("userName") = CellText(rows, i, "user_name").c_str();
    item.append_attribute("userCode") = CellText(rows, i, "operator_code").c_str();
    item.append_attribute("membername") = CellText(rows, i, "member_name").c_str();
    item.append_attribute("membermobileno") = CellText(rows, i, "mobile_num").c_str();
    item.append_attribute("paymentname") = CellText(rows, i, "payment_name").c_str();
    item.append_attribute("pamount") = FormatCents(CellInt(rows, i, "amount_cents")).c_str();
  }
  return Serialize(doc);
}

}  // namespace quorl::sim
