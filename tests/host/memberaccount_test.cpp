#include "host/MemberAccount.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "HostTestSupport.h"
#include "platform/ClientDataSet.h"

using quorl::test::Gbk;
using quorl::test::HostDb;

namespace {

std::u16string U(const char* utf8) { return quorl::Utf8ToUtf16(utf8); }

struct Criteria {
  const char* id = "";
  const char* num = "";
  const char* name = "";
  const char* certType = "";
  const char* certNum = "";
  const char* phone = "";
  const char* mobile = "";
  const char* group = "";
};

Variant Lookup(const HostDb& db, const Criteria& c) {
  TCAMemberAccount account;
  return account.GetUserInfo(quorl::GbkToUtf16(db.Context()), U(c.id), U(c.num), U(c.name), U(c.certType),
                             U(c.certNum), U(c.phone), U(c.mobile), U(c.group));
}

std::vector<std::string> CardNumbers(const Variant& packet) {
  TClientDataSet ds;
  ds.SetData(packet);
  std::vector<std::string> out;
  for (ds.First(); !ds.Eof(); ds.Next()) out.push_back(ds.FieldByName("MEMBER_CARD_NO")->AsString());
  return out;
}

struct Row {
  std::string order;
  std::string card;
  std::string memberId;
  std::string amount;
  std::string points;
};

// A consumption packet with text fields, as a host fills it.
Variant Packet(const std::vector<Row>& rows, bool withAmount = true) {
  TClientDataSet ds;
  ds.FieldDefs.Add("ORDER_CODE", TFieldType::ftString, 40);
  ds.FieldDefs.Add("MEMBER_CARD_NO", TFieldType::ftString, 32);
  ds.FieldDefs.Add("MEMBER_ID", TFieldType::ftString, 12);
  if (withAmount) ds.FieldDefs.Add("AMOUNT", TFieldType::ftString, 20);
  ds.FieldDefs.Add("POINTS", TFieldType::ftString, 20);
  ds.CreateDataSet();
  for (const Row& r : rows) {
    ds.Append();
    ds.FieldByName("ORDER_CODE")->SetAsString(r.order);
    if (!r.card.empty()) ds.FieldByName("MEMBER_CARD_NO")->SetAsString(r.card);
    if (!r.memberId.empty()) ds.FieldByName("MEMBER_ID")->SetAsString(r.memberId);
    if (withAmount && !r.amount.empty()) ds.FieldByName("AMOUNT")->SetAsString(r.amount);
    if (!r.points.empty()) ds.FieldByName("POINTS")->SetAsString(r.points);
    ds.Post();
  }
  return ds.Data();
}

std::string Balance(const HostDb& db, const std::string& card) {
  return db.Scalar("SELECT BALANCE_CENTS FROM QUORL_MEMBER_CARD WHERE MEMBER_CARD_NO = '" + card + "'");
}

std::string Points(const HostDb& db, const std::string& card) {
  return db.Scalar("SELECT POINTS FROM QUORL_MEMBER_CARD WHERE MEMBER_CARD_NO = '" + card + "'");
}

std::string Consumptions(const HostDb& db) { return db.Scalar("SELECT count(*) FROM QUORL_CONSUMPTION"); }

}  // namespace

TEST(MemberAccountGetUserInfo, AnswersTheMemberAccountColumns) {
  HostDb db;
  TClientDataSet ds;
  ds.SetData(Lookup(db, {.num = "8800000001"}));
  const char* expected[] = {"MEMBER_ID",
                            "MEMBER_CARD_NO",
                            "STATUS",
                            "FULL_NAME",
                            "MEMBER_CLASS_ID",
                            "MEMBER_CLASS_NAME",
                            "MEMBER_CARD_CLASS_ID",
                            "MEMBER_CARD_CLASS_NAME",
                            "Certificate_Type",
                            "id_no",
                            "tel_no",
                            "mobile_no",
                            "contact_address",
                            "register_email",
                            "balance",
                            "pay_password",
                            "group_code",
                            "cardstatus",
                            "recharge_rate",
                            "Points",
                            "is_one_card",
                            "pointsrewardrate",
                            "consume_money"};
  ASSERT_EQ(ds.FieldCount(), 23);
  for (int i = 0; i < 23; ++i) EXPECT_EQ(ds.Fields(i)->FieldName(), expected[i]);

  ASSERT_EQ(ds.RecordCount(), 1);
  EXPECT_EQ(ds.FieldByName("MEMBER_ID")->AsString(), "1001");
  EXPECT_EQ(ds.FieldByName("STATUS")->AsString(), "1");
  EXPECT_EQ(ds.FieldByName("FULL_NAME")->AsString(), Gbk("张伟"));
  EXPECT_EQ(ds.FieldByName("MEMBER_CLASS_NAME")->AsString(), Gbk("金卡会员"));
  EXPECT_EQ(ds.FieldByName("balance")->AsString(), "500");
  EXPECT_EQ(ds.FieldByName("consume_money")->AsString(), "360");
  EXPECT_EQ(ds.FieldByName("Points")->AsString(), "1200");
  EXPECT_EQ(ds.FieldByName("recharge_rate")->AsString(), "1");
  EXPECT_EQ(ds.FieldByName("is_one_card")->AsString(), "f");
  EXPECT_EQ(ds.FieldByName("cardstatus")->AsString(), "2");
  EXPECT_EQ(ds.FieldByName("pointsrewardrate")->AsString(), "2");
  EXPECT_EQ(ds.FieldByName("pay_password")->AsString(), "e10adc3949ba59abbe56e057f20f883e");
}

