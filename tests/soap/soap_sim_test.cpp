// The SOAP client against the TicketManage simulator over loopback, for every
// operation the package uses; and the ticketmanage tool end to end.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <pugixml.hpp>
#include <set>

#include "platform/Application.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "platform/Http.h"
#include "soap/SimProcess.h"
#include "soap/SoapAnswerReader.h"
#include "soap/THTTPRIO.h"
#include "soap/TicketManage_WSDL.h"

namespace {

using quorl::IntfPtr;
using quorl::test::Result;
using quorl::test::RunProgram;
using quorl::test::TempFolder;
using quorl::test::TicketManageSim;

// The answer document, parsed; the answers are UTF-16 text.
struct Doc {
  explicit Doc(const std::u16string& text) {
    utf8 = quorl::Utf16ToUtf8(text);
    ok = static_cast<bool>(doc.load_string(utf8.c_str()));
  }
  pugi::xml_node data() const { return doc.child("data"); }
  std::vector<std::string> Attr(const char* name) const {
    std::vector<std::string> out;
    for (pugi::xml_node i = data().child("dataitem"); i; i = i.next_sibling("dataitem"))
      out.push_back(i.attribute(name).value());
    return out;
  }
  std::string utf8;
  pugi::xml_document doc;
  bool ok = false;
};

std::u16string U(const std::string& utf8) { return quorl::Utf8ToUtf16(utf8); }

std::u16string Consumption(const std::string& member, const std::string& cost, const std::string& order,
                           const std::string& creater = "1001",
                           const std::string& time = "2024-05-01 10:00:00",
                           const std::string& group = "G01") {
  return U("<?xml version=\"1.0\" encoding=\"UTF-8\"?><MemberConsume><MC_Time>" + time +
           "</MC_Time><MC_PriceSum>99.00</MC_PriceSum><MC_CostType>会员卡</MC_CostType><MC_Cost>" + cost +
           "</MC_Cost><MC_MemberID>" + member + "</MC_MemberID><MC_Creater>" + creater +
           "</MC_Creater><MC_OrderCode>" + order + "</MC_OrderCode><MC_Group>" + group +
           "</MC_Group><Consume><CL_PriceLevel>A</CL_PriceLevel><CL_WarePrice>50</CL_WarePrice>"
           "<CL_WareNum>1</CL_WareNum><CL_CostSum>50</CL_CostSum></Consume></MemberConsume>");
}

class SimTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    TicketManage_WSDL_Initialize();
    folder_ = new TempFolder();
    sim_ = new TicketManageSim(folder_->File("sim.db"));
  }
  static void TearDownTestSuite() {
    delete sim_;
    delete folder_;
    sim_ = nullptr;
    folder_ = nullptr;
  }
  // The runtime's own defaults: strict about answer types, ASCII body.
  IntfPtr<TicketManage> Service() { return GetTicketManage(false, sim_->Endpoint(), nullptr); }
  std::string Balance(const std::string& card) {
    return Doc(Service()->getSurplus(U(card))).Attr("memberBalance").at(0);
  }

  static TempFolder* folder_;
  static TicketManageSim* sim_;
};
TempFolder* SimTest::folder_ = nullptr;
TicketManageSim* SimTest::sim_ = nullptr;

TEST_F(SimTest, GetUserInfo2MatchesEveryNonEmptyCriterionWithinTheGroup) {
  struct Case {
    std::vector<std::string> criteria;  // the eight parts
    std::vector<std::string> ids;
  };
  const std::vector<Case> cases = {
      {{"", "", "", "", "", "", "", "G01"}, {"1001", "1002", "1003"}},
      {{"", "", "", "", "", "", "", ""}, {"1001", "1002", "1003", "2001", "2002", "2003"}},
      {{"", "", "张", "", "", "", "", "G01"}, {"1001"}},
      {{"", "8800000004", "", "", "", "", "", "G01"}, {}},
      {{"", "8800000004", "", "", "", "", "", "G02"}, {"2001"}},
      {{"", "", "", "01", "", "", "", "G02"}, {"2001", "2003"}},
      {{"", "", "", "", "E12345678", "", "", ""}, {"1002"}},
      {{"", "", "", "", "", "010-62001001", "", ""}, {"1001"}},
      {{"", "", "", "", "", "", "13800000002", ""}, {"1002"}},
      {{"2002", "", "", "", "", "", "", ""}, {"2002"}},
      {{"1001", "8800000002", "", "", "", "", "", ""}, {}},
  };
  IntfPtr<TicketManage> svc = Service();
  for (const Case& c : cases) {
    std::string trace;
    for (const auto& s : c.criteria) trace += "[" + s + "]";
    SCOPED_TRACE(trace);
    const auto& k = c.criteria;
    Doc d(svc->getUserInfo2(U(k[0]), U(k[1]), U(k[2]), U(k[3]), U(k[4]), U(k[5]), U(k[6]), U(k[7])));
    ASSERT_TRUE(d.ok) << d.utf8;
    EXPECT_EQ(d.Attr("memberID"), c.ids);
  }
}

