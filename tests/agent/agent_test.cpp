// The agent against fakes: factory and lifetimes, lookups per connection
// mode, postings under the post/print switches, validation, the balance
// report and printing.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>

#include "agent/AgentFixture.h"
#include "agent/AgentInternal.h"
#include "agent/PostingJournal.h"
#include "host/DBPipe.h"
#include "host/QuorlContext.h"
#include "huitouke/HtkTestSupport.h"
#include "huitouke/uHuiTouKe_ZEL.h"
#include "json/JsonTestUtil.h"
#include "platform/ClientDataSet.h"
#include "platform/Lists.h"
#include "soap/THTTPRIO.h"
#include "soap/TMemberSysSoapAgent_ZEL.h"

namespace {

using quorl::test::FakeHttpFault;
using quorl::test::FormFields;
using quorl::test::Gbk;
using quorl::test::ReadPacket;
using quorl::test::SoapAnswer;
using quorl::test::SoapCall;

const std::string kPostingWarning = "警告: 会员购票信息保存失败!，请与管理员联系";
const std::string kCheckWarning = "警告: 会员校验失败，请与管理员联系";
const std::string kReportWarning = "警告: 会员储入信息查询失败!，请与管理员联系";

const char* kMemberInfoAnswer =
    "<data><dataitem memberID=\"1001\" memberNum=\"8800000001\" memberValid=\"1\" memberName=\"张伟\"/>"
    "<dataitem memberID=\"1002\" memberNum=\"8800000002\" memberValid=\"0\" memberName=\"李娜\"/></data>";

class MemberSysAgent : public quorl::test::AgentFixture {};

// ---- factory and lifetimes ----

TEST_F(MemberSysAgent, FactoryMakesANewAgentPerCallAndKeepsTheLast) {
  const int clients = THTTPRIO::InstanceCount();
  quorl::IntfPtr<IMemberSysAgent_ZEL> first = MemberSysAgentIntf();
  quorl::IntfPtr<IMemberSysAgent_ZEL> second = MemberSysAgentIntf();
  ASSERT_TRUE(first && second);
  EXPECT_NE(first.get(), second.get());
  EXPECT_EQ(quorl::LastAgentReference().get(), static_cast<IInterface*>(second.get()));
  EXPECT_EQ(THTTPRIO::InstanceCount(), clients + 2);  // one SOAP client per agent

  // The first lives on while the host holds it; released, it is gone.
  EXPECT_EQ(first->Hello(""), "Hello");
  first.reset();
  EXPECT_EQ(THTTPRIO::InstanceCount(), clients + 1);
  // The factory's reference keeps the second after the host lets it go ...
  second.reset();
  EXPECT_EQ(THTTPRIO::InstanceCount(), clients + 1);
  // ... until unload releases it.
  quorl::uCoreMemberSys_ZEL_Finalize();
  EXPECT_FALSE(quorl::LastAgentReference());
  EXPECT_EQ(THTTPRIO::InstanceCount(), clients);
}

TEST_F(MemberSysAgent, FailingConstructionRaisesAndKeepsThePreviousAgent) {
  quorl::IntfPtr<IMemberSysAgent_ZEL> kept = MemberSysAgentIntf();
  IInterface* const last = quorl::LastAgentReference().get();
  const int clients = THTTPRIO::InstanceCount();
  // The address lookup cannot open a database in a folder that does not exist.
  _QuorlContext()->SetAsString(quorl::MakeContextString("N001", "G01", dir_ + "/missing/host.db"));
  EXPECT_THROW(MemberSysAgentIntf(), Exception);
  EXPECT_EQ(quorl::LastAgentReference().get(), last);
  EXPECT_EQ(THTTPRIO::InstanceCount(), clients);  // the half-built agent left nothing behind
}

TEST_F(MemberSysAgent, EachAgentReadsTheAddressesAgainAndItsPartsFollowThem) {
  quorl::IntfPtr<IMemberSysAgent_ZEL> soapAgent = MemberSysAgentIntf();
  EXPECT_EQ(_MemberSysSoapURL_ZEL, "http://127.0.0.1:18081/services/TicketManage");
  EXPECT_EQ(dynamic_cast<TMemberSysAgentImpl_ZEL&>(*soapAgent).PlatformClient().MerchantId(), "");

  UsePlatformAddresses();
  quorl::IntfPtr<IMemberSysAgent_ZEL> htkAgent = MemberSysAgentIntf();
  EXPECT_EQ(_MemberSysSoapURL_ZEL, "http://127.0.0.1:18082/api/");
  auto& impl = dynamic_cast<TMemberSysAgentImpl_ZEL&>(*htkAgent);
  EXPECT_EQ(impl.PlatformClient().MerchantId(), "DEMO-SBS-0001");
  EXPECT_EQ(impl.PlatformClient().StoreId(), "DEMO-STORE-01");
  EXPECT_EQ(impl.SoapAgent().SoapClient->URL(), "http://127.0.0.1:18082/api/");
}

TEST_F(MemberSysAgent, AnswersItsInterfaceAndHelloWhateverTheText) {
  void* out = nullptr;
  ASSERT_EQ(Agent().QueryInterface(IMemberSysAgent_ZEL::IID, &out), S_OK);
  quorl::IntfPtr<IMemberSysAgent_ZEL> again =
      quorl::IntfPtr<IMemberSysAgent_ZEL>::Adopt(static_cast<IMemberSysAgent_ZEL*>(out));
  EXPECT_EQ(again.get(), &Agent());
  for (const std::string& text : std::vector<std::string>{"", "Hello", "x", Gbk("会员")})
    EXPECT_EQ(Agent().Hello(text), "Hello");
  EXPECT_TRUE(http_.server.requests.empty());
}

// ---- lookups ----

TEST_F(MemberSysAgent, WebServiceLookupSendsTheCriteriaInOrderWithSkipsAsEmptyText) {
  TQueryUserInfoConditionRecord_ZEL c;
  c.MemberID = "1001";
  c.MemberNum = "8800000001";
  c.MemberName = Gbk("张伟");
  c.CertificateType.Code = "01";
  c.CertificateType.Name = Gbk("身份证");  // only the code is sent
  c.CertificateNum = "110";
  c.PhoneNum = "010";
  c.MobileNum = "138";
  c.Password = "secret";
  c.SkipMemberName = true;  // set flag: empty text although the field holds a name
  c.SkipPhoneNum = true;
  c.MobileNum.clear();  // cleared flag: empty text is sent as it is
  http_.server.Respond(200, SoapAnswer(kMemberInfoAnswer));

  std::unique_ptr<TMemberUserInfoList_ZEL> list(Agent().GetUserInfo(c, "N"));
  ASSERT_EQ(http_.server.requests.size(), 1u);
  const SoapCall call = SoapCalls()[0];
  EXPECT_EQ(call.operation, "getUserInfo2");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"memberID", "1001"},     {"memberNum", "8800000001"}, {"memberName", ""}, {"certificateType", "01"},
      {"certficateNum", "110"}, {"sPhoneNum", ""},           {"sMobileNum", ""}, {"sMemberGroup", "G01"}};
  EXPECT_EQ(call.parts, expected);  // the password is never sent to the web service
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count(), 2);
  EXPECT_EQ(list->GetItems(0)->MemberName, Gbk("张伟"));
  EXPECT_FALSE(list->GetItems(1)->MemberValid);
}