TEST(MemberAccountGetUserInfo, EveryNonEmptyCriterionFilters) {
  HostDb db;
  struct Case {
    const char* label;
    Criteria criteria;
    std::vector<std::string> cards;
  };
  const std::vector<Case> cases = {
      {"member id, both cards", {.id = "1001"}, {"8800000001", "8800000011"}},
      {"card number", {.num = "8800000004"}, {"8800000004"}},
      {"Chinese name", {.name = "李娜"}, {"8800000002"}},
      {"name is exact, not a prefix", {.name = "李"}, {}},
      {"certificate number", {.certNum = "E12345678"}, {"8800000002"}},
      {"certificate type and group", {.certType = "01", .group = "G02"}, {"8800000004", "8800000006"}},
      {"phone", {.phone = "010-62001002"}, {"8800000002"}},
      {"mobile", {.mobile = "13900000003"}, {"8800000006"}},
      {"group", {.group = "G01"}, {"8800000001", "8800000011", "8800000002", "8800000003"}},
      {"group excludes other group's member", {.num = "8800000004", .group = "G01"}, {}},
      {"criteria combine", {.id = "1001", .num = "8800000011"}, {"8800000011"}},
      {"member id is matched as text", {.id = "01001"}, {}},
      {"quote in a criterion is data", {.name = "x' OR '1'='1"}, {}},
      {"unknown group", {.group = "G99"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(CardNumbers(Lookup(db, c.criteria)), c.cards);
  }
  EXPECT_EQ(CardNumbers(Lookup(db, {})).size(), 7u);  // no criterion: every card
}

TEST(MemberAccountGetUserInfo, NoMatchKeepsColumnsAndMissingDatabaseRaises) {
  HostDb db;
  TClientDataSet ds;
  ds.SetData(Lookup(db, {.num = "nope"}));
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_EQ(ds.FieldCount(), 23);

  TCAMemberAccount account;
  EXPECT_THROW(account.GetUserInfo(u"NODE=N001", u"", u"", u"", u"", u"", u"", u"", u""), EDatabaseError);
}

TEST(MemberAccountPost, ChargesOnceForAnOrderCode) {
  HostDb db;
  TCAMemberAccount account;
  const Variant packet = Packet({{"T0001", "8800000001", "", "35.50", "71"}});
  EXPECT_EQ(account.ComsumeInfoPost(packet, "1001", db.Context()), 1);
  EXPECT_EQ(Balance(db, "8800000001"), "46450");
  EXPECT_EQ(Points(db, "8800000001"), "1271");
  EXPECT_EQ(
      db.Scalar("SELECT OPERATOR_CODE || '/' || AMOUNT_CENTS || '/' || MEMBER_ID FROM QUORL_CONSUMPTION "
                "WHERE ORDER_CODE = 'T0001'"),
      "1001/3550/1001");

  // The same order again: posted, nothing charged. Under the same code
  // another card, member, amount or points is another consumption: refused,
  // and a packet holding such a row is refused whole.
  struct Again {
    const char* label;
    Variant packet;
    int result;
  };
  const Again again[] = {
      {"same consumption", Packet({{"T0001", "8800000001", "", "35.5", "71"}}), 1},
      {"same, named by member and card", Packet({{"T0001", "8800000001", "1001", "35.50", "71"}}), 1},
      {"other amount", Packet({{"T0001", "8800000001", "", "99", "71"}}), 0},
      {"other card", Packet({{"T0001", "8800000011", "", "35.50", "71"}}), 0},
      {"other member", Packet({{"T0001", "", "2001", "35.50", "71"}}), 0},
      {"other points", Packet({{"T0001", "8800000001", "", "35.50", ""}}), 0},
      {"one clashing row refuses the packet",
       Packet({{"T0009", "8800000004", "", "1", ""}, {"T0001", "8800000001", "", "35.49", "71"}}), 0},
  };
  for (const Again& a : again) {
    SCOPED_TRACE(a.label);
    EXPECT_EQ(account.ComsumeInfoPost(a.packet, "1002", db.Context()), a.result);
    EXPECT_EQ(Balance(db, "8800000001"), "46450");
    EXPECT_EQ(Balance(db, "8800000004"), "100000");
    EXPECT_EQ(Consumptions(db), "1");
  }
  const quorl::StoredConsumption stored = quorl::FindStoredConsumption(db.Context(), " T0001 ");
  EXPECT_TRUE(stored.found);
  EXPECT_EQ(stored.cardNo, "8800000001");
  EXPECT_EQ(stored.memberId, 1001);
  EXPECT_EQ(stored.amountCents, 3550);
  EXPECT_EQ(stored.points, 71);
  EXPECT_EQ(stored.operatorCode, "1001");
  EXPECT_EQ(stored.postedAt.size(), 19u) << stored.postedAt;
  EXPECT_FALSE(quorl::FindStoredConsumption(db.Context(), "T0002").found);
  EXPECT_THROW(quorl::FindStoredConsumption("NODE=N001", "T0001"), EDatabaseError);
}

// Amounts are exact decimals read from their text, whatever the field's
// type: whole cents post, anything finer is refused rather than rounded.
TEST(MemberAccountPost, AmountsAreReadAsExactCents) {
  struct Case {
    TFieldType type;
    const char* amount;
    const char* points;
    int result;
    int64_t cents;
  };
  const Case cases[] = {
      {TFieldType::ftString, "12", "", 1, 1200},
      {TFieldType::ftString, "12.5", "", 1, 1250},
      {TFieldType::ftString, "1.000", "", 1, 100},
      {TFieldType::ftString, "0", "2.0", 1, 0},
      {TFieldType::ftString, ".5", "", 1, 50},
      {TFieldType::ftString, "1.005", "", 0, 0},
      {TFieldType::ftString, "0.004", "", 0, 0},
      {TFieldType::ftString, "-0", "", 0, 0},
      {TFieldType::ftString, "1e2", "", 1, 10000},
      {TFieldType::ftString, "1E-5", "", 0, 0},
      {TFieldType::ftString, "10000000000.01", "", 0, 0},
      {TFieldType::ftString, "99999999999999999999999", "", 0, 0},
      {TFieldType::ftString, "1.2.3", "", 0, 0},
      {TFieldType::ftString, "1", "1e13", 0, 0},
      {TFieldType::ftFloat, "19.99", "", 1, 1999},
      {TFieldType::ftFloat, "1.005", "", 0, 0},
      {TFieldType::ftFloat, "0.1", "", 1, 10},
      {TFieldType::ftInteger, "7", "", 1, 700},
  };
  HostDb db;
  TCAMemberAccount account;
  int n = 0;
  int64_t spent = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.amount);
    TClientDataSet ds;
    ds.FieldDefs.Add("ORDER_CODE", TFieldType::ftString, 20);
    ds.FieldDefs.Add("MEMBER_CARD_NO", TFieldType::ftString, 20);
    ds.FieldDefs.Add("AMOUNT", c.type, c.type == TFieldType::ftString ? 30 : 0);
    ds.FieldDefs.Add("POINTS", TFieldType::ftString, 20);
    ds.CreateDataSet();
    ds.Append();
    const std::string order = "A" + std::to_string(++n);
    ds.FieldByName("ORDER_CODE")->SetAsString(order);
    ds.FieldByName("MEMBER_CARD_NO")->SetAsString("8800000004");
    if (c.type == TFieldType::ftFloat)
      ds.FieldByName("AMOUNT")->SetAsFloat(std::stod(c.amount));
    else
      ds.FieldByName("AMOUNT")->SetAsString(c.amount);
    if (*c.points != '\0') ds.FieldByName("POINTS")->SetAsString(c.points);
    ds.Post();
    EXPECT_EQ(account.ComsumeInfoPost(ds.Data(), "1001", db.Context()), c.result);
    spent += c.cents;
    EXPECT_EQ(Balance(db, "8800000004"), std::to_string(100000 - spent));
    if (c.result == 1) {
      EXPECT_EQ(quorl::FindStoredConsumption(db.Context(), order).amountCents, c.cents);
    }
  }
}