TEST_F(SimTest, MemberInfoItemsCarryEveryAttribute) {
  Doc d(Service()->getUserInfo2(u"", u"8800000001", u"", u"", u"", u"", u"", u"G01"));
  pugi::xml_node item = d.data().child("dataitem");
  ASSERT_TRUE(item);
  for (const char* a :
       {"memberID",       "memberNum",     "memberValid",  "memberName",      "memberType",
        "memberTypeName", "cardType",      "cardTypeName", "certificateType", "certificateNum",
        "phoneNum",       "mobileNum",     "sAddress",     "sEmail",          "cardstatus",
        "memberBalance",  "isfeesmember",  "Points",       "memberGroupcode", "PayPassword",
        "IsOneCard",      "ConsumePoints", "ConsumeMoney"})
    EXPECT_TRUE(item.attribute(a)) << a;
  EXPECT_STREQ(item.attribute("memberName").value(), "张伟");
  EXPECT_STREQ(item.attribute("memberGroupcode").value(), "G01");
  // No declaration: the client converts the text to its own code page.
  EXPECT_EQ(d.utf8.find("<?xml"), std::string::npos);
}

TEST_F(SimTest, CheckTicketOperationsAnswerTheCheckTicketDocument) {
  IntfPtr<TicketManage> svc = Service();
  struct Case {
    const char* name;
    std::u16string answer;
    bool image;
  };
  const std::vector<Case> cases = {
      {"getSurplus", svc->getSurplus(u"8800000001"), false},
      {"getSurplusByImage", svc->getSurplusByImage(u"8800000001"), true},
      {"getMemberInfo", svc->getMemberInfo(u"8800000001"), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Doc d(c.answer);
    ASSERT_TRUE(d.ok);
    pugi::xml_node item = d.data().child("dataitem");
    EXPECT_STREQ(item.attribute("memberNum").value(), "8800000001");
    EXPECT_STREQ(item.attribute("surplusCount").value(), "5");
    EXPECT_STREQ(item.attribute("memberName").value(), "张伟");
    EXPECT_EQ(static_cast<bool>(item.attribute("Base64Image")), c.image);
    EXPECT_STREQ(d.data().child("book").child_value("activity_name"), "春节联欢音乐会");
  }
  Doc unknown(svc->getSurplus(u"0000"));
  ASSERT_TRUE(unknown.ok);
  EXPECT_TRUE(unknown.data());
  EXPECT_FALSE(unknown.data().first_child());
}

TEST_F(SimTest, ComsumeInfoPostChargesOncePerOrderAndRefusesSilently) {
  IntfPtr<TicketManage> svc = Service();
  EXPECT_EQ(Balance("8800000001"), "500.00");
  EXPECT_EQ(svc->ComsumeInfoPost(Consumption("1001", "12.50", "POST-1")), 1);
  EXPECT_EQ(Balance("8800000001"), "487.50");
  EXPECT_EQ(svc->ComsumeInfoPost(Consumption("1001", "12.50", "POST-1")), 1);
  EXPECT_EQ(Balance("8800000001"), "487.50");
  // MC_PriceSum stands in for an empty MC_Cost; the card number names the member too.
  EXPECT_EQ(svc->ComsumeInfoPost(Consumption("8800000001", "", "POST-2")), 1);
  EXPECT_EQ(Balance("8800000001"), "388.50");

  struct Refusal {
    const char* name;
    std::u16string document;
  };
  const std::vector<Refusal> refusals = {
      {"unknown member", Consumption("9999", "1", "R-1")},
      {"balance too low", Consumption("1002", "100", "R-2")},
      {"invalid member", Consumption("2002", "1", "R-3")},
      {"bad amount", Consumption("1001", "-5", "R-4")},
      {"three decimals", Consumption("1001", "1.005", "R-5")},
      {"no order code", Consumption("1001", "1", "")},
      {"same order, other member", Consumption("1002", "1", "POST-1")},
      {"malformed", u"<MemberConsume><MC_MemberID>1001"},
      {"other document", u"<data/>"},
      {"doctype", u"<!DOCTYPE MemberConsume []><MemberConsume/>"},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(svc->ComsumeInfoPost(r.document), 0);
  }
  EXPECT_EQ(Balance("8800000002"), "12.50");
  EXPECT_EQ(Balance("8800000001"), "388.50");

  // Named values as attributes are read as well.
  EXPECT_EQ(svc->ComsumeInfoPost(
                U("<MemberConsume MC_MemberID=\"1002\" MC_Cost=\"2.5\" MC_OrderCode=\"ATTR-1\"/>")),
            1);
  EXPECT_EQ(Balance("8800000002"), "10.00");
}

// One order code is one consumption: a repeat is accepted without a charge
// only when it names the same member and amount; anything else is refused
// and changes nothing.
TEST_F(SimTest, AStoredOrderCodeIsAcceptedAgainOnlyForTheSameConsumption) {
  IntfPtr<TicketManage> svc = Service();
  const std::string otherBefore = Balance("8800000001");
  ASSERT_EQ(svc->ComsumeInfoPost(Consumption("1003", "20.00", "ONE-1")), 1);
  ASSERT_EQ(Balance("8800000003"), "280.00");
  struct Repeat {
    const char* what;
    std::u16string document;
    int32_t answer;
  };
  const std::vector<Repeat> repeats = {
      {"same consumption", Consumption("1003", "20.00", "ONE-1"), 1},
      {"member by card, amount written otherwise", Consumption("8800000003", "20", "ONE-1"), 1},
      {"other time, operator and group", Consumption("1003", "20.0", "ONE-1", "1002", "2024-05-02", "G02"),
       1},
      {"smaller amount", Consumption("1003", "19.99", "ONE-1"), 0},
      {"larger amount", Consumption("1003", "40.00", "ONE-1"), 0},
      {"amount from MC_PriceSum", Consumption("1003", "", "ONE-1"), 0},
      {"other member", Consumption("1001", "20.00", "ONE-1"), 0},
      {"other member by card", Consumption("8800000001", "20.00", "ONE-1"), 0},
  };
  for (const Repeat& r : repeats) {
    SCOPED_TRACE(r.what);
    EXPECT_EQ(svc->ComsumeInfoPost(r.document), r.answer);
    EXPECT_EQ(Balance("8800000003"), "280.00");
    EXPECT_EQ(Balance("8800000001"), otherBefore);
  }
  EXPECT_EQ(svc->CheckConsumeMoney(u"ONE-1", u"1003", u"", u""), 1);
  EXPECT_EQ(svc->CheckConsumeMoney(u"ONE-1", u"1001", u"", u""), 0);
}

TEST_F(SimTest, CheckConsumeMoneyKnowsTheOrdersOfEachMember) {
  IntfPtr<TicketManage> svc = Service();
  ASSERT_EQ(svc->ComsumeInfoPost(Consumption("2001", "10", "CHK-1", "2001", "2024-06-01 09:00", "G02")), 1);
  EXPECT_EQ(svc->CheckConsumeMoney(u"CHK-1", u"2001", u"2001", u"T1"), 1);
  EXPECT_EQ(svc->CheckConsumeMoney(u"CHK-1", u"8800000004", u"", u""), 1);
  EXPECT_EQ(svc->CheckConsumeMoney(u"CHK-1", u"1001", u"2001", u"T1"), 0);
  EXPECT_EQ(svc->CheckConsumeMoney(u"NO-SUCH", u"2001", u"2001", u"T1"), 0);
  EXPECT_EQ(svc->CheckConsumeMoney(u"", u"", u"", u""), 0);
}

TEST_F(SimTest, BalancerReportListsTheOperatorsPaymentsInThePeriod) {
  IntfPtr<TicketManage> svc = Service();
  ASSERT_EQ(svc->ComsumeInfoPost(Consumption("1001", "20", "REP-1", "1002", "2024-07-01 10:00:00")), 1);
  ASSERT_EQ(svc->ComsumeInfoPost(Consumption("1001", "5.5", "REP-2", "1002", "2024-07-02 23:30:00")), 1);
  ASSERT_EQ(svc->ComsumeInfoPost(Consumption("1001", "1", "REP-3", "1002", "2024-07-03 00:00:01")), 1);
  ASSERT_EQ(svc->ComsumeInfoPost(Consumption("1001", "1", "REP-4", "1001", "2024-07-02 12:00:00")), 1);
  ASSERT_EQ(svc->ComsumeInfoPost(Consumption("2001", "1", "REP-5", "1002", "2024-07-02 12:00:00", "G02")), 1);

  Doc d(svc->getBalancerReport(u"G01", u"1002", u"2024-07-01", u"2024-07-02"));
  ASSERT_TRUE(d.ok) << d.utf8;
  EXPECT_EQ(d.Attr("pamount"), (std::vector<std::string>{"20.00", "5.50"}));
  EXPECT_EQ(d.Attr("opearatedID"), (std::vector<std::string>{"3", "3"}));
  EXPECT_EQ(d.Attr("userName"), (std::vector<std::string>{"李晓红", "李晓红"}));
  EXPECT_EQ(d.Attr("userCode"), (std::vector<std::string>{"1002", "1002"}));
  EXPECT_EQ(d.Attr("membername"), (std::vector<std::string>{"张伟", "张伟"}));
  EXPECT_EQ(d.Attr("membermobileno"), (std::vector<std::string>{"13800000001", "13800000001"}));
  EXPECT_EQ(d.Attr("paymentname"), (std::vector<std::string>{"会员卡", "会员卡"}));

  EXPECT_EQ(Doc(svc->getBalancerReport(u"G02", u"1002", u"2024-07-01", u"2024-07-31")).Attr("pamount"),
            (std::vector<std::string>{"1.00"}));
  EXPECT_TRUE(
      Doc(svc->getBalancerReport(u"G01", u"2001", u"2024-07-01", u"2024-07-31")).Attr("pamount").empty());
  // An operator the service did not know gets an id of its own.
  ASSERT_EQ(svc->ComsumeInfoPost(Consumption("1001", "1", "REP-6", "新收银员", "2024-08-01 10:00")), 1);
  const auto ids = Doc(svc->getBalancerReport(u"G01", U("新收银员"), u"", u"")).Attr("opearatedID");
  ASSERT_EQ(ids.size(), 1u);
  EXPECT_GT(std::stoi(ids[0]), 4);
  EXPECT_THROW(svc->getBalancerReport(u"G01", u"1002", u"yesterday", u""), ERemotableException);
}

TEST_F(SimTest, OtherOperationsAnswerSensibly) {
  IntfPtr<TicketManage> svc = Service();
  EXPECT_EQ(Doc(svc->getUserInfo(u"", u"8800000004", u"", u"", u"", u"", u"")).Attr("memberID"),
            (std::vector<std::string>{"2001"}));
  EXPECT_EQ(svc->ValidMember(u"", u"", u"", u"8800000001", u"e10adc3949ba59abbe56e057f20f883e", u"1"), u"1");
  EXPECT_EQ(svc->ValidMember(u"", u"", u"", u"8800000001", u"wrong", u"1"), u"0");
  EXPECT_EQ(svc->ValidMember(u"", u"02", u"E12345678", u"", u"21218cca77804d2ba1922c33e0151105", u""), u"1");
  EXPECT_EQ(Doc(svc->getTokenUserInfo(u"token-zhangwei")).Attr("memberID"),
            (std::vector<std::string>{"1001"}));
  EXPECT_TRUE(Doc(svc->getTokenUserInfo(u"")).Attr("memberID").empty());
  EXPECT_EQ(svc->SyncOrderData(u"<orders/>"), u"1");
  EXPECT_EQ(svc->SyncOrderData(u""), u"0");
}

TEST_F(SimTest, ChineseTextTravelsInBothBodyEncodings) {
  THTTPRIO* rio = new THTTPRIO();
  rio->Converter().Include(quorl::SoapConvertOption::UTF8Text);
  IntfPtr<TicketManage> utf8 = GetTicketManage(false, sim_->Endpoint(), rio);
  EXPECT_EQ(Doc(utf8->getUserInfo2(u"", u"", u"李娜", u"", u"", u"", u"", u"")).Attr("memberID"),
            (std::vector<std::string>{"1002"}));
  EXPECT_EQ(Doc(Service()->getUserInfo2(u"", u"", u"李娜", u"", u"", u"", u"", u"")).Attr("memberID"),
            (std::vector<std::string>{"1002"}));
}

TEST_F(SimTest, BindingThroughTheServicesWsdl) {
  IntfPtr<TicketManage> svc = GetTicketManage(true, sim_->Endpoint() + "?wsdl", nullptr);
  EXPECT_EQ(Doc(svc->getSurplus(u"8800000004")).Attr("memberID"), (std::vector<std::string>{"2001"}));

  TIdHTTP http;
  const std::string wsdl = http.Get(sim_->Endpoint() + "?wsdl");
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(wsdl.c_str()));
  pugi::xml_node defs = doc.child("wsdl:definitions");
  EXPECT_STREQ(defs.attribute("targetNamespace").value(), quorl::kTicketManageNamespace);
  EXPECT_STREQ(defs.child("wsdl:binding").child("soap:binding").attribute("style").value(), "rpc");
  EXPECT_STREQ(defs.child("wsdl:binding")
                   .child("wsdl:operation")
                   .child("wsdl:input")
                   .child("soap:body")
                   .attribute("use")
                   .value(),
               "encoded");
  size_t operations = 0;
  for (pugi::xml_node o : defs.child("wsdl:portType").children("wsdl:operation")) {
    EXPECT_EQ(o.attribute("name").value(), quorl::TicketManageInfo().methods.at(operations).name);
    ++operations;
  }
  EXPECT_EQ(operations, 11u);
}

