// Postings that fail at each step, end to end: the real agent against the
// local web service and platform over loopback (a relay in between breaks
// one exchange) and against the host database on PostgreSQL. For each fault:
// what the host gets, what the member is charged, what the journal says,
// what reconciliation concludes, and that posting again after it charges the
// order exactly once.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "agent/AgentFixture.h"
#include "agent/FaultRelay.h"
#include "agent/PostingJournal.h"
#include "host/DBPipe.h"
#include "host/Database.h"
#include "host/HostDatabase.h"
#include "host/PgCluster.h"
#include "host/QuorlContext.h"
#include "huitouke/HtkTestSupport.h"
#include "platform/ClientDataSet.h"
#include "platform/Lists.h"
#include "soap/SimProcess.h"

namespace {

using quorl::JournalEntry;
using quorl::test::RelayFault;

const std::vector<std::string> kPostingWarning{"警告: 会员购票信息保存失败!，请与管理员联系"};

struct FaultCase {
  const char* name;
  RelayFault fault;
  bool unreachable;        // the address names a port nobody listens on
  bool charged;            // the back end charged the first attempt
  const char* state;       // the journal entry after the attempt
  const char* settlement;  // what reconciliation concludes ("" when not asked)
};

const FaultCase kRemoteFaults[] = {
    {"accepted", RelayFault::kNone, false, true, "accepted", ""},
    {"refused before sending", RelayFault::kNone, true, false, "failed-not-sent", ""},
    {"dropped before the service saw it", RelayFault::kDropUnforwarded, false, false, "failed-uncertain",
     "not-charged"},
    {"dropped after the service charged", RelayFault::kDropAnswer, false, true, "failed-uncertain",
     "charged"},
    {"answer stalled past the limit", RelayFault::kWithholdAnswer, false, true, "failed-uncertain",
     "charged"},
    {"service stopped and restarted", RelayFault::kStopServiceThenDrop, false, true, "failed-uncertain",
     "charged"},
};

// The newest entry of the journal in folder.
JournalEntry LastEntry(const std::string& folder) {
  quorl::PostingJournal journal(folder + "/" + quorl::kPostingJournalFileName);
  return journal.List().back();
}

// Reconciles the journal in folder and gives the settlement of its newest
// entry ("" when that one was not among those to settle).
std::string ReconcileNewest(const std::string& folder) {
  quorl::PostingJournal journal(folder + "/" + quorl::kPostingJournalFileName);
  const int64_t newest = journal.List().back().id;
  std::string settlement;
  for (const quorl::ReconcileOutcome& o : quorl::ReconcileJournal(journal))
    if (o.entry.id == newest) settlement = quorl::JournalSettlementName(o.entry.settlement);
  return settlement;
}

// A loopback port nobody listens on: bound, read and closed again.
int DeadPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  bind(fd, reinterpret_cast<sockaddr*>(&addr), len);
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

class PostingFaults : public quorl::test::AgentFixture {
 protected:
  void TearDown() override {
    AgentFixture::TearDown();
    quorl::SetHttpStallLimit({});
  }
  // Points the address type at url; the next agent reads it.
  void Point(const std::string& type, const std::string& url) {
    Sql("UPDATE QUORL_SOAPSERVER_ADDRESS SET SOAP_ADDR = '" + url + "' WHERE ADDRESSTYPE = '" + type + "';");
    agent_.reset();
  }