TEST_F(MemberSysAgent, GroupCodeIsFetchedAnewOnEveryCall) {
  http_.server.handler = [](const quorl::HttpRequest&) {
    return quorl::HttpResponse{200, {}, SoapAnswer("<data/>"), ""};
  };
  TQueryUserInfoConditionRecord_ZEL c;
  delete Agent().GetUserInfo(c, "N");
  _QuorlContext()->SetGroupCode("G02");
  delete Agent().GetUserInfo(c, "N");
  const auto calls = SoapCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].parts.back().second, "G01");
  EXPECT_EQ(calls[1].parts.back().second, "G02");
}

TEST_F(MemberSysAgent, MemberAccountLookupReadsTheHostDatabaseWithinTheGroup) {
  TQueryUserInfoConditionRecord_ZEL c;
  c.MemberNum = "8800000001";
  c.MemberName = "nobody";
  c.SkipMemberName = true;
  c.Password = "wrong";  // platform only
  std::unique_ptr<TMemberUserInfoList_ZEL> list(Agent().GetUserInfo(c, "Y"));
  ASSERT_EQ(list->Count(), 1);
  EXPECT_EQ(list->GetItems(0)->MemberID, "1001");
  EXPECT_EQ(list->GetItems(0)->MemberName, Gbk("张伟"));
  EXPECT_EQ(list->GetItems(0)->CertificateType.Name, Gbk("身份证"));

  _QuorlContext()->SetGroupCode("G02");  // the member belongs to G01
  list.reset(Agent().GetUserInfo(c, "Y"));
  EXPECT_EQ(list->Count(), 0);
  EXPECT_TRUE(http_.server.requests.empty());
}