// A service under a namespace of its own: a client bound by address calls in
// the registered namespace and is refused until the configuration file names
// the service's; a client bound through the WSDL takes it from there.
TEST(SimNamespace, CallsSucceedOnlyInTheServicesNamespace) {
  TicketManage_WSDL_Initialize();
  TempFolder folder;
  TicketManageSim sim(folder.File("ns.db"), true, {"--namespace", "urn:site:ticketmanage"});
  quorl::SetApplicationDirectory(folder.File(""));
  const auto member = [](IntfPtr<TicketManage> svc) {
    return Doc(svc->getSurplus(u"8800000004")).Attr("memberID");
  };
  EXPECT_THROW(member(GetTicketManage(false, sim.Endpoint(), nullptr)), ERemotableException);
  EXPECT_EQ(member(GetTicketManage(true, sim.Endpoint() + "?wsdl", nullptr)),
            (std::vector<std::string>{"2001"}));
  std::ofstream(folder.File("QUORLZELCLIENT.LIC"))
      << "[WSDLCONFIGURE]\nTICKETMANAGENAMESPACE=urn:site:ticketmanage\nTICKETMANAGEURL=" << sim.Endpoint()
      << "\n";
  EXPECT_EQ(member(GetTicketManage(false, "", nullptr)), (std::vector<std::string>{"2001"}));
  quorl::SetApplicationDirectory("");
  TicketManage_WSDL_Initialize();
  // The calling tool: its own namespace option, refused beside --wsdl.
  const std::string tool = quorl::test::BinaryDir() + "/bin/ticketmanage";
  EXPECT_EQ(RunProgram({tool, sim.Endpoint(), "getSurplus", "8800000004"}).exitCode, 1);
  const Result r =
      RunProgram({tool, "--namespace", "urn:site:ticketmanage", sim.Endpoint(), "getSurplus", "8800000004"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("memberID=\"2001\""), std::string::npos) << r.out;
  EXPECT_EQ(RunProgram({tool, "--wsdl", "--namespace", "urn:x", sim.Endpoint(), "getSurplus", "1"}).exitCode,
            2);
}

TEST_F(SimTest, HostileRequestsGetFaultsNotCrashes) {
  TIdHTTP http;
  struct Case {
    const char* name;
    std::string body;
    int status;
  };
  const std::string env = "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>";
  const std::vector<Case> cases = {
      {"unknown operation", env + "<n:dropTables xmlns:n=\"urn:x\"/></s:Body></s:Envelope>", 500},
      {"malformed", "<s:Envelope><unclosed>", 500},
      {"not an envelope", "<html/>", 500},
      {"doctype",
       "<!DOCTYPE s:Envelope [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" + env +
           "<n:getSurplus xmlns:n=\"urn:x\"><memberNum>&x;</memberNum></n:getSurplus></s:Body></s:Envelope>",
       500},
      {"oversized", std::string(5u << 20, 'a'), 413},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      http.Post(sim_->Endpoint(), c.body, "text/xml; charset=utf-8");
      ADD_FAILURE() << "accepted";
    } catch (const EIdHTTPProtocolException& e) {
      EXPECT_EQ(e.ErrorCode(), c.status);
      EXPECT_THROW(quorl::SoapAnswerReader::RaiseIfFault(e.ErrorMessage()), ERemotableException);
    }
  }
  // Still serving.
  EXPECT_EQ(Doc(Service()->getSurplus(u"8800000004")).Attr("memberID"), (std::vector<std::string>{"2001"}));
}

