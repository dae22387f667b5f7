// The posting journal against fakes: what each kind of failure records, a
// journal that cannot be written, the switch, and reconciliation asking each
// back end (fake web service and platform, real SQLite host database).

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "agent/AgentFixture.h"
#include "agent/PostingJournal.h"
#include "host/QuorlContext.h"
#include "platform/ClientDataSet.h"
#include "platform/Lists.h"

namespace {

using quorl::JournalBackend;
using quorl::JournalEntry;
using quorl::JournalState;
using quorl::test::FakeHttpFault;
using quorl::test::SoapAnswer;

const std::string kPostingWarning = "警告: 会员购票信息保存失败!，请与管理员联系";

class Journal : public quorl::test::AgentFixture {
 protected:
  std::string JournalPath() const { return dir_ + "/" + quorl::kPostingJournalFileName; }
  std::vector<JournalEntry> Entries() {
    quorl::PostingJournal journal(JournalPath());
    return journal.List();
  }
  bool PostToWebService(const std::string& order) {
    TTicketInfoRecordList_VRISK tickets;
    TMemberInfoRecord_VRISK r;
    r.MC_OrderCode = order;
    r.MC_MemberID = "1001";
    r.MC_Cost = "35.00";
    r.MC_Creater = "OP7";
    r.Tickets = &tickets;
    return Impl().ComsumeInfoPost(&r, true, false);
  }
  std::string PostToPlatform(const std::string& order) {
    UsePlatformAddresses();
    TStringList lines;
    for (std::string l : {"", "", "card_no=8600000002", "money=20.50", "points=20", "emp_no=1001"})
      lines.Add(l);
    lines.Add("order_no=" + order);
    return Impl().ComsumeInfoPost_ByHTK(&lines, "", true, false);
  }
  int64_t AddEntry(JournalEntry e, JournalState state) {
    quorl::PostingJournal journal(JournalPath());
    const int64_t id = journal.Begin(e);
    journal.Finish(id, state, "lost");
    return id;
  }
};

TEST_F(Journal, EachKindOfFailureIsRecordedWithWhatWasSent) {
  struct Case {
    const char* backend;
    FakeHttpFault fault;
    int status;  // answer status when there is no fault
    const char* state;
  };
  const Case cases[] = {
      {"webservice", FakeHttpFault::kSocketError, 200, "failed-not-sent"},
      {"webservice", FakeHttpFault::kTimeout, 200, "failed-uncertain"},
      {"webservice", FakeHttpFault::kGarbageBody, 200, "failed-uncertain"},
      {"webservice", FakeHttpFault::kNone, 500, "failed-uncertain"},  // a fault answer
      {"platform", FakeHttpFault::kSocketError, 200, "failed-not-sent"},
      {"platform", FakeHttpFault::kTimeout, 200, "failed-uncertain"},
      {"platform", FakeHttpFault::kTruncatedBody, 200, "failed-uncertain"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.backend) + " " + c.state + " #" + std::to_string(n));
    const std::string order = "F" + std::to_string(++n);
    warnings_.shown.clear();
    http_.server.queued.clear();
    const bool web = std::string(c.backend) == "webservice";
    http_.server.Respond(c.status,
                         web ? (c.status == 500 ? quorl::test::SoapFault() : SoapAnswer("1", "xsd:int"))
                             : R"({"code":"A00006","result":"ok"})");
    if (c.fault != FakeHttpFault::kNone) http_.server.FailNext(c.fault);
    if (web) {
      EXPECT_FALSE(PostToWebService(order));
    } else {
      EXPECT_EQ(PostToPlatform(order), "");
    }
    EXPECT_EQ(Warnings(), std::vector<std::string>{kPostingWarning});
    const JournalEntry e = Entries().back();
    EXPECT_EQ(quorl::JournalBackendName(e.backend), std::string(c.backend));
    EXPECT_EQ(quorl::JournalStateName(e.state), std::string(c.state));
    EXPECT_EQ(e.orderCode, order);
    EXPECT_EQ(e.amount, web ? "35.00" : "20.50");
    EXPECT_EQ(e.operatorCode, web ? "OP7" : "1001");
    EXPECT_EQ(e.member, web ? "1001" : "");
    EXPECT_EQ(e.cardNo, web ? "" : "8600000002");
    EXPECT_FALSE(e.error.empty());
    EXPECT_FALSE(e.finishedAt.empty());
  }
  EXPECT_EQ(Entries().size(), std::size(cases));
}