// The member is re-checked by the charge itself: a member cancelled between
// the checks and the charge (here by a trigger on the claim) is not charged.
TEST(MemberAccountPost, ChargeRechecksTheMember) {
  HostDb db;
  quorl::ExecuteSqlScript(db.path,
                          "CREATE TRIGGER cancel AFTER INSERT ON QUORL_CONSUMPTION BEGIN "
                          "UPDATE QUORL_MEMBER SET STATUS = '0' WHERE MEMBER_ID = NEW.MEMBER_ID; END");
  TCAMemberAccount account;
  EXPECT_EQ(account.ComsumeInfoPost(Packet({{"C1", "8800000004", "", "1", ""}}), "1001", db.Context()), 0);
  EXPECT_EQ(Balance(db, "8800000004"), "100000");
  EXPECT_EQ(db.Scalar("SELECT STATUS FROM QUORL_MEMBER WHERE MEMBER_ID = 2001"), "1");
  EXPECT_EQ(Consumptions(db), "0");
}

TEST(MemberAccountPost, MemberIdAloneFindsTheOnlyCardAndNumericFieldsWork) {
  HostDb db;
  TCAMemberAccount account;
  EXPECT_EQ(account.ComsumeInfoPost(Packet({{"T0002", "", "2001", "120", ""}}), "1001", db.Context()), 1);
  EXPECT_EQ(Balance(db, "8800000004"), "88000");

  TClientDataSet ds;
  ds.FieldDefs.Add("ORDER_CODE", TFieldType::ftString, 20);
  ds.FieldDefs.Add("MEMBER_ID", TFieldType::ftInteger);
  ds.FieldDefs.Add("AMOUNT", TFieldType::ftFloat);
  ds.FieldDefs.Add("POINTS", TFieldType::ftInteger);
  ds.CreateDataSet();
  ds.Append();
  ds.FieldByName("ORDER_CODE")->SetAsString("T0003");
  ds.FieldByName("MEMBER_ID")->SetAsInteger(2001);
  ds.FieldByName("AMOUNT")->SetAsFloat(19.99);
  ds.FieldByName("POINTS")->SetAsInteger(40);
  ds.Post();
  EXPECT_EQ(account.ComsumeInfoPost(ds.Data(), "1001", db.Context()), 1);
  EXPECT_EQ(Balance(db, "8800000004"), "86001");
  EXPECT_EQ(Points(db, "8800000004"), "3040");
}