TEST(SimProcessTest, StopsCleanlyOnSigterm) {
  TempFolder folder;
  TicketManageSim sim(folder.File("stop.db"), false);
  EXPECT_GT(sim.Port(), 0);
  EXPECT_EQ(sim.Stop(), 0);
}

// --- the ticketmanage tool ---------------------------------------------------

class ToolTest : public SimTest {
 protected:
  Result Tool(std::vector<std::string> args) {
    args.insert(args.begin(), quorl::test::BinaryDir() + "/bin/ticketmanage");
    return RunProgram(std::move(args));
  }
};

TEST_F(ToolTest, PrintsTheResultWithoutNewline) {
  Result r = Tool({sim_->Endpoint(), "getUserInfo2", "", "", "王芳", "", "", "", "", "G01"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.rfind("<data><dataitem memberID=\"1003\"", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("王芳"), std::string::npos);
  EXPECT_NE(r.out.back(), '\n');

  r = Tool({sim_->Endpoint(), "CheckConsumeMoney", "none", "1001", "u", "t"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "0");

  r = Tool({"--wsdl", sim_->Endpoint() + "?wsdl", "ComsumeInfoPost",
            quorl::Utf16ToUtf8(Consumption("2001", "3", "TOOL-1", "2001", "2024-09-01", "G02"))});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "1");
}

TEST_F(ToolTest, ExitCodes) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char* errFragment;
  };
  const std::vector<Case> cases = {
      {{"--help"}, 0, ""},
      {{}, 2, "usage:"},
      {{sim_->Endpoint()}, 2, "usage:"},
      {{sim_->Endpoint(), "noSuchOperation"}, 2, "unknown operation"},
      {{sim_->Endpoint(), "getSurplus"}, 2, "takes 1 arguments"},
      {{sim_->Endpoint(), "getSurplus", "1", "2"}, 2, "takes 1 arguments"},
      {{"http://127.0.0.1:1/services/TicketManage", "getSurplus", "1"}, 1, "ticketmanage: "},
      {{sim_->Endpoint(), "getBalancerReport", "G01", "1001", "not-a-date", ""}, 1, "SOAP fault"},
      {{"--wsdl", "http://127.0.0.1:" + std::to_string(sim_->Port()) + "/nowhere", "getSurplus", "1"},
       1,
       "ticketmanage: "},
  };
  for (const Case& c : cases) {
    std::string trace;
    for (const auto& a : c.args) trace += a + " ";
    SCOPED_TRACE(trace);
    Result r = Tool(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_NE(r.err.find(c.errFragment), std::string::npos) << r.err;
    if (c.exitCode == 1) {
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one line: " << r.err;
      EXPECT_TRUE(r.out.empty());
    }
  }
}

}  // namespace