TEST_F(MemberSysAgent, PlatformLookupSendsOnlyTheNumberAndPassword) {
  UsePlatformAddresses();
  const std::string answer =
      quorl::test::ReadFile(std::string(QUORL_TEST_SOURCE_DIR) + "/tests/data/htk_card_list_answer.json");
  for (const bool skipPassword : {false, true}) {
    SCOPED_TRACE(skipPassword);
    http_.server.requests.clear();
    http_.server.Respond(200, answer);
    TQueryUserInfoConditionRecord_ZEL c;
    c.MemberNum = "8600000001";
    c.Password = "123456";
    c.SkipPassword = skipPassword;
    c.MemberID = "77";
    c.MobileNum = "13900000000";
    std::unique_ptr<TMemberUserInfoList_ZEL> list(Agent().GetUserInfo(c, "H"));
    ASSERT_EQ(http_.server.requests.size(), 1u);
    EXPECT_EQ(http_.server.requests[0].url, "http://127.0.0.1:18082/api/get_card_list");
    const auto fields = FormFields(http_.server.requests[0].body);
    ASSERT_EQ(fields.size(), 5u);
    EXPECT_EQ(fields[0], std::make_pair(std::string("sbs_id"), std::string("DEMO-SBS-0001")));
    EXPECT_EQ(fields[1], std::make_pair(std::string("mobile"), std::string("8600000001")));
    EXPECT_EQ(fields[2].second, skipPassword ? "" : SetEncrypt("demo-htk-key-N001", "123456"));
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(list->GetItems(0)->MemberNum, "8600000001");
  }
}

TEST_F(MemberSysAgent, OtherModesAskNoBackEndAndGiveNoList) {
  TQueryUserInfoConditionRecord_ZEL c;
  c.MemberNum = "8800000001";
  Agent();
  TakeQueries();
  for (const char* mode : {"y", "n", "h", "", "YN", "Y ", " N"}) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(Agent().GetUserInfo(c, mode), nullptr);
  }
  EXPECT_TRUE(http_.server.requests.empty());
  EXPECT_TRUE(TakeQueries().empty());
}

TEST_F(MemberSysAgent, CheckTicketQueriesCallTheirOperationAndBindTheAnswer) {
  using Query = quorl::IntfPtr<IXMLDataType> (IMemberSysAgent_ZEL::*)(const std::u16string&);
  const struct {
    Query query;
    const char* operation;
    const char* part;
  } cases[] = {
      {&IMemberSysAgent_ZEL::getMemberInfo, "getMemberInfo", "strMemberNum"},
      {&IMemberSysAgent_ZEL::GetSurplus, "getSurplus", "memberNum"},
      {&IMemberSysAgent_ZEL::getSurplusByImage, "getSurplusByImage", "strMemberNum"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.operation);
    http_.server.requests.clear();
    http_.server.Respond(200, SoapAnswer("<data><dataitem memberNum=\"8800000001\" memberName=\"张伟\"/>"
                                         "<book><status>已检</status></book></data>"));
    quorl::IntfPtr<IXMLDataType> data = (Agent().*c.query)(u"8800000001");
    ASSERT_TRUE(data);
    EXPECT_EQ(data->Get_Dataitem()->Get_MemberName(), u"张伟");
    EXPECT_EQ(data->Get_Book()->Get_Status(), u"已检");
    const SoapCall call = SoapCalls().at(0);
    EXPECT_EQ(call.operation, c.operation);
    EXPECT_EQ(call.parts, (std::vector<std::pair<std::string, std::string>>{{c.part, "8800000001"}}));
  }
  EXPECT_TRUE(warnings_.shown.empty());
}

TEST_F(MemberSysAgent, LookupsPassEveryErrorOnWithoutAWarning) {
  TQueryUserInfoConditionRecord_ZEL c;
  http_.server.FailNext(FakeHttpFault::kSocketError);
  EXPECT_THROW(delete Agent().GetUserInfo(c, "N"), EIdSocketError);
  http_.server.Respond(500, quorl::test::SoapFault());
  EXPECT_THROW(Agent().GetSurplus(u"1"), ERemotableException);
  http_.server.Respond(200, SoapAnswer("<members/>"));
  EXPECT_THROW(delete Agent().GetUserInfo(c, "N"), Exception);
  http_.server.Respond(200, SoapAnswer("<data><dataitem"));
  EXPECT_THROW(Agent().getMemberInfo(u"1"), EXMLDocError);
  _QuorlContext()->SetAsString(quorl::MakeContextString("N001", "G01", dir_ + "/missing/host.db"));
  EXPECT_THROW(delete Agent().GetUserInfo(c, "Y"), EDatabaseError);
  EXPECT_TRUE(warnings_.shown.empty());
}