TEST(MemberAccountPost, RefusalsChargeNothing) {
  struct Case {
    const char* label;
    Variant packet;
  };
  const std::vector<Case> cases = {
      {"unknown card", Packet({{"R1", "0000000000", "", "1", ""}})},
      {"unknown member id", Packet({{"R1", "", "999", "1", ""}})},
      {"balance too low", Packet({{"R1", "8800000002", "", "12.51", ""}})},
      {"card reported lost", Packet({{"R1", "8800000003", "", "1", ""}})},
      {"member cancelled, card frozen", Packet({{"R1", "8800000005", "", "1", ""}})},
      {"member id of a member with two cards", Packet({{"R1", "", "1001", "1", ""}})},
      {"card of another member", Packet({{"R1", "8800000001", "2001", "1", ""}})},
      {"points would go negative", Packet({{"R1", "8800000002", "", "1", "-81"}})},
      {"not a packet", Variant("ORDER_CODE=R1")},
      {"empty variant", Variant()},
      {"no AMOUNT field", Packet({{"R1", "8800000001", "", "", ""}}, false)},
      {"no rows", Packet({})},
      {"missing amount", Packet({{"R1", "8800000001", "", "", ""}})},
      {"negative amount", Packet({{"R1", "8800000001", "", "-5", ""}})},
      {"amount not a number", Packet({{"R1", "8800000001", "", "12yuan", ""}})},
      {"fractional points", Packet({{"R1", "8800000001", "", "1", "1.5"}})},
      {"no order code", Packet({{"", "8800000001", "", "1", ""}})},
      {"no member", Packet({{"R1", "", "", "1", ""}})},
      {"member id not a number", Packet({{"R1", "", "10x1", "1", ""}})},
      {"an order code twice", Packet({{"R1", "8800000001", "", "1", ""}, {"R1", "8800000004", "", "1", ""}})},
      {"all or nothing", Packet({{"R1", "8800000001", "", "10", ""}, {"R2", "8800000002", "", "100", ""}})},
      {"two rows exceed one balance",
       Packet({{"R1", "8800000002", "", "10", ""}, {"R2", "8800000002", "", "2.51", ""}})},
  };
  HostDb db;
  const std::string before =
      db.Scalar("SELECT group_concat(BALANCE_CENTS || ':' || POINTS) FROM QUORL_MEMBER_CARD");
  TCAMemberAccount account;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(account.ComsumeInfoPost(c.packet, "1001", db.Context()), 0);
    EXPECT_EQ(db.Scalar("SELECT group_concat(BALANCE_CENTS || ':' || POINTS) FROM QUORL_MEMBER_CARD"),
              before);
    EXPECT_EQ(Consumptions(db), "0");
  }
}

