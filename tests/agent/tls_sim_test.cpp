// The agent over HTTPS against both local services, with certificates made
// for the run: with the site's CA and a client certificate (its key under a
// pass phrase) a lookup and a posting go through; with the system's CAs the
// same service is refused, the posting fails with its usual warning, nothing
// is charged and the journal says the request never left, with the reason.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include "agent/AgentFixture.h"
#include "agent/PostingJournal.h"
#include "huitouke/HtkTestSupport.h"
#include "platform/ClientDataSet.h"
#include "platform/Lists.h"
#include "platform/TestCertificates.h"
#include "soap/SimProcess.h"

namespace {

using quorl::test::Gbk;

const std::vector<std::string> kPostingWarning{"警告: 会员购票信息保存失败!，请与管理员联系"};

class AgentOverTls : public quorl::test::AgentFixture {
 public:
  // For the table of back ends below.
  using AgentFixture::Agent;
  using AgentFixture::Impl;

 protected:
  void TearDown() override {
    AgentFixture::TearDown();
    quorl::SetHttpTlsSettings({});
  }
  // The next agent reads this configuration and talks to url.
  void Configure(const std::string& type, const std::string& url, const std::string& tlsLines) {
    WriteIni("[WSDLCONFIGURE]\nADDRESSTYPE=" + type + "\n" + tlsLines);
    Sql("UPDATE QUORL_SOAPSERVER_ADDRESS SET SOAP_ADDR = '" + url + "' WHERE ADDRESSTYPE = '" + type + "';");
    agent_.reset();
  }
  quorl::JournalEntry LastEntry() {
    quorl::PostingJournal journal(dir_ + "/" + quorl::kPostingJournalFileName);
    return journal.List().back();
  }
};

struct Backend {
  const char* name;
  const char* addressType;
  std::function<std::string(AgentOverTls&)> lookUpName;  // the member's name, UTF-8
  std::function<bool(AgentOverTls&, const std::string&)> post;
  std::function<int64_t(AgentOverTls&)> balanceCents;
};

TEST_F(AgentOverTls, BothBackEndsWorkWithTheSiteCaAndRefuseAServerTheTillCannotVerify) {
  quorl::test::TestCertificates pki;
  using Req = quorl::test::TestCertificates::Request;
  const auto server = pki.Issue("server", Req());
  const auto till = pki.Issue("till", Req().San("DNS:till").PassPhrase("till pass phrase"));
  const std::string passFile = pki.Folder().Write("till.pass", "till pass phrase\n");
  chmod(passFile.c_str(), 0600);
  const std::vector<std::string> tlsArgs = {"--tls-cert", server.cert,   "--tls-key",
                                            server.key,   "--client-ca", pki.CaFile()};
  const std::string siteTls = "TLSCAFILE=" + pki.CaFile() + "\nTLSCLIENTCERT=" + till.cert +
                              "\nTLSCLIENTKEY=" + till.key + "\nTLSCLIENTKEYPASSFILE=" + passFile + "\n";
  // The same client certificate, but the server is checked against the
  // system's CAs, which never signed it.
  const std::string systemTls = "TLSCLIENTCERT=" + till.cert + "\nTLSCLIENTKEY=" + till.key +
                                "\nTLSCLIENTKEYPASSFILE=" + passFile + "\n";

  quorl::test::TempFolder data;
  quorl::test::TicketManageSim service(data.File("tm.db"), true, tlsArgs);
  quorl::test::HtkSim platform(data.File("htk.db"), "demo-htk-key-N001", "DEMO-SBS-0001", true, tlsArgs);
  ASSERT_NE(platform.Port(), 0);
  const std::string serviceUrl =
      "https://127.0.0.1:" + std::to_string(service.Port()) + "/services/TicketManage";
  const std::string platformUrl = "https://localhost:" + std::to_string(platform.Port()) + "/api/";
  quorl::SetHttpTransportFactory(nullptr);

  const Backend backends[] = {
      {"web service", "G",
       [](AgentOverTls& t) {
         TQueryUserInfoConditionRecord_ZEL c;
         c.MemberNum = "8800000001";
         std::unique_ptr<TMemberUserInfoList_ZEL> list(t.Agent().GetUserInfo(c, "N"));
         return list->Count() == 1 ? quorl::GbkToUtf8(list->GetItems(0)->MemberName) : std::string();
       },
       [](AgentOverTls& t, const std::string& order) {
         return quorl::test::PostWebPurchase(t.Impl(), order);
       },
       [](AgentOverTls& t) -> int64_t {
         return std::llround(std::stod(quorl::Utf16ToUtf8(
                                 t.Agent().GetSurplus(u"8800000001")->Get_Dataitem()->Get_memberBalance())) *
                             100);
       }},
      {"platform", "H",
       [](AgentOverTls& t) {
         TQueryUserInfoConditionRecord_ZEL c;
         c.MemberNum = "8600000001";
         c.Password = "123456";
         std::unique_ptr<TMemberUserInfoList_ZEL> list(t.Agent().GetUserInfo(c, "H"));
         return list->Count() > 0 ? quorl::GbkToUtf8(list->GetItems(0)->MemberName) : std::string();
       },
       [](AgentOverTls& t, const std::string& order) {
         TStringList lines;
         for (std::string l : {"", "", "card_no=8600000001", "money=20.50", "points=20", "emp_no=1001"})
           lines.Add(l);
         lines.Add("order_no=" + order);
         return t.Impl().ComsumeInfoPost_ByHTK(&lines, "", true, false).rfind("A00006", 0) == 0;
       },
       [](AgentOverTls& t) -> int64_t {
         TQueryUserInfoConditionRecord_ZEL c;
         c.MemberNum = "8600000001";
         c.Password = "123456";
         std::unique_ptr<TMemberUserInfoList_ZEL> list(t.Agent().GetUserInfo(c, "H"));
         for (int i = 0; i < list->Count(); ++i)
           if (list->GetItems(i)->MemberNum == "8600000001")
             return std::llround(std::stod(list->GetItems(i)->MemberBalance) * 100);
         return -1;
       }},
  };
  const std::string expectedNames[] = {"张伟", "陈晓明"};
  const int64_t amounts[] = {3500, 2050};

  for (size_t i = 0; i < std::size(backends); ++i) {
    const Backend& b = backends[i];
    SCOPED_TRACE(b.name);
    const std::string url = b.addressType == std::string("G") ? serviceUrl : platformUrl;
    Configure(b.addressType, url, siteTls);
    EXPECT_EQ(b.lookUpName(*this), expectedNames[i]);
    const int64_t before = b.balanceCents(*this);
    const std::string order = std::string("TLS-") + b.addressType + "-1";
    EXPECT_TRUE(b.post(*this, order));
    EXPECT_EQ(b.balanceCents(*this), before - amounts[i]);
    EXPECT_EQ(quorl::JournalStateName(LastEntry().state), std::string("accepted"));
    EXPECT_TRUE(Warnings().empty());

    Configure(b.addressType, url, systemTls);
    const std::string refused = std::string("TLS-") + b.addressType + "-2";
    EXPECT_FALSE(b.post(*this, refused));
    EXPECT_EQ(Warnings(), kPostingWarning);
    const quorl::JournalEntry e = LastEntry();
    EXPECT_EQ(e.orderCode, refused);
    EXPECT_EQ(quorl::JournalStateName(e.state), std::string("failed-not-sent")) << e.error;
    // The server sends its CA along, which the system does not trust.
    EXPECT_NE(e.error.find("SSL certificate problem: self-signed certificate in certificate chain"),
              std::string::npos)
        << e.error;
    EXPECT_EQ(e.error.find("till pass phrase"), std::string::npos) << e.error;
    warnings_.shown.clear();

    Configure(b.addressType, url, siteTls);
    EXPECT_EQ(b.balanceCents(*this), before - amounts[i]);  // the refused order was never charged
  }
}

}  // namespace
