// The agent end to end over loopback: the local TicketManage service and the
// local HuiTouKe platform as real HTTP servers, the host database on SQLite.

#include <gtest/gtest.h>

#include <memory>

#include "agent/AgentFixture.h"
#include "huitouke/HtkTestSupport.h"
#include "huitouke/uHuiTouKe_ZEL.h"
#include "platform/ClientDataSet.h"
#include "platform/Lists.h"
#include "soap/SimProcess.h"

namespace {

using quorl::test::Gbk;

constexpr const char* kPlatformKey = "demo-htk-key-N001";
constexpr const char* kMerchant = "DEMO-SBS-0001";

class AgentOverLoopback : public quorl::test::AgentFixture {
 protected:
  // Points the node's default rows of both address types at the servers.
  void PointAddressesAt(const std::string& soapUrl, const std::string& platformUrl) {
    Sql("UPDATE QUORL_SOAPSERVER_ADDRESS SET SOAP_ADDR = '" + soapUrl +
        "' WHERE ADDRESSTYPE = 'G';"
        "UPDATE QUORL_SOAPSERVER_ADDRESS SET SOAP_ADDR = '" +
        platformUrl + "' WHERE ADDRESSTYPE = 'H';");
  }
  std::string Balance(const std::u16string& card) {
    return quorl::Utf16ToUtf8(Agent().GetSurplus(card)->Get_Dataitem()->Get_memberBalance());
  }
  bool Post(const std::string& order, const std::string& member, const std::string& cost) {
    TTicketInfoRecordList_VRISK tickets;
    TTicketInfoRecord_VRISK line{"A", cost, "1", cost};
    tickets.Add(&line);
    TMemberInfoRecord_VRISK r;
    r.MC_OrderCode = order;
    r.MC_MemberID = member;
    r.MC_Cost = cost;
    r.MC_Creater = "1001";
    r.MC_Group = "G01";
    r.MC_Time = "2026-12-08 10:00:00";
    r.Tickets = &tickets;
    return Impl().ComsumeInfoPost(&r, true, true);
  }
};

TEST_F(AgentOverLoopback, WebServiceSessionChargesAnOrderOnceAndReportsIt) {
  quorl::test::TempFolder data;
  quorl::test::TicketManageSim service(data.File("tm.db"));
  PointAddressesAt(service.Endpoint(), "http://127.0.0.1:1/api/");
  quorl::SetHttpTransportFactory(nullptr);  // real HTTP from here on

  TQueryUserInfoConditionRecord_ZEL c;
  c.MemberNum = "8800000001";
  std::unique_ptr<TMemberUserInfoList_ZEL> list(Agent().GetUserInfo(c, "N"));
  ASSERT_EQ(list->Count(), 1);
  EXPECT_EQ(list->GetItems(0)->MemberName, Gbk("张伟"));
  EXPECT_EQ(Balance(u"8800000001"), "500.00");

  EXPECT_TRUE(Post("LB-1", "1001", "35.00"));
  EXPECT_TRUE(Post("LB-1", "1001", "35.00"));  // the same order again: accepted, not charged
  EXPECT_EQ(Balance(u"8800000001"), "465.00");
  EXPECT_EQ(launcher_.fake.starts.size(), 2u);
  EXPECT_TRUE(Agent().CheckConsumeMoney(u"LB-1", u"1001", u"1001", u""));
  EXPECT_FALSE(Agent().CheckConsumeMoney(u"LB-1", u"1002", u"1001", u""));

  EXPECT_FALSE(Post("LB-2", "1002", "99.00"));  // 12.50 on the card: refused, silently
  EXPECT_TRUE(warnings_.shown.empty());

  TClientDataSet report;
  report.SetData(Agent().getMemberBalanceReport(u"G01", u"1001", u"2026-12-08", u"2026-12-08"));
  ASSERT_EQ(report.RecordCount(), 1);
  EXPECT_EQ(report.FieldByName("MemberName")->AsString(), Gbk("张伟"));
  EXPECT_DOUBLE_EQ(report.FieldByName("PayAmount")->AsFloat(), 35.0);

  service.Stop();
  EXPECT_FALSE(Post("LB-3", "1001", "1.00"));
  EXPECT_EQ(Warnings(), std::vector<std::string>{"警告: 会员购票信息保存失败!，请与管理员联系"});
}

TEST_F(AgentOverLoopback, PlatformSessionLooksUpAndChargesOnce) {
  const quorl::test::TempFolder folder("quorl-agent-htk-");
  quorl::test::HtkSim platform(folder.File("htk.db"), kPlatformKey, kMerchant);
  ASSERT_NE(platform.Port(), 0);
  PointAddressesAt("http://127.0.0.1:1/services/TicketManage", platform.BaseUrl());
  UsePlatformAddresses();
  quorl::SetHttpTransportFactory(nullptr);

  TQueryUserInfoConditionRecord_ZEL c;
  c.MemberNum = "8600000001";
  c.Password = "123456";
  std::unique_ptr<TMemberUserInfoList_ZEL> list(Agent().GetUserInfo(c, "H"));
  ASSERT_EQ(list->Count(), 2);  // the member's two cards
  EXPECT_EQ(list->GetItems(0)->MemberName, Gbk("陈晓明"));

  auto post = [&](const std::string& order, const std::string& money) {
    TStringList lines;
    for (const std::string& l : std::vector<std::string>{"", "", "card_no=8600000002", "order_no=" + order,
                                                         "money=" + money, "points=20", "emp_no=1001"})
      lines.Add(l);
    return Impl().ComsumeInfoPost_ByHTK(&lines, "", true, false);
  };
  EXPECT_EQ(post("HTK-LB-1", "20.50").rfind("A00006", 0), 0u);
  const std::string again = post("HTK-LB-1", "20.50");
  EXPECT_EQ(again.rfind("A00006", 0), 0u);
  EXPECT_NE(quorl::GbkToUtf8(again).find("未重复扣款"), std::string::npos) << quorl::GbkToUtf8(again);
  EXPECT_EQ(post("HTK-LB-2", "500.00"), "");  // more than the card holds: refused, silently
  list.reset(Agent().GetUserInfo(c, "H"));
  ASSERT_EQ(list->Count(), 2);
  EXPECT_EQ(list->GetItems(1)->MemberBalance, "100");
  EXPECT_TRUE(warnings_.shown.empty());
  platform.Stop();
}

}  // namespace