TEST_F(Journal, AJournalThatCannotBeWrittenIsReportedOnceAndPostingGoesOn) {
  std::filesystem::create_directory(JournalPath());  // a folder where the file should be
  for (int i = 0; i < 3; ++i) {
    http_.server.Respond(200, SoapAnswer("1", "xsd:int"));
    EXPECT_TRUE(PostToWebService("W" + std::to_string(i)));
  }
  ASSERT_EQ(warnings_.shown.size(), 1u);
  EXPECT_NE(quorl::GbkToUtf8(warnings_.shown[0].message).find("过账日志无法写入"), std::string::npos);
  EXPECT_EQ(http_.server.requests.size(), 3u);

  // Writable again: entries resume, and a later failure is reported again.
  std::filesystem::remove(JournalPath());
  http_.server.Respond(200, SoapAnswer("1", "xsd:int"));
  EXPECT_TRUE(PostToWebService("W3"));
  EXPECT_EQ(Entries().size(), 1u);
  std::filesystem::remove(JournalPath());
  std::filesystem::create_directory(JournalPath());
  http_.server.Respond(200, SoapAnswer("2", "xsd:int"));
  EXPECT_FALSE(PostToWebService("W4"));
  EXPECT_EQ(warnings_.shown.size(), 2u);

  // Switched off in the configuration file, from the next agent on: nothing
  // is written and nothing is reported.
  std::filesystem::remove(JournalPath());
  WriteIni("[WSDLCONFIGURE]\nPOSTINGJOURNAL=0\n");
  agent_.reset();
  http_.server.Respond(200, SoapAnswer("1", "xsd:int"));
  EXPECT_TRUE(PostToWebService("W5"));
  EXPECT_FALSE(std::filesystem::exists(JournalPath()));
  EXPECT_EQ(warnings_.shown.size(), 2u);
}

TEST_F(Journal, ListsBySinceAndState) {
  JournalEntry e;
  e.orderCode = "L1";
  AddEntry(e, JournalState::kAccepted);
  e.orderCode = "L2";
  AddEntry(e, JournalState::kFailedUncertain);
  quorl::PostingJournal journal(JournalPath());
  EXPECT_EQ(journal.List().size(), 2u);
  EXPECT_EQ(journal.List("", JournalState::kFailedUncertain).at(0).orderCode, "L2");
  EXPECT_EQ(journal.List(quorl::JournalTimeNow().substr(0, 10)).size(), 2u);
  EXPECT_TRUE(journal.List("9999").empty());
  for (const char* name : {"sending", "accepted", "refused", "failed-uncertain", "failed-not-sent"})
    EXPECT_EQ(quorl::JournalStateName(*quorl::ParseJournalState(name)), std::string(name));
  EXPECT_FALSE(quorl::ParseJournalState("charged"));
}

