// A posting whose answer never reaches the till: the service has charged the
// order, the till gives up on the stalled exchange and reports a failure, and
// the operator posts the same order again. Each local service must charge it
// once. Between the agent and the service sits a relay that forwards every
// request and, when told to, withholds one answer.

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "agent/AgentFixture.h"
#include "huitouke/HtkTestSupport.h"
#include "platform/Lists.h"
#include "soap/SimProcess.h"

namespace {

using quorl::test::Gbk;

class Relay {
 public:
  explicit Relay(int targetPort) : target_("127.0.0.1", targetPort) {
    const auto forward = [this](const httplib::Request& req, httplib::Response& res) {
      httplib::Headers headers;
      for (const char* name : {"SOAPAction"})
        if (req.has_header(name)) headers.emplace(name, req.get_header_value(name));
      const std::string path = req.target;
      httplib::Result r = req.method == "GET"
                              ? target_.Get(path, headers)
                              : target_.Post(path, headers, req.body, req.get_header_value("Content-Type"));
      ++forwarded;
      if (holdNext.exchange(false)) {
        // The service has answered; the till never hears of it.
        std::unique_lock lock(mutex_);
        released_.wait_for(lock, std::chrono::seconds(30), [this] { return stopping_; });
        return;
      }
      if (!r) {
        res.status = 502;
        return;
      }
      res.status = r->status;
      res.set_content(r->body, r->get_header_value("Content-Type"));
    };
    server_.Get(".*", forward);
    server_.Post(".*", forward);
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    for (int i = 0; i < 500 && !server_.is_running(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ~Relay() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    released_.notify_all();
    server_.stop();
    if (thread_.joinable()) thread_.join();
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  std::atomic<bool> holdNext{false};
  std::atomic<int> forwarded{0};

 private:
  httplib::Client target_;
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable released_;
  bool stopping_ = false;
};

class RetriedPosting : public quorl::test::AgentFixture {
 protected:
  // A one-second stall limit, so the withheld answer ends the posting soon.
  void UseShortStallLimit(const std::string& addressType) {
    WriteIni("[WSDLCONFIGURE]\nADDRESSTYPE=" + addressType + "\nHTTPSTALLBYTES=1\nHTTPSTALLSECONDS=1\n");
  }
  void PointAddressType(const std::string& type, const std::string& url) {
    Sql("UPDATE QUORL_SOAPSERVER_ADDRESS SET SOAP_ADDR = '" + url + "' WHERE ADDRESSTYPE = '" + type + "';");
  }
  void TearDown() override {
    AgentFixture::TearDown();
    quorl::SetHttpStallLimit({});
  }
};

TEST_F(RetriedPosting, WebServiceChargesTheRetriedOrderOnce) {
  quorl::test::TempFolder data;
  quorl::test::TicketManageSim service(data.File("tm.db"));
  Relay relay(service.Port());
  PointAddressType("G", relay.Url("/services/TicketManage"));
  UseShortStallLimit("G");
  quorl::SetHttpTransportFactory(nullptr);

  const auto balance = [this] {
    return quorl::Utf16ToUtf8(Agent().GetSurplus(u"8800000001")->Get_Dataitem()->Get_memberBalance());
  };
  const auto post = [this] {
    TTicketInfoRecordList_VRISK tickets;
    TTicketInfoRecord_VRISK line{"A", "35.00", "1", "35.00"};
    tickets.Add(&line);
    TMemberInfoRecord_VRISK r;
    r.MC_OrderCode = "RETRY-1";
    r.MC_MemberID = "1001";
    r.MC_Cost = "35.00";
    r.MC_Creater = "1001";
    r.MC_Group = "G01";
    r.MC_Time = "2026-12-08 10:00:00";
    r.Tickets = &tickets;
    return Impl().ComsumeInfoPost(&r, true, false);
  };
  ASSERT_EQ(balance(), "500.00");

  relay.holdNext = true;
  const int before = relay.forwarded;
  EXPECT_FALSE(post());
  EXPECT_EQ(relay.forwarded, before + 1) << "the service never saw the first attempt";
  EXPECT_EQ(Warnings(), std::vector<std::string>{"警告: 会员购票信息保存失败!，请与管理员联系"});
  EXPECT_EQ(balance(), "465.00") << "the service committed the order it could not answer";

  EXPECT_TRUE(post());
  EXPECT_EQ(balance(), "465.00");
  EXPECT_TRUE(Agent().CheckConsumeMoney(u"RETRY-1", u"1001", u"1001", u""));
}

TEST_F(RetriedPosting, PlatformChargesTheRetriedOrderOnce) {
  const quorl::test::TempFolder folder("quorl-agent-retry-");
  quorl::test::HtkSim platform(folder.File("htk.db"), "demo-htk-key-N001", "DEMO-SBS-0001");
  ASSERT_NE(platform.Port(), 0);
  Relay relay(platform.Port());
  PointAddressType("H", relay.Url("/api/"));
  UseShortStallLimit("H");
  quorl::SetHttpTransportFactory(nullptr);

  const auto balance = [this] {
    TQueryUserInfoConditionRecord_ZEL c;
    c.MemberNum = "8600000001";
    c.Password = "123456";
    std::unique_ptr<TMemberUserInfoList_ZEL> list(Agent().GetUserInfo(c, "H"));
    return list->Count() == 2 ? list->GetItems(1)->MemberBalance : "<no card>";
  };
  const auto post = [this] {
    TStringList lines;
    for (const char* l :
         {"", "", "card_no=8600000002", "order_no=HTK-RETRY-1", "money=20.50", "points=20", "emp_no=1001"})
      lines.Add(l);
    return Impl().ComsumeInfoPost_ByHTK(&lines, "", true, false);
  };
  const std::string start = balance();

  relay.holdNext = true;
  const int before = relay.forwarded;
  EXPECT_EQ(post(), "");
  EXPECT_EQ(relay.forwarded, before + 1) << "the platform never saw the first attempt";
  EXPECT_EQ(Warnings().size(), 1u);
  const std::string charged = balance();
  EXPECT_NE(charged, start) << "the platform committed the order it could not answer";

  EXPECT_EQ(post().rfind("A00006", 0), 0u);
  EXPECT_EQ(balance(), charged);
  platform.Stop();
}

}  // namespace