// ---- postings ----

enum class Backend { kAccepts, kRefuses, kFails };

struct SwitchCase {
  bool post;
  bool print;
  Backend backend;
  bool accepted;  // the operation's success value
  bool printed;
  bool warned;
};

// The behaviour every posting operation shares.
const SwitchCase kSwitchMatrix[] = {
    {false, false, Backend::kFails, true, false, false},  // nothing is asked
    {false, true, Backend::kFails, true, true, false},    // printed without posting
    {true, false, Backend::kAccepts, true, false, false}, {true, true, Backend::kAccepts, true, true, false},
    {true, true, Backend::kRefuses, false, false, false},  // a refusal is silent
    {true, true, Backend::kFails, false, false, true},     // an error is shown once
};

class Posting : public quorl::test::AgentFixture, public ::testing::WithParamInterface<int> {
 public:
  // Consumptions stored in the host database, read past the context (which
  // a failing case breaks).
  int StoredConsumptions() {
    TCADBPipe pipe;
    TClientDataSet ds;
    ds.SetData(pipe.GetData(quorl::MakeContextString("N001", "G01", db_),
                            "SELECT ORDER_CODE FROM QUORL_CONSUMPTION"));
    return ds.RecordCount();
  }
  void BreakDatabase() {
    _QuorlContext()->SetAsString(quorl::MakeContextString("N001", "G01", dir_ + "/missing/host.db"));
  }
  int Requests() const { return static_cast<int>(http_.server.requests.size()); }
  // The posting journal's entries, as "operation state" texts.
  std::vector<std::string> Journal() const {
    const std::string path = dir_ + "/" + quorl::kPostingJournalFileName;
    std::vector<std::string> out;
    if (!std::filesystem::exists(path)) return out;
    quorl::PostingJournal journal(path);
    for (const quorl::JournalEntry& e : journal.List())
      out.push_back(e.operation + " " + quorl::JournalStateName(e.state));
    return out;
  }
  void RespondJson(const std::string& json) { http_.server.Respond(200, json); }
  void FailRequests() { http_.server.FailAlways(FakeHttpFault::kSocketError); }
  // A fresh folder, database, agent and fakes for the next case.
  void Restart() {
    TearDown();
    SetUp();
    http_.server.FailAlways(FakeHttpFault::kNone);
    http_.server.queued.clear();
    http_.server.requests.clear();
    launcher_.fake.starts.clear();
    warnings_.shown.clear();
  }
  using AgentFixture::Impl;
  using AgentFixture::UsePlatformAddresses;
};

// One posting operation: arranges its back end to accept, refuse or fail,
// calls it (the result as text), and counts what reached the back end.
struct PostingOperation {
  const char* name;
  std::function<std::string(Posting&, Backend, bool post, bool print)> run;
  std::function<int(Posting&)> reached;
  int reachedOnRefusal;        // a refused request reaches a remote back end, not the database
  const char* acceptedResult;  // "true", or the platform's answer
};

std::string BoolText(bool b) { return b ? "true" : "false"; }