  // Runs every remote fault against one back end. post(order) posts and
  // returns whether it was accepted; balance() reads the member's balance in
  // cents; restart() starts the service again on its data and gives its port.
  void RunRemoteFaults(const std::string& addressType, const std::string& path, int servicePort,
                       const std::function<bool(const std::string&)>& post,
                       const std::function<int64_t()>& balance, int64_t amount,
                       const std::function<void()>& stopService, const std::function<int()>& restart) {
    quorl::test::FaultRelay relay(servicePort);
    relay.stopService = stopService;
    // A one-second stall limit, so a withheld answer ends the posting soon.
    WriteIni("[WSDLCONFIGURE]\nADDRESSTYPE=" + addressType + "\nHTTPSTALLBYTES=1\nHTTPSTALLSECONDS=1\n");
    quorl::SetHttpTransportFactory(nullptr);
    int n = 0;
    for (const FaultCase& c : kRemoteFaults) {
      SCOPED_TRACE(std::string(c.name));
      const std::string order = addressType + "-FAULT-" + std::to_string(++n);
      Point(addressType, relay.Url(path));
      const int64_t before = balance();
      warnings_.shown.clear();
      if (c.unreachable) Point(addressType, "http://127.0.0.1:" + std::to_string(DeadPort()) + path);
      relay.nextFault = c.fault;
      const bool accepted = post(order);
      relay.nextFault = RelayFault::kNone;
      if (c.fault == RelayFault::kStopServiceThenDrop) relay.SetTarget(restart());
      Point(addressType, relay.Url(path));

      EXPECT_EQ(accepted, c.fault == RelayFault::kNone && !c.unreachable);
      EXPECT_EQ(Warnings(), accepted ? std::vector<std::string>{} : kPostingWarning);
      EXPECT_EQ(balance(), before - (c.charged ? amount : 0));
      const JournalEntry e = LastEntry(dir_);
      EXPECT_EQ(e.orderCode, order);
      EXPECT_EQ(quorl::JournalStateName(e.state), std::string(c.state)) << e.error;
      EXPECT_EQ(ReconcileNewest(dir_), c.settlement);

      // What the operator does next: post again. It is accepted and the
      // member has paid the order exactly once.
      warnings_.shown.clear();
      EXPECT_TRUE(post(order));
      EXPECT_EQ(balance(), before - amount);
      EXPECT_TRUE(Warnings().empty());
    }
  }
};

TEST_F(PostingFaults, WebServiceChargesOnceWhateverFails) {
  quorl::test::TempFolder data;
  std::optional<quorl::test::TicketManageSim> service(std::in_place, data.File("tm.db"));
  const auto post = [this](const std::string& order) {
    const bool ok = quorl::test::PostWebPurchase(Impl(), order);
    // Only a paid sale leaves its receipt for the print application.
    EXPECT_EQ(std::filesystem::exists(PrintFolder() + "/Print.xml"), ok);
    return ok;
  };
  const auto balance = [this]() -> int64_t {
    const std::string text =
        quorl::Utf16ToUtf8(Agent().GetSurplus(u"8800000001")->Get_Dataitem()->Get_memberBalance());
    return std::llround(std::stod(text) * 100);
  };
  RunRemoteFaults(
      "G", "/services/TicketManage", service->Port(), post, balance, 3500, [&] { service->Stop(); },
      [&] {
        service.emplace(data.File("tm.db"), false);
        return service->Port();
      });
}

TEST_F(PostingFaults, PlatformChargesOnceWhateverFails) {
  const quorl::test::TempFolder folder("quorl-agent-faults-");
  const auto start = [&](bool seed) {
    return std::make_unique<quorl::test::HtkSim>(folder.File("htk.db"), "demo-htk-key-N001", "DEMO-SBS-0001",
                                                 seed);
  };
  std::unique_ptr<quorl::test::HtkSim> platform = start(true);
  ASSERT_NE(platform->Port(), 0);
  const auto post = [this](const std::string& order) {
    TStringList lines;
    for (std::string l : {"", "", "card_no=8600000001", "money=20.50", "points=20", "emp_no=1001"})
      lines.Add(l);
    lines.Add("order_no=" + order);
    return Impl().ComsumeInfoPost_ByHTK(&lines, "", true, false).rfind("A00006", 0) == 0;
  };
  const auto balance = [this]() -> int64_t {
    TQueryUserInfoConditionRecord_ZEL c;
    c.MemberNum = "8600000001";
    c.Password = "123456";
    std::unique_ptr<TMemberUserInfoList_ZEL> list(Agent().GetUserInfo(c, "H"));
    for (int i = 0; i < list->Count(); ++i)
      if (list->GetItems(i)->MemberNum == "8600000001")
        return std::llround(std::stod(list->GetItems(i)->MemberBalance) * 100);
    ADD_FAILURE() << "card 8600000001 not listed";
    return -1;
  };
  RunRemoteFaults(
      "H", "/api/", platform->Port(), post, balance, 2050, [&] { platform->Stop(); },
      [&] {
        platform = start(false);
        return platform->Port();
      });
}

// The host database on PostgreSQL: a lock held by another till, the session
// terminated while its COMMIT is in flight, and a server that cannot be
// reached.
class HostPostingFaults : public quorl::test::AgentFixture {
 protected:
  void SetUp() override {
    AgentFixture::SetUp();
    quorl::test::PgCluster& cluster = quorl::test::PgCluster::Shared();
    if (!cluster.ok()) GTEST_SKIP() << cluster.error();
    quorl::SetDatabaseOpener(nullptr);
    const std::string base = cluster.NewDatabase();
    schema_ = base.substr(base.find("search_path=") + 12);
    schema_.pop_back();
    // Another till's lock is waited for one second here, not the default ten.
    location_ = base.substr(0, base.size() - 1) + " -c lock_timeout=1000'";
    quorl::CreateHostDatabase(location_, true);
    Use(location_);
    admin_ = quorl::OpenPostgresDatabase(cluster.AdminLocation());
  }
  void Use(const std::string& location) {
    quorl::SetHostSession(quorl::MakeContextString("N001", "G01", location));
    _QuorlContext()->SetAsString(quorl::HostSession());
  }
  bool Post(const std::string& order) {
    return Impl().ComsumeInfoPost_ByServer(quorl::test::ServerPacket(order, "8800000001", "10.00"), "1001",
                                           true, false);
  }
  int64_t Balance() {
    const quorl::QueryResult r = quorl::OpenDatabase(location_)->Query(
        "SELECT BALANCE_CENTS FROM QUORL_MEMBER_CARD WHERE MEMBER_CARD_NO = '8800000001'");
    return std::get<int64_t>(r.rows.at(0).at(0));
  }