TEST(MemberAccountPost, SeveralRowsPostTogether) {
  HostDb db;
  TCAMemberAccount account;
  const Variant packet = Packet({{"S1", "8800000002", "", "10", ""},
                                 {"S2", "8800000002", "", "2.50", "3"},
                                 {"S3", "8800000004", "", "0", ""}});
  EXPECT_EQ(account.ComsumeInfoPost(packet, "1002", db.Context()), 1);
  EXPECT_EQ(Balance(db, "8800000002"), "0");
  EXPECT_EQ(Points(db, "8800000002"), "83");
  EXPECT_EQ(Consumptions(db), "3");
}

TEST(MemberAccountPost, DatabaseErrorsRaiseAndChargeNothing) {
  TCAMemberAccount account;
  const Variant packet = Packet({{"E1", "8800000001", "", "1", ""}});
  EXPECT_THROW(account.ComsumeInfoPost(packet, "1001", "NODE=N001"), EDatabaseError);

  HostDb empty(false);
  quorl::ExecuteSqlScript(empty.path, "DROP TABLE QUORL_CONSUMPTION");
  EXPECT_THROW(account.ComsumeInfoPost(packet, "1001", empty.Context()), EDatabaseError);
}

TEST(MemberAccountOrderHandle, PostsAPendingOrderOnce) {
  HostDb db;
  TCAMemberAccount account;
  EXPECT_EQ(account.ComsumeInfoPost_OrderHandle(db.Context(), "WEB20240101000001", "1001"), 1);
  EXPECT_EQ(Balance(db, "8800000001"), "41200");
  EXPECT_EQ(Points(db, "8800000001"), "1376");
  EXPECT_EQ(db.Scalar("SELECT STATE FROM QUORL_PENDING_ORDER WHERE ORDER_CODE = 'WEB20240101000001'"), "D");
  EXPECT_EQ(db.Scalar("SELECT SOURCE || '/' || OPERATOR_CODE FROM QUORL_CONSUMPTION"), "ORDER/1001");

  EXPECT_EQ(account.ComsumeInfoPost_OrderHandle(db.Context(), "WEB20240101000001", "1001"), 1);
  EXPECT_EQ(Balance(db, "8800000001"), "41200");
  EXPECT_EQ(Consumptions(db), "1");
}

TEST(MemberAccountOrderHandle, RefusesUnknownOrUncoveredOrders) {
  HostDb db;
  TCAMemberAccount account;
  EXPECT_EQ(account.ComsumeInfoPost_OrderHandle(db.Context(), "NOSUCHORDER", "1001"), 0);
  EXPECT_EQ(account.ComsumeInfoPost_OrderHandle(db.Context(), "", "1001"), 0);
  // 50.00 on a card holding 12.50.
  EXPECT_EQ(account.ComsumeInfoPost_OrderHandle(db.Context(), "WEB20240101000002", "1001"), 0);
  EXPECT_EQ(db.Scalar("SELECT STATE FROM QUORL_PENDING_ORDER WHERE ORDER_CODE = 'WEB20240101000002'"), "P");
  EXPECT_EQ(Balance(db, "8800000002"), "1250");
  EXPECT_EQ(Consumptions(db), "0");
}

