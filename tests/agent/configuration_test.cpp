// QUORLZELCLIENT.LIC: read once per agent and once per GetTicketManage call,
// by the same rules as TIniFile; an edit takes effect with the next agent.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "agent/AgentFixture.h"
#include "core/CoreState.h"
#include "platform/Http.h"
#include "platform/IniFile.h"
#include "soap/InvokeRegistry.h"
#include "soap/TicketManage_WSDL.h"

namespace {

using quorl::WsdlConfigurationReads;

class Configuration : public quorl::test::AgentFixture {
 protected:
  void TearDown() override {
    quorl::SetHttpStallLimit({});
    AgentFixture::TearDown();
  }
  static std::string RegisteredNamespace() { return quorl::InvRegistry().Find(TicketManage::IID)->nameSpace; }
};

TEST_F(Configuration, OneReadPerAgentAndPerGetTicketManageAndAnEditTakesEffectWithTheNextAgent) {
  Sql("UPDATE QUORL_SOAPSERVER_ADDRESS SET SOAP_ADDR = 'http://g.example/ws' WHERE ADDRESSTYPE = 'G';"
      "UPDATE QUORL_SOAPSERVER_ADDRESS SET SOAP_ADDR = 'http://h.example/api/' WHERE ADDRESSTYPE = 'H';");
  WriteIni("[WSDLCONFIGURE]\nADDRESSTYPE=G\nHTTPSTALLSECONDS=7\nTICKETMANAGENAMESPACE=urn:first\n");

  unsigned long before = WsdlConfigurationReads();
  quorl::IntfPtr<IMemberSysAgent_ZEL> first = MemberSysAgentIntf();
  EXPECT_EQ(WsdlConfigurationReads() - before, 1u);
  const auto& firstImpl = dynamic_cast<TMemberSysAgentImpl_ZEL&>(*first);
  EXPECT_EQ(firstImpl.Configuration().addressType, "G");
  EXPECT_EQ(_MemberSysSoapURL_ZEL, "http://g.example/ws");
  EXPECT_EQ(quorl::GetHttpStallLimit(), (quorl::HttpStallLimit{1024, 7}));
  EXPECT_EQ(RegisteredNamespace(), "urn:first");

  WriteIni("[wsdlconfigure]\naddresstype=H\nHTTPSTALLSECONDS=9\nTICKETMANAGENAMESPACE=urn:second\n");
  before = WsdlConfigurationReads();
  quorl::IntfPtr<IMemberSysAgent_ZEL> second = MemberSysAgentIntf();
  EXPECT_EQ(WsdlConfigurationReads() - before, 1u);
  EXPECT_EQ(dynamic_cast<TMemberSysAgentImpl_ZEL&>(*second).Configuration().addressType, "H");
  EXPECT_EQ(_MemberSysSoapURL_ZEL, "http://h.example/api/");
  EXPECT_EQ(quorl::GetHttpStallLimit(), (quorl::HttpStallLimit{1024, 9}));
  EXPECT_EQ(RegisteredNamespace(), "urn:second");
  // The first agent keeps what it was created with.
  EXPECT_EQ(firstImpl.Configuration().addressType, "G");
  EXPECT_EQ(firstImpl.Configuration().ticketManageNamespace, "urn:first");

  WriteIni("[WSDLCONFIGURE]\nTICKETMANAGEURL=http://tm.example/ws\nTICKETMANAGENAMESPACE=urn:third\n");
  before = WsdlConfigurationReads();
  EXPECT_TRUE(GetTicketManage(false, "", nullptr));
  EXPECT_EQ(WsdlConfigurationReads() - before, 1u);
  EXPECT_EQ(RegisteredNamespace(), "urn:third");
  EXPECT_TRUE(GetTicketManage(true, "http://other.example/ws?wsdl", nullptr));
  EXPECT_EQ(WsdlConfigurationReads() - before, 2u);
}

// The one-pass reader must read every key as TIniFile would from the same
// file: file name case, encodings, comments, quotes, repeated keys and
// sections.
TEST_F(Configuration, ReadsEveryKeyAsTIniFileDoes) {
  struct Case {
    const char* what;
    const char* fileName;  // in the application folder; none when null
    std::string content;
    quorl::HttpStallLimit stall{0, 0};  // 0: not a whole number of at least 1
  };
  const std::string all =
      "ADDRESSTYPE=H\nHTTPSTALLBYTES=10\nHTTPSTALLSECONDS=20\nTICKETMANAGENAMESPACE=urn:n\n"
      "TICKETMANAGEURL=http://u/\nTICKETMANAGEWSDL=http://w/?wsdl\n";
  std::string utf16 = "\xFF\xFE";
  for (char ch : std::string("[WSDLCONFIGURE]\r\nADDRESSTYPE=Y\r\n")) utf16 += std::string{ch, '\0'};
  const std::vector<Case> cases = {
      {"no file", nullptr, ""},
      {"every key", "QUORLZELCLIENT.LIC", "[WSDLCONFIGURE]\n" + all, {10, 20}},
      {"names in other case, CR LF, blanks", "quorlzelclient.lic",
       "\xEF\xBB\xBF[ wsdlConfigure ]\r\n  addressType =  Q \r\nhttpStallBytes=x\r\n"},
      {"empty address type is a value", "QUORLZELCLIENT.LIC", "[WSDLCONFIGURE]\nADDRESSTYPE=\n"},
      {"quotes, comments, odd lines", "QUORLZELCLIENT.LIC",
       "; note\n[WSDLCONFIGURE]\n# ADDRESSTYPE=X\nnoequals\n[broken\nADDRESSTYPE=\"A B\"\n"
       "TICKETMANAGEURL=\"\n"},
      {"first of repeated keys and sections",
       "QUORLZELCLIENT.LIC",
       "[WSDLCONFIGURE]\nADDRESSTYPE=1\n[OTHER]\nTICKETMANAGEURL=no\n[WSDLCONFIGURE]\nADDRESSTYPE=2\n"
       "TICKETMANAGEURL=yes\nHTTPSTALLSECONDS=5\n",
       {0, 5}},
      {"other section only", "QUORLZELCLIENT.LIC", "[OTHER]\n" + all},
      {"UTF-16 little-endian", "QUORLZELCLIENT.LIC", utf16},
      {"GBK value", "QUORLZELCLIENT.LIC", "[WSDLCONFIGURE]\nTICKETMANAGENAMESPACE=urn:\xD6\xD0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
      if (entry.path().extension() == ".LIC" || entry.path().extension() == ".lic")
        std::filesystem::remove(entry.path());
    if (c.fileName != nullptr) std::ofstream(dir_ + "/" + c.fileName, std::ios::binary) << c.content;

    const quorl::WsdlConfiguration read = quorl::ReadWsdlConfiguration();
    const TIniFile ini(dir_ + "/" + quorl::kAddressIniFileName);
    auto key = [&](const char* name, const char* defaultValue) {
      return ini.ReadString("WSDLCONFIGURE", name, defaultValue);
    };
    EXPECT_EQ(read.addressType, key("ADDRESSTYPE", "G"));
    EXPECT_EQ(read.ticketManageNamespace, key("TICKETMANAGENAMESPACE", ""));
    EXPECT_EQ(read.ticketManageURL, key("TICKETMANAGEURL", ""));
    EXPECT_EQ(read.ticketManageWSDL, key("TICKETMANAGEWSDL", ""));
    EXPECT_EQ(read.stallLimit, c.stall);
  }
}

// A FIFO under the file's name must not stall agent creation.
TEST_F(Configuration, AFifoUnderTheNameGivesTheDefaults) {
  ASSERT_EQ(mkfifo((dir_ + "/" + quorl::kAddressIniFileName).c_str(), 0600), 0);
  EXPECT_EQ(quorl::ReadWsdlConfiguration().addressType, "G");
}

}  // namespace