  std::string schema_;
  std::string location_;
  std::unique_ptr<quorl::DatabaseConnection> admin_;
};

TEST_F(HostPostingFaults, ChargesOnceWhateverFails) {
  struct Case {
    const char* name;
    std::function<void()> arrange;  // breaks the next posting
    std::function<void()> repair;
    const char* state;
    const char* settlement;
  };
  std::unique_ptr<quorl::DatabaseConnection> otherTill;
  std::thread terminator;
  const std::vector<Case> cases = {
      {"accepted", [] {}, [] {}, "accepted", ""},
      {"server unreachable",
       [&] { Use("host=/nonexistent-quorl-socket-dir port=5432 dbname=x user=x connect_timeout=2"); },
       [&] { Use(location_); }, "failed-not-sent", ""},
      {"card locked by another till",
       [&] {
         otherTill = quorl::OpenDatabase(location_);
         otherTill->Begin();
         otherTill->Query("SELECT 1 FROM QUORL_MEMBER_CARD WHERE MEMBER_CARD_NO = '8800000001' FOR UPDATE");
       },
       [&] {
         otherTill->Rollback();
         otherTill.reset();
       },
       "failed-not-sent", ""},
      {"session terminated during COMMIT",
       [&] {
         // COMMIT runs a deferred trigger that sleeps, long enough for another
         // session to terminate the posting's session while COMMIT is in flight.
         admin_->ExecuteScript(
             "CREATE FUNCTION " + schema_ +
             ".slow_commit() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN PERFORM pg_sleep(3); RETURN NULL; "
             "END $$; CREATE CONSTRAINT TRIGGER slow_commit AFTER INSERT ON " +
             schema_ + ".QUORL_CONSUMPTION DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION " +
             schema_ + ".slow_commit()");
         terminator = std::thread([this] {
           auto watcher = quorl::OpenPostgresDatabase(quorl::test::PgCluster::Shared().AdminLocation());
           for (int i = 0; i < 500; ++i) {
             const quorl::QueryResult r = watcher->Query(
                 "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE query = 'COMMIT' AND "
                 "state = 'active' AND pid <> pg_backend_pid()");
             if (!r.rows.empty()) return;
             std::this_thread::sleep_for(std::chrono::milliseconds(10));
           }
         });
       },
       [&] {
         terminator.join();
         admin_->ExecuteScript("DROP TRIGGER slow_commit ON " + schema_ + ".QUORL_CONSUMPTION");
       },
       "failed-uncertain", "not-charged"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string order = "PG-FAULT-" + std::to_string(++n);
    const int64_t before = Balance();
    warnings_.shown.clear();
    c.arrange();
    const bool accepted = Post(order);
    c.repair();
    EXPECT_EQ(accepted, std::string(c.state) == "accepted");
    EXPECT_EQ(Warnings(), accepted ? std::vector<std::string>{} : kPostingWarning);
    EXPECT_EQ(Balance(), before - (accepted ? 1000 : 0));
    const JournalEntry e = LastEntry(dir_);
    EXPECT_EQ(e.orderCode, order);
    EXPECT_EQ(quorl::JournalStateName(e.state), std::string(c.state)) << e.error;
    EXPECT_EQ(ReconcileNewest(dir_), c.settlement);

    warnings_.shown.clear();
    EXPECT_TRUE(Post(order));
    EXPECT_EQ(Balance(), before - 1000);
  }
}

}  // namespace