TEST(MemberAccountOrderHandle, OrderPostedByPacketIsNotChargedAgain) {
  HostDb db;
  TCAMemberAccount account;
  ASSERT_EQ(account.ComsumeInfoPost(Packet({{"WEB20240102000003", "8800000004", "", "120", "240"}}), "1",
                                    db.Context()),
            1);
  EXPECT_EQ(account.ComsumeInfoPost_OrderHandle(db.Context(), "WEB20240102000003", "1001"), 1);
  EXPECT_EQ(Balance(db, "8800000004"), "88000");
  EXPECT_EQ(db.Scalar("SELECT STATE FROM QUORL_PENDING_ORDER WHERE ORDER_CODE = 'WEB20240102000003'"), "D");
}

// A pending order is posted, or found done, only as its own consumption:
// another consumption under its code, or none at all, is no payment.
TEST(MemberAccountOrderHandle, AnswersOneOnlyForTheOrdersOwnConsumption) {
  HostDb db;
  TCAMemberAccount account;
  // The code taken by a packet with another amount: refused, still pending.
  ASSERT_EQ(
      account.ComsumeInfoPost(Packet({{"WEB20240101000001", "8800000001", "", "1", ""}}), "1", db.Context()),
      1);
  EXPECT_EQ(account.ComsumeInfoPost_OrderHandle(db.Context(), "WEB20240101000001", "1001"), 0);
  EXPECT_EQ(db.Scalar("SELECT STATE FROM QUORL_PENDING_ORDER WHERE ORDER_CODE = 'WEB20240101000001'"), "P");
  EXPECT_EQ(Balance(db, "8800000001"), "49900");
  // Marked done without a consumption: not paid.
  quorl::ExecuteSqlScript(
      db.path, "UPDATE QUORL_PENDING_ORDER SET STATE = 'D' WHERE ORDER_CODE = 'WEB20240102000003'");
  EXPECT_EQ(account.ComsumeInfoPost_OrderHandle(db.Context(), "WEB20240102000003", "1001"), 0);
  EXPECT_EQ(account.ComsumeInfoPost_OrderHandle(db.Context(), std::string(41, 'W'), "1001"), 0);
  EXPECT_EQ(account.ComsumeInfoPost_OrderHandle(db.Context(), "WEB20240102000003", "operator13chr"), 0);
  EXPECT_EQ(Consumptions(db), "1");
}

// Two tills on one database file: their postings serialize, so the card is
// never overdrawn and no charge is lost.
TEST(MemberAccountPost, TwoTillsSharingAFileNeverOverdraw) {
  HostDb db;
  std::atomic<int> posted{0};
  auto till = [&](const std::string& prefix) {
    TCAMemberAccount account;
    for (int i = 0; i < 15; ++i) {
      const Variant packet = Packet({{prefix + std::to_string(i), "8800000002", "", "1", ""}});
      posted += account.ComsumeInfoPost(packet, "1001", db.Context());
    }
  };
  std::thread a(till, "A"), b(till, "B");
  a.join();
  b.join();
  EXPECT_EQ(posted.load(), 12);  // 12.50 covers twelve charges of 1.00
  EXPECT_EQ(Balance(db, "8800000002"), "50");
  EXPECT_EQ(Consumptions(db), "12");
}

// The connection kept between calls follows the file at the path: a database
// restored in place of the one in use gets the next posting, and the file
// moved aside keeps what it had.
TEST(MemberAccountPost, ARestoredDatabaseFileGetsTheNextPosting) {
  HostDb db;
  TCAMemberAccount account;
  ASSERT_EQ(account.ComsumeInfoPost(Packet({{"R1", "8800000004", "", "1", ""}}), "1", db.Context()), 1);
  const std::string aside = db.dir.File("old.db");
  for (const char* suffix : {"", "-wal", "-shm"})
    if (std::filesystem::exists(db.path + suffix)) std::filesystem::rename(db.path + suffix, aside + suffix);
  quorl::CreateHostDatabase(db.path, true);

  EXPECT_EQ(account.ComsumeInfoPost(Packet({{"R2", "8800000004", "", "2", ""}}), "1", db.Context()), 1);
  EXPECT_EQ(db.Scalar("SELECT group_concat(ORDER_CODE) FROM QUORL_CONSUMPTION"), "R2");
  EXPECT_EQ(Balance(db, "8800000004"), "99800");
  auto old = quorl::OpenSqliteDatabase(aside);
  EXPECT_EQ(old->Query("SELECT group_concat(ORDER_CODE) FROM QUORL_CONSUMPTION").rows.at(0).at(0),
            quorl::DbValue(std::string("R1")));
}