TEST_F(Journal, ReconcileAsksEachBackEndAndNeverPosts) {
  // The host database holds order S1 for 10.00.
  ASSERT_TRUE(Impl().ComsumeInfoPost_ByServer(quorl::test::ServerPacket("S1", "8800000001", "10.00"), "1001",
                                              true, false));

  struct Case {
    JournalBackend backend;
    const char* order;
    const char* amount;
    JournalState state;
    const char* settlement;
  };
  const Case cases[] = {
      {JournalBackend::kHostDatabase, "S1", "10.00", JournalState::kFailedUncertain, "charged"},
      {JournalBackend::kHostDatabase, "S2", "10.00", JournalState::kFailedUncertain, "not-charged"},
      {JournalBackend::kHostDatabase, "S1", "12.00", JournalState::kFailedUncertain, "not-charged"},
      {JournalBackend::kHostDatabase, "S1,S2", "10.00,5", JournalState::kFailedUncertain, "uncertain"},
      {JournalBackend::kWebService, "W1", "35.00", JournalState::kFailedUncertain, "charged"},
      {JournalBackend::kWebService, "W2", "35.00", JournalState::kFailedUncertain, "not-charged"},
      {JournalBackend::kWebService, "W3", "35.00", JournalState::kFailedUncertain, "uncertain"},
      {JournalBackend::kPlatform, "H1", "20.5", JournalState::kFailedUncertain, "charged"},
      {JournalBackend::kPlatform, "H2", "19.00", JournalState::kFailedUncertain, "not-charged"},
      // Settled only when uncertain: the others are left alone.
      {JournalBackend::kWebService, "W4", "35.00", JournalState::kAccepted, ""},
      {JournalBackend::kWebService, "W5", "35.00", JournalState::kFailedNotSent, ""},
  };
  for (const Case& c : cases) {
    JournalEntry e;
    e.backend = c.backend;
    e.operation = "test";
    e.orderCode = c.order;
    e.amount = c.amount;
    e.member = "1001";
    e.cardNo = c.backend == JournalBackend::kPlatform ? "8600000002" : "8800000001";
    e.operatorCode = "1001";
    AddEntry(e, c.state);
  }

  UsePlatformAddresses();
  const std::string now = quorl::JournalTimeNow();
  http_.server.handler = [&](const quorl::HttpRequest& r) -> quorl::HttpResponse {
    if (r.url.find("view_invoice") != std::string::npos) {
      return {200,
              {},
              R"({"code":"A00006","count":1,"data":[{"card_no":"8600000002","type":"2",)"
              R"("saving_add":"0.00","saving_sub":"20.50","saving_reward":"0.00","bank_amount":"0.00",)"
              R"("point_add":"20","point_sub":"0","time":")" +
                  now + R"(","emp_no":"1001"}]})"};
    }
    const quorl::test::SoapCall call = quorl::test::ParseSoapCall(r);
    EXPECT_EQ(call.operation, "CheckConsumeMoney");
    const std::string order = call.parts.at(0).second;
    if (order == "W3") throw EIdSocketError("HTTP request failed: Couldn't connect to server", false);
    return {200, {}, SoapAnswer(order == "W1" ? "1" : "0", "xsd:int")};
  };
  quorl::PostingJournal journal(JournalPath());
  const std::vector<quorl::ReconcileOutcome> outcomes = quorl::ReconcileJournal(journal);
  ASSERT_EQ(outcomes.size(), 9u);
  std::vector<JournalEntry> after = journal.List();
  EXPECT_EQ(after.front().operation, "ComsumeInfoPost_ByServer");  // the posting that stored S1
  after.erase(after.begin());
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].order);
    EXPECT_EQ(quorl::JournalSettlementName(after.at(i).settlement), std::string(cases[i].settlement))
        << after.at(i).settleNote;
    EXPECT_EQ(after.at(i).settleNote.empty(), std::string(cases[i].settlement).empty());
  }
  for (const quorl::HttpRequest& r : http_.server.requests) {
    EXPECT_EQ(r.body.find("ComsumeInfoPost"), std::string::npos) << "reconcile posted";
    EXPECT_EQ(r.body.find("ConsumeInfoPost"), std::string::npos) << "reconcile posted";
  }

  // Settled entries are not asked again; the uncertain ones are.
  http_.server.requests.clear();
  const std::vector<quorl::ReconcileOutcome> again = quorl::ReconcileJournal(journal);
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(again[0].entry.orderCode, "S1,S2");
  EXPECT_EQ(again[1].entry.orderCode, "W3");
}

}  // namespace
