// TMemberSysSoapAgent_ZEL: set-up order, address lookup per agent, lifetime.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/uCoreMemberSys_ZEL.h"
#include "fakes/FakeHttpTransport.h"
#include "host/HostDatabase.h"
#include "host/QuorlContext.h"
#include "platform/Application.h"
#include "platform/CodePage.h"
#include "soap/TMemberSysSoapAgent_ZEL.h"
#include "support/TempFolder.h"

namespace {

class SoapAgent : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_ + "/host.db";
    quorl::CreateHostDatabase(db_, false);
    quorl::SetApplicationDirectory(dir_);  // no QUORLZELCLIENT.LIC: address type "G"
    _QuorlContext()->SetAsString(quorl::MakeContextString("N001", "G01", db_));
    TicketManage_WSDL_Initialize();
    http_.server.defaultResponse = {200,
                                    {},
                                    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                                    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                                    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><s:Body><r>"
                                    "<return xsi:type=\"xsd:string\"> 1 </return></r></s:Body></s:Envelope>"};
  }
  void TearDown() override { quorl::SetApplicationDirectory(""); }
  void SetAddress(const std::string& soapAddr) {
    quorl::ExecuteSqlScript(db_,
                            "DELETE FROM QUORL_SOAPSERVER_ADDRESS;"
                            "INSERT INTO QUORL_SOAPSERVER_ADDRESS (NODECODE, ADDRESSTYPE, GROUPCODE, "
                            "ISDEFAULT, SOAP_ADDR, WSDL_ADDR) VALUES ('N001', 'G', 'G01', 'N', '" +
                                soapAddr + "', 'http://unused/?wsdl');");
  }

  const quorl::test::TempFolder folder_{"quorl-soap-"};
  const std::string dir_ = folder_.path();
  std::string db_;
  quorl::test::ScopedFakeHttp http_;
};

TEST_F(SoapAgent, PostsToTheConfiguredEndpointAsTheServiceExpects) {
  SetAddress("http://svc.test/services/TicketManage");
  TMemberSysSoapAgent_ZEL agent;
  EXPECT_EQ(agent.SoapClient->URL(), "http://svc.test/services/TicketManage");
  EXPECT_EQ(agent.SoapClient->Converter().Encoding, "UTF-8");

  // A string-typed " 1 " is accepted as the integer 1: answer types are not enforced.
  EXPECT_EQ(agent.Service->ComsumeInfoPost(u"会员"), 1);
  const quorl::HttpRequest& r = http_.server.LastRequest();
  EXPECT_EQ(r.url, "http://svc.test/services/TicketManage");
  EXPECT_NE(r.body.find("\xE4\xBC\x9A\xE5\x91\x98"), std::string::npos);  // UTF-8 bytes, no references
  for (const auto& [name, value] : r.headers) {
    EXPECT_NE(name, "Connection") << "keep-alive is on";
    if (name == "Content-Type") {
      EXPECT_EQ(value, "text/xml; charset=utf-8");
    }
    if (name == "SOAPAction") {
      EXPECT_EQ(value, "\"\"");
    }
  }
}

TEST_F(SoapAgent, EachAgentReadsTheAddressesAgain) {
  SetAddress("http://first.test/services/TicketManage");
  TMemberSysSoapAgent_ZEL first;
  SetAddress("http://second.test/services/TicketManage");
  TMemberSysSoapAgent_ZEL second;
  EXPECT_EQ(first.SoapClient->URL(), "http://first.test/services/TicketManage");
  EXPECT_EQ(second.SoapClient->URL(), "http://second.test/services/TicketManage");
  EXPECT_EQ(_MemberSysSoapURL_ZEL, "http://second.test/services/TicketManage");
}

// A site whose service lives under another namespace says so in the
// configuration file; each agent reads it again.
TEST_F(SoapAgent, EachAgentCallsInTheNamespaceOfTheIniFile) {
  SetAddress("http://svc.test/services/TicketManage");
  const auto callNamespace = [this] {
    TMemberSysSoapAgent_ZEL agent;
    agent.Service->getSurplus(u"1");
    const std::string& body = http_.server.LastRequest().body;
    const size_t begin = body.find("xmlns:NS1=\"") + 11;
    return body.substr(begin, body.find('"', begin) - begin);
  };
  std::ofstream(dir_ + "/QUORLZELCLIENT.LIC") << "[WSDLCONFIGURE]\r\nTICKETMANAGENAMESPACE=urn:site:tm\r\n";
  EXPECT_EQ(callNamespace(), "urn:site:tm");
  std::filesystem::remove(dir_ + "/QUORLZELCLIENT.LIC");
  EXPECT_EQ(callNamespace(), quorl::kTicketManageNamespace);
}

TEST_F(SoapAgent, NoAddressRowGivesAnEmptyEndpointThatFailsAtTheCall) {
  TMemberSysSoapAgent_ZEL agent;
  EXPECT_EQ(agent.SoapClient->URL(), "");
  EXPECT_THROW(agent.Service->getSurplus(u"1"), Exception);
  EXPECT_TRUE(http_.server.requests.empty());
}

TEST_F(SoapAgent, DestructionEndsTheClient) {
  SetAddress("http://svc.test/services/TicketManage");
  const int before = THTTPRIO::InstanceCount();
  {
    TMemberSysSoapAgent_ZEL agent;
    EXPECT_EQ(THTTPRIO::InstanceCount(), before + 1);
  }
  EXPECT_EQ(THTTPRIO::InstanceCount(), before);
  // A reference taken from the agent keeps the client past the agent.
  quorl::IntfPtr<TicketManage> kept;
  {
    TMemberSysSoapAgent_ZEL agent;
    kept = agent.Service;
  }
  EXPECT_EQ(THTTPRIO::InstanceCount(), before + 1);
  EXPECT_EQ(kept->CheckConsumeMoney(u"o", u"m", u"u", u"t"), 1);
  kept.reset();
  EXPECT_EQ(THTTPRIO::InstanceCount(), before);
}

TEST_F(SoapAgent, FailedAddressLookupReachesTheCallerAndLeavesNoClient) {
  const int before = THTTPRIO::InstanceCount();
  // A database in a folder that does not exist cannot be opened.
  _QuorlContext()->SetAsString(quorl::MakeContextString("N001", "G01", dir_ + "/missing/host.db"));
  EXPECT_THROW(TMemberSysSoapAgent_ZEL(), Exception);
  EXPECT_EQ(THTTPRIO::InstanceCount(), before);
}

}  // namespace