const PostingOperation kPostings[] = {
    {"ComsumeInfoPost",
     [](Posting& t, Backend b, bool post, bool print) {
       if (b == Backend::kAccepts) t.RespondJson(SoapAnswer("1", "xsd:int"));
       if (b == Backend::kRefuses) t.RespondJson(SoapAnswer("2", "xsd:int"));
       if (b == Backend::kFails) t.FailRequests();
       TTicketInfoRecordList_VRISK tickets;
       TMemberInfoRecord_VRISK r;
       r.MC_OrderCode = "T1";
       r.Tickets = &tickets;
       return BoolText(t.Impl().ComsumeInfoPost(&r, post, print));
     },
     [](Posting& t) { return t.Requests(); }, 1, "true"},
    {"ComsumeInfoPost_ByServer",
     [](Posting& t, Backend b, bool post, bool print) {
       TMemberSysAgentImpl_ZEL& agent = t.Impl();  // made while the database is there
       if (b == Backend::kFails) t.BreakDatabase();
       const std::string card = b == Backend::kRefuses ? "0000000000" : "8800000001";
       return BoolText(agent.ComsumeInfoPost_ByServer(quorl::test::ServerPacket("S1", card, "10.00"), "1001",
                                                      post, print));
     },
     [](Posting& t) { return t.StoredConsumptions(); }, 0, "true"},
    {"ComsumeInfoPost_ByServer_OrderHandle",
     [](Posting& t, Backend b, bool post, bool print) {
       TMemberSysAgentImpl_ZEL& agent = t.Impl();
       if (b == Backend::kFails) t.BreakDatabase();
       const std::string order = b == Backend::kRefuses ? "NO-SUCH-ORDER" : "WEB20240101000001";
       return BoolText(agent.ComsumeInfoPost_ByServer_OrderHandle(order, "1001", post, print));
     },
     [](Posting& t) { return t.StoredConsumptions(); }, 0, "true"},
    {"ComsumeInfoPost_ByHTK",
     [](Posting& t, Backend b, bool post, bool print) {
       t.UsePlatformAddresses();
       if (b == Backend::kAccepts) t.RespondJson(R"({"code":"A00006","result":"消费成功"})");
       if (b == Backend::kRefuses) t.RespondJson(R"({"code":"A00004","result":"余额不足"})");
       if (b == Backend::kFails) t.FailRequests();
       TStringList lines;
       for (const char* l : {"", "", "card_no=8600000001", "order_no=H1", "money=10.00"}) lines.Add(l);
       return t.Impl().ComsumeInfoPost_ByHTK(&lines, "", post, print);
     },
     [](Posting& t) { return t.Requests(); }, 1,
     "A00006\xcf\xfb\xb7\xd1\xb3\xc9\xb9\xa6"},  // 消费成功 in GBK
};

