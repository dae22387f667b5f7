#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "MemberDataTestEnv.h"
#include "memberdata/uMemberUserInfoXmlDM_ZEL.h"
#include "platform/ClientDataSet.h"
#include "platform/Exception.h"

using quorl::test::Gbk;
using Rec = TMemberUserInfoRecord_ZEL;

namespace {

const std::vector<std::string> kServerColumns = {"MEMBER_ID",
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

const std::vector<std::string> kPlatformColumns = {
    "member_id",    "card_no",  "user_status", "realname",       "tel",        "mobile",   "email",
    "user_balance", "password", "MemberType",  "MemberTypeName", "user_point", "username", "gender",
    "birthday",     "reg_date"};

// A null value is written as "no entry" in a row.
using Row = std::map<std::string, std::string>;

// A packet with text columns of the given names; `lower` writes the names
// in lower case, which the readers must accept.
Variant Packet(const std::vector<std::string>& columns, const std::vector<Row>& rows, bool lower = false,
               const std::string& skip = "") {
  TClientDataSet ds;
  for (const std::string& c : columns) {
    if (c == skip) continue;
    std::string name = c;
    if (lower)
      for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    ds.FieldDefs.Add(name, TFieldType::ftString, 64);
  }
  ds.CreateDataSet();
  for (const Row& row : rows) {
    ds.Append();
    for (const auto& [name, value] : row) ds.FieldByName(name)->SetAsString(value);
    ds.Post();
  }
  return ds.Data();
}

Rec ReadServerRow(const Row& row) {
  TMemberUserInfoXmlDM_ZEL dm;
  std::unique_ptr<TMemberUserInfoList_ZEL> list(dm.ExtractFromData(Packet(kServerColumns, {row})));
  EXPECT_EQ(list->Count(), 1);
  return *list->GetItems(0);
}

Rec ReadPlatformRow(const Row& row) {
  TMemberUserInfoXmlDM_ZEL dm;
  std::unique_ptr<TMemberUserInfoList_ZEL> list(dm.ExtractFromHTK(Packet(kPlatformColumns, {row})));
  EXPECT_EQ(list->Count(), 1);
  return *list->GetItems(0);
}

std::string FlagText(bool b) { return b ? "true" : "false"; }

struct RowCase {
  Row row;
  std::function<std::string(const Rec&)> field;
  std::string expected;
};

}  // namespace

TEST(MemberInfoServerRows, MapsEveryColumnByItsRule) {
  auto id = [](const Rec& r) { return r.MemberID; };
  auto fees = [](const Rec& r) { return r.IsFeesMember; };
  auto oneCard = [](const Rec& r) { return FlagText(r.IsOneCard); };
  auto points = [](const Rec& r) { return r.Points; };
  auto valid = [](const Rec& r) { return FlagText(r.MemberValid); };
  const RowCase cases[] = {
      {{{"MEMBER_ID", "12"}}, id, "12"},
      {{{"MEMBER_ID", "0012"}}, id, "0012"},
      {{{"MEMBER_ID", "12a"}}, id, "-1"},
      {{{"MEMBER_ID", "4294967296"}}, id, "-1"},
      {{}, id, "-1"},  // null
      {{{"STATUS", "1"}}, valid, "true"},
      {{{"STATUS", "0"}}, valid, "false"},
      {{}, valid, "false"},
      {{{"recharge_rate", "0"}}, fees, "N"},
      {{{"recharge_rate", ""}}, fees, "Y"},
      {{}, fees, "Y"},
      {{{"recharge_rate", "0.0"}}, fees, "Y"},
      {{{"recharge_rate", "5"}}, fees, "Y"},
      {{{"is_one_card", "t"}}, oneCard, "true"},
      {{{"is_one_card", "true"}}, oneCard, "false"},
      {{{"is_one_card", "T"}}, oneCard, "false"},
      {{{"is_one_card", "1"}}, oneCard, "false"},
      {{{"Points", ""}}, points, "0"},
      {{}, points, "0"},
      {{{"Points", "15"}}, points, "15"},
      {{{"MEMBER_CARD_NO", "C1"}}, [](const Rec& r) { return r.MemberNum; }, "C1"},
      {{{"FULL_NAME", Gbk("李四")}}, [](const Rec& r) { return r.MemberName; }, Gbk("李四")},
      {{{"MEMBER_CLASS_ID", "k"}}, [](const Rec& r) { return r.MemberType; }, "k"},
      {{{"MEMBER_CLASS_NAME", "kn"}}, [](const Rec& r) { return r.MemberTypeName; }, "kn"},
      {{{"MEMBER_CARD_CLASS_ID", "c"}}, [](const Rec& r) { return r.CardType; }, "c"},
      {{{"MEMBER_CARD_CLASS_NAME", "cn"}}, [](const Rec& r) { return r.CardTypeName; }, "cn"},
      {{{"id_no", "110"}}, [](const Rec& r) { return r.CertificateNum; }, "110"},
      {{{"tel_no", "t"}}, [](const Rec& r) { return r.PhoneNum; }, "t"},
      {{{"mobile_no", "m"}}, [](const Rec& r) { return r.MobileNum; }, "m"},
      {{{"contact_address", "a"}}, [](const Rec& r) { return r.Address; }, "a"},
      {{{"register_email", "e"}}, [](const Rec& r) { return r.Email; }, "e"},
      {{{"balance", "9.5"}}, [](const Rec& r) { return r.MemberBalance; }, "9.5"},
      {{{"pay_password", "pw"}}, [](const Rec& r) { return r.PayPassword; }, "pw"},
      {{{"group_code", "G"}}, [](const Rec& r) { return r.MemberGroupCode; }, "G"},
      {{{"cardstatus", "3"}}, [](const Rec& r) { return r.CardStatus; }, "3"},
      {{{"pointsrewardrate", "2"}}, [](const Rec& r) { return r.ConsumePoints; }, "2"},
      {{{"consume_money", "7"}}, [](const Rec& r) { return r.ConsumeMoney; }, "7"},
      {{{"Certificate_Type", "02"}}, [](const Rec& r) { return r.CertificateType.Name; }, Gbk("护照")},
      {{{"Certificate_Type", "77"}}, [](const Rec& r) { return r.CertificateType.Name; }, ""},
      {{{"FULL_NAME", "x"}}, [](const Rec& r) { return r.Reserved; }, ""},
  };
  for (const RowCase& c : cases) {
    SCOPED_TRACE(c.row.empty() ? std::string("(null row)") : c.row.begin()->first);
    EXPECT_EQ(c.field(ReadServerRow(c.row)), c.expected);
  }
}

TEST(MemberInfoServerRows, FindsColumnsIgnoringCaseAndKeepsRowOrder) {
  TMemberUserInfoXmlDM_ZEL dm;
  std::unique_ptr<TMemberUserInfoList_ZEL> list(dm.ExtractFromData(
      Packet(kServerColumns, {{{"member_id", "1"}}, {{"member_id", "2"}}, {{"member_id", "3"}}}, true)));
  ASSERT_EQ(list->Count(), 3);
  EXPECT_EQ(list->GetItems(0)->MemberID, "1");
  EXPECT_EQ(list->GetItems(2)->MemberID, "3");
}

TEST(MemberInfoServerRows, NumericColumnsReadInTheirTextForm) {
  TClientDataSet ds;
  ds.FieldDefs.Add("MEMBER_ID", TFieldType::ftInteger);
  for (size_t i = 1; i < kServerColumns.size(); ++i)
    ds.FieldDefs.Add(kServerColumns[i],
                     kServerColumns[i] == "balance" ? TFieldType::ftFloat : TFieldType::ftString, 32);
  ds.CreateDataSet();
  ds.Append();
  ds.FieldByName("MEMBER_ID")->SetAsInteger(42);
  ds.FieldByName("balance")->SetAsFloat(12.5);
  ds.Post();
  TMemberUserInfoXmlDM_ZEL dm;
  std::unique_ptr<TMemberUserInfoList_ZEL> list(dm.ExtractFromData(ds.Data()));
  EXPECT_EQ(list->GetItems(0)->MemberID, "42");
  EXPECT_EQ(list->GetItems(0)->MemberBalance, "12.5");
}

TEST(MemberInfoPackets, AMissingColumnFailsTheWholeCall) {
  TMemberUserInfoXmlDM_ZEL dm;
  EXPECT_THROW(delete dm.ExtractFromData(Packet(kServerColumns, {{}, {}}, false, "consume_money")),
               EDatabaseError);
  EXPECT_THROW(delete dm.ExtractFromHTK(Packet(kPlatformColumns, {{}}, false, "user_point")), EDatabaseError);
  // Without rows no column is read.
  std::unique_ptr<TMemberUserInfoList_ZEL> a(dm.ExtractFromHTK(Packet({"x"}, {})));
  std::unique_ptr<TMemberUserInfoList_ZEL> b(dm.ExtractFromData(Packet({"x"}, {})));
  EXPECT_EQ(a->Count(), 0);
  EXPECT_EQ(b->Count(), 0);
  EXPECT_THROW(delete dm.ExtractFromData(Variant()), Exception);
}

TEST(MemberInfoPlatformRows, MapsStatusAndColumns) {
  const std::string normal = Gbk("正常"), lost = Gbk("挂失"), frozen = Gbk("冻结");
  const struct {
    std::string status;
    bool valid;
    std::string fees, cardStatus;
  } statuses[] = {{normal, true, "Y", "2"},
                  {lost, false, "N", "3"},
                  {frozen, false, "N", frozen},
                  {"", false, "N", ""},
                  {normal + " ", false, "N", normal + " "}};
  for (const auto& s : statuses) {
    SCOPED_TRACE(s.status);
    const Rec r = ReadPlatformRow({{"user_status", s.status}});
    EXPECT_EQ(r.MemberValid, s.valid);
    EXPECT_EQ(r.IsFeesMember, s.fees);
    EXPECT_EQ(r.CardStatus, s.cardStatus);
  }

  const Rec r = ReadPlatformRow({{"member_id", "12a"},
                                 {"card_no", "C9"},
                                 {"realname", "R"},
                                 {"tel", "T"},
                                 {"mobile", "M"},
                                 {"email", "E"},
                                 {"user_balance", "8"},
                                 {"password", "abcdef012345"},
                                 {"MemberType", "2"},
                                 {"MemberTypeName", "Gold"},
                                 {"username", "U"},
                                 {"gender", "x"}});
  EXPECT_EQ(r.MemberID, "12a");  // taken unchanged, no whole-number rule here
  EXPECT_EQ(r.MemberNum, "C9");
  EXPECT_EQ(r.MemberName, "R");
  EXPECT_EQ(r.PhoneNum, "T");
  EXPECT_EQ(r.MobileNum, "M");
  EXPECT_EQ(r.Email, "E");
  EXPECT_EQ(r.MemberBalance, "8");
  EXPECT_EQ(r.PayPassword, "abcdef012345");
  EXPECT_EQ(r.MemberType, "2");
  EXPECT_EQ(r.MemberTypeName, "Gold");
  EXPECT_EQ(r.Points, "0");
  EXPECT_FALSE(r.IsOneCard);
  for (const std::string* empty :
       {&r.Reserved, &r.CardType, &r.CardTypeName, &r.CertificateType.Code, &r.CertificateType.Name,
        &r.CertificateNum, &r.Address, &r.MemberGroupCode, &r.ConsumePoints, &r.ConsumeMoney})
    EXPECT_EQ(*empty, "");
  EXPECT_EQ(ReadPlatformRow({{"user_point", "120"}}).Points, "120");
}