TEST_P(Posting, FollowsThePostAndPrintSwitches) {
  const PostingOperation& op = kPostings[GetParam()];
  for (const SwitchCase& c : kSwitchMatrix) {
    SCOPED_TRACE(::testing::Message()
                 << "post " << c.post << " print " << c.print << " backend " << static_cast<int>(c.backend));
    Restart();
    const int before = op.reached(*this);
    const std::string result = op.run(*this, c.backend, c.post, c.print);
    std::string expected = c.accepted ? op.acceptedResult : BoolText(false);
    if (op.acceptedResult[0] != 't' && !(c.accepted && c.post)) expected = "";  // platform: text or nothing
    EXPECT_EQ(result, expected);
    int reached = before;
    if (c.post && c.backend == Backend::kAccepts) reached = before + 1;
    if (c.post && c.backend == Backend::kRefuses) reached = before + op.reachedOnRefusal;
    if (c.post && c.backend == Backend::kFails)
      reached = op.reached(*this);  // a failure may come early or late
    EXPECT_EQ(op.reached(*this), reached);
    EXPECT_EQ(launcher_.fake.starts.size(), c.printed ? 1u : 0u);
    EXPECT_EQ(Warnings(), c.warned ? std::vector<std::string>{kPostingWarning} : std::vector<std::string>{});
    // Every request that may reach a back end is journaled with its outcome;
    // these failures all happen before anything is sent.
    const char* state = c.backend == Backend::kAccepts   ? "accepted"
                        : c.backend == Backend::kRefuses ? "refused"
                                                         : "failed-not-sent";
    EXPECT_EQ(Journal(), c.post ? std::vector<std::string>{std::string(op.name) + " " + state}
                                : std::vector<std::string>{});
    // A refused or failed web-service posting leaves no receipt behind for a
    // later print.
    if (GetParam() == 0) {
      EXPECT_EQ(std::filesystem::exists(PrintFolder() + "/Print.xml"), c.accepted) << "Print.xml";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(MemberSysAgent, Posting, ::testing::Range(0, static_cast<int>(std::size(kPostings))),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(kPostings[info.param].name);
                         });

TEST_F(MemberSysAgent, ConsumptionDocumentIsWrittenBeforePostingAndItsErrorsAreNotCaught) {
  TTicketInfoRecordList_VRISK tickets;
  TTicketInfoRecord_VRISK line{"A", "35.00", "2", "70.00"};
  tickets.Add(&line);
  TMemberInfoRecord_VRISK r;
  r.MC_OrderCode = "T9";
  r.MC_MemberID = "1001";
  r.Tickets = &tickets;
  http_.server.Respond(200, SoapAnswer("1", "xsd:int"));
  EXPECT_TRUE(Impl().ComsumeInfoPost(&r, true, false));
  const SoapCall call = SoapCalls().at(0);
  EXPECT_EQ(call.operation, "ComsumeInfoPost");
  ASSERT_EQ(call.parts.size(), 1u);
  EXPECT_EQ(call.parts[0].first, "sConsumeInfo");
  EXPECT_NE(call.parts[0].second.find("<MC_OrderCode>T9</MC_OrderCode>"), std::string::npos);
  EXPECT_NE(quorl::test::ReadFile(PrintFolder() + "/Print.xml").find("<CL_CostSum>70.00</CL_CostSum>"),
            std::string::npos);

  // Without the print folder the document cannot be written: the host sees
  // the error itself, nothing is posted and no warning is shown.
  std::filesystem::remove_all(PrintFolder());
  EXPECT_THROW(Impl().ComsumeInfoPost(&r, true, true), EFOpenError);
  EXPECT_THROW(Impl().ComsumeInfoPost(nullptr, true, true), Exception);
  EXPECT_EQ(http_.server.requests.size(), 1u);
  EXPECT_TRUE(warnings_.shown.empty());
  EXPECT_TRUE(launcher_.fake.starts.empty());
}

TEST_F(MemberSysAgent, PlatformPostingOverwritesTheFirstTwoLinesAndSignsTheRest) {
  UsePlatformAddresses();
  Agent();
  // A client of its own: identifiers changed after the agent was made count.
  _MemberCommercial_ZEL = "SBS-NEW| STORE-NEW ";
  http_.server.Respond(200, R"({"code":"A00006","result":"ok"})");
  TStringList lines;
  for (const char* l : {"x=1", "y=2", "card_no=8600000001", "order_no=H7", "money=1.50"}) lines.Add(l);
  EXPECT_EQ(Impl().ComsumeInfoPost_ByHTK(&lines, "ignored", true, false), "A00006ok");
  EXPECT_EQ(lines.Text(),
            "sbs_id=SBS-NEW\nstore_id=STORE-NEW\ncard_no=8600000001\norder_no=H7\nmoney=1.50\n");
  ASSERT_EQ(http_.server.requests.size(), 1u);
  EXPECT_EQ(http_.server.requests[0].url, "http://127.0.0.1:18082/api/ConsumeInfoPost");
  const auto fields = FormFields(http_.server.requests[0].body);
  ASSERT_EQ(fields.size(), 6u);
  EXPECT_EQ(fields[0].second, "SBS-NEW");
  EXPECT_EQ(fields[3].second, "H7");
  EXPECT_EQ(fields[5].first, "sign");

  // Fewer than two lines: warned, nothing sent, nothing returned.
  for (int count : {0, 1}) {
    TStringList shortList;
    for (int i = 0; i < count; ++i) shortList.Add("only");
    EXPECT_EQ(Impl().ComsumeInfoPost_ByHTK(&shortList, "", true, true), "");
  }
  EXPECT_EQ(Impl().ComsumeInfoPost_ByHTK(nullptr, "", true, true), "");
  EXPECT_EQ(http_.server.requests.size(), 1u);
  EXPECT_EQ(Warnings(), std::vector<std::string>(3, kPostingWarning));
  EXPECT_TRUE(launcher_.fake.starts.empty());
}

TEST_F(MemberSysAgent, MemberAccountPostingChargesAnOrderOnce) {
  const Variant packet = quorl::test::ServerPacket("S-ONCE", "8800000002", "10.00");  // balance 12.50
  EXPECT_TRUE(Impl().ComsumeInfoPost_ByServer(packet, "1001", true, false));
  EXPECT_TRUE(Impl().ComsumeInfoPost_ByServer(packet, "1001", true, false));  // already posted
  // The second order finds 2.50 left: refused, silently.
  EXPECT_FALSE(Impl().ComsumeInfoPost_ByServer(quorl::test::ServerPacket("S-TWO", "8800000002", "10.00"),
                                               "1001", true, false));
  TQueryUserInfoConditionRecord_ZEL c;
  c.MemberNum = "8800000002";
  std::unique_ptr<TMemberUserInfoList_ZEL> list(Agent().GetUserInfo(c, "Y"));
  ASSERT_EQ(list->Count(), 1);
  EXPECT_EQ(list->GetItems(0)->MemberBalance, "2.5");
  EXPECT_TRUE(warnings_.shown.empty());
}

// ---- validation ----

TEST_F(MemberSysAgent, CheckConsumeMoneyIsTrueOnlyForOne) {
  const struct {
    const char* answer;  // nullptr: the connection fails
    bool result;
    bool warned;
  } cases[] = {{"1", true, false},
               {"0", false, false},
               {"2", false, false},
               {"-1", false, false},
               {nullptr, false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer ? c.answer : "failure");
    warnings_.shown.clear();
    http_.server.requests.clear();
    if (c.answer)
      http_.server.Respond(200, SoapAnswer(c.answer, "xsd:int"));
    else
      http_.server.FailNext(FakeHttpFault::kSocketError);
    EXPECT_EQ(Agent().CheckConsumeMoney(u"T1", u"1001", u"王小明", u"TK9"), c.result);
    EXPECT_EQ(Warnings(), c.warned ? std::vector<std::string>{kCheckWarning} : std::vector<std::string>{});
    const SoapCall call = SoapCalls().at(0);
    EXPECT_EQ(call.operation, "CheckConsumeMoney");
    const std::vector<std::pair<std::string, std::string>> parts = {
        {"OrderCode", "T1"}, {"MemberID", "1001"}, {"OperatedBy", "王小明"}, {"LastTicketCode", "TK9"}};
    EXPECT_EQ(call.parts, parts);
  }
}

// ---- report ----

std::string ReportAnswer(const std::string& items, const std::string& root = "data") {
  return SoapAnswer("<" + root + ">" + items + "</" + root + ">");
}

TEST_F(MemberSysAgent, ReportRowsCarryTheSevenFields) {
  const std::string longName(40, 'N');
  http_.server.Respond(
      200,
      ReportAnswer("<dataitem opearatedID=\"2\" userName=\"王小明\" userCode=\"1001\" membername=\"张伟\" "
                   "membermobileno=\"13800000001\" paymentname=\"会员卡\" pamount=\"35.50\"/>"
                   "<dataitem opearatedID=\"-3\" userName=\"" +
                   longName +
                   "\" pamount=\"\"/>"
                   "<dataitem opearatedID=\"4\" pamount=\"12abc\"/>"
                   "<dataitem opearatedID=\"5\"/>"));
  const Variant packet = Agent().getMemberBalanceReport(u"G01", u"1001", u"2024-01-01", u"2024-01-31");
  const SoapCall call = SoapCalls().at(0);
  EXPECT_EQ(call.operation, "getBalancerReport");
  const std::vector<std::pair<std::string, std::string>> parts = {
      {"GroupCode", "G01"}, {"UserCode", "1001"}, {"BeginTime", "2024-01-01"}, {"EndTime", "2024-01-31"}};
  EXPECT_EQ(call.parts, parts);

  TClientDataSet ds;
  ds.SetData(packet);
  const struct {
    const char* name;
    TFieldType type;
    int size;
  } fields[] = {{"UserID", TFieldType::ftInteger, 0},         {"UserName", TFieldType::ftString, 32},
                {"UserCode", TFieldType::ftString, 32},       {"MemberName", TFieldType::ftString, 32},
                {"MemberMobileNO", TFieldType::ftString, 32}, {"PayMentName", TFieldType::ftString, 32},
                {"PayAmount", TFieldType::ftFloat, 0}};
  ASSERT_EQ(ds.FieldCount(), 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(ds.Fields(i)->FieldName(), fields[i].name);
    EXPECT_EQ(ds.Fields(i)->DataType(), fields[i].type);
    if (fields[i].size) {
      EXPECT_EQ(ds.Fields(i)->Size(), fields[i].size);
    }
  }
  ASSERT_EQ(ds.RecordCount(), 4);
  ds.First();
  EXPECT_EQ(ds.FieldByName("UserID")->AsInteger(), 2);
  EXPECT_EQ(ds.FieldByName("UserName")->AsString(), Gbk("王小明"));
  EXPECT_EQ(ds.FieldByName("MemberName")->AsString(), Gbk("张伟"));
  EXPECT_EQ(ds.FieldByName("PayMentName")->AsString(), Gbk("会员卡"));
  EXPECT_DOUBLE_EQ(ds.FieldByName("PayAmount")->AsFloat(), 35.5);
  ds.Next();
  EXPECT_EQ(ds.FieldByName("UserID")->AsInteger(), -3);
  EXPECT_EQ(ds.FieldByName("UserName")->AsString(), longName.substr(0, 32));
  EXPECT_EQ(ds.FieldByName("PayAmount")->AsFloat(), 0.0);
  ds.Next();
  EXPECT_EQ(ds.FieldByName("PayAmount")->AsFloat(), 0.0);  // unreadable: 0, the report goes on
  ds.Next();
  EXPECT_EQ(ds.FieldByName("PayAmount")->AsFloat(), 0.0);  // missing
  EXPECT_TRUE(warnings_.shown.empty());
}

TEST_F(MemberSysAgent, ReportWithoutRowsIsAnEmptyTable) {
  http_.server.Respond(200, ReportAnswer(""));
  TClientDataSet ds;
  ds.SetData(Agent().getMemberBalanceReport(u"", u"", u"", u""));
  EXPECT_EQ(ds.FieldCount(), 7);
  EXPECT_EQ(ds.RecordCount(), 0);
  EXPECT_TRUE(warnings_.shown.empty());
}

TEST_F(MemberSysAgent, EveryReportFailureIsOneWarningAndNoPacket) {
  const struct {
    const char* what;
    std::string body;  // empty: the connection fails
  } cases[] = {
      {"root in other case", ReportAnswer("", "Data")},
      {"other child", ReportAnswer("<dataitem opearatedID=\"1\"/><item opearatedID=\"2\"/>")},
      {"text child", ReportAnswer("<dataitem opearatedID=\"1\"/>stray")},
      {"letters after digits", ReportAnswer("<dataitem opearatedID=\"12a\"/>")},
      {"missing id", ReportAnswer("<dataitem pamount=\"1\"/>")},
      {"empty id", ReportAnswer("<dataitem opearatedID=\"\"/>")},
      {"id beyond 32 bits", ReportAnswer("<dataitem opearatedID=\"4294967296\"/>")},
      {"duplicate attribute", ReportAnswer("<dataitem opearatedID=\"1\" opearatedID=\"2\"/>")},
      {"'<' in a value", ReportAnswer("<dataitem opearatedID=\"1\" userName=\"a<b\"/>")},
      {"text after the report", SoapAnswer("<data><dataitem opearatedID=\"1\"/></data>x")},
      {"not XML", SoapAnswer("<data><dataitem")},
      {"SOAP fault", quorl::test::SoapFault()},
      {"no connection", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    warnings_.shown.clear();
    if (c.body.empty())
      http_.server.FailNext(FakeHttpFault::kSocketError);
    else
      http_.server.Respond(c.body.find("Fault") != std::string::npos ? 500 : 200, c.body);
    const Variant result = Agent().getMemberBalanceReport(u"G01", u"1001", u"", u"");
    EXPECT_TRUE(result.IsEmpty());
    EXPECT_EQ(Warnings(), std::vector<std::string>{kReportWarning});
  }
}

TEST(HostLocaleNumber, ReadsTheLocaleDecimalSeparatorOnly) {
  double v = -1;
  EXPECT_TRUE(quorl::TryStrToFloatHostLocale("12.5", v));
  EXPECT_DOUBLE_EQ(v, 12.5);
  EXPECT_FALSE(quorl::TryStrToFloatHostLocale("12,5", v));
  const std::string saved = quorl::test::UseCommaLocale();
  if (saved.empty()) GTEST_SKIP() << "no locale with a decimal comma available";
  const bool comma = quorl::TryStrToFloatHostLocale("12,5", v);
  const double commaValue = v;
  const bool dot = quorl::TryStrToFloatHostLocale("12.5", v);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_TRUE(comma);
  EXPECT_DOUBLE_EQ(commaValue, 12.5);
  EXPECT_FALSE(dot);
}

// ---- printing ----

TEST_F(MemberSysAgent, PrintingStartsThePrintApplicationWithoutWaiting) {
  quorl::SetMainWindowHandle(reinterpret_cast<void*>(0x1234));
  launcher_.fake.FailNext();  // a print application that cannot start is not reported
  Impl().PrintComsumeInfo(u"not read");
  Impl().PrintComsumeInfo(u"");
  quorl::SetMainWindowHandle(nullptr);
  ASSERT_EQ(launcher_.fake.starts.size(), 2u);
  for (const auto& start : launcher_.fake.starts) {
    EXPECT_EQ(start.program, dir_ + "/MemberPrint_vrisk/PrintApp.exe");
    EXPECT_EQ(start.args, std::vector<std::string>{"-h"});
    EXPECT_EQ(start.workingDir, "");
  }
  EXPECT_FALSE(std::filesystem::exists(PrintFolder() + "/Print.xml"));
  EXPECT_TRUE(warnings_.shown.empty());
}

}  // namespace
