#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "agent/PackageUnits.h"
#include "core/CoreState.h"
#include "core/uCoreMemberSys_ZEL.h"
#include "host/QuorlContext.h"
#include "platform/Interfaces.h"
#include "soap/InvokeRegistry.h"
#include "soap/TicketManage_WSDL.h"

namespace {

const std::vector<std::string> kLoadOrder = {"TicketManage_WSDL",
                                             "uCoreMemberSysErrorRes_ZEL",
                                             "uMemberCardCheckTicket_KETHO",
                                             "uVxJSON",
                                             "md5",
                                             "uHuiTouKe_ZEL",
                                             "uCoreMemberSys_ZEL",
                                             "drv_unit",
                                             "swipecard"};

std::vector<std::string> Steps(const char* verb, bool reverse) {
  std::vector<std::string> out;
  for (const auto& unit : kLoadOrder) out.push_back(std::string(verb) + " " + unit);
  if (reverse) std::reverse(out.begin(), out.end());
  return out;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class PackageLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    Finalize();
    quorl::uCoreMemberSys_ZEL_Finalize();
    quorl::ClearPackageUnitLog();
  }
  void TearDown() override {
    Finalize();
    quorl::uCoreMemberSys_ZEL_Finalize();
    quorl::SetHostSession("");
  }
};

TEST_F(PackageLoad, UnitsRunInLoadOrderAndFinaliseInReverse) {
  EXPECT_EQ(quorl::PackageUnitNames(), kLoadOrder);
  Initialize();
  EXPECT_TRUE(quorl::PackageLoaded());
  EXPECT_EQ(quorl::PackageUnitLog(), Steps("init", false));
  Finalize();
  EXPECT_FALSE(quorl::PackageLoaded());
  EXPECT_EQ(quorl::PackageUnitLog(), Concat(Steps("init", false), Steps("fini", true)));
}

TEST_F(PackageLoad, EachStepRunsOncePerLoad) {
  Finalize();  // without a load: nothing
  EXPECT_TRUE(quorl::PackageUnitLog().empty());

  Initialize();
  Initialize();
  EXPECT_EQ(quorl::PackageUnitLog(), Steps("init", false));
  Finalize();
  Finalize();
  const auto oneLoad = Concat(Steps("init", false), Steps("fini", true));
  EXPECT_EQ(quorl::PackageUnitLog(), oneLoad);

  Initialize();  // a fresh load after unload
  Finalize();
  EXPECT_EQ(quorl::PackageUnitLog(), Concat(oneLoad, oneLoad));
}

TEST_F(PackageLoad, LoadCreatesTheContextFromTheHostSession) {
  quorl::SetHostSession(quorl::MakeContextString("N009", "G09", "/nowhere.db"));
  Initialize();
  TQuorlContext* context = _QuorlContext();
  EXPECT_EQ(context->NodeCode(), "N009");
  EXPECT_EQ(context->GetGroupCode(), "G09");
  EXPECT_EQ(_QuorlContext(), context);  // one object for the whole load

  // After unload and a new load the context starts from the session again.
  context->SetNodeCode("changed");
  Finalize();
  Initialize();
  EXPECT_EQ(_QuorlContext()->NodeCode(), "N009");
}

TEST_F(PackageLoad, LoadRegistersThePortType) {
  quorl::InvRegistry().UnRegisterInterface(TicketManage::IID);
  Initialize();
  const quorl::InterfaceRegistration* entry = quorl::InvRegistry().Find(TicketManage::IID);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->wsdlEncoding, "UTF-8");
}

// Stands in for the factory's last agent; notes what the unload had already
// torn down when the agent was released.
class ProbeAgent : public TInterfacedObject {
 public:
  explicit ProbeAgent(std::vector<std::string>* seen)
      : seen_(seen), customers_(_GetCustomerTypeInfoArr_ZEL()) {}
  ~ProbeAgent() override {
    seen_->push_back("released");
    seen_->push_back(_MemberSysSoapURL_ZEL.empty() ? "addresses cleared" : "addresses kept");
    seen_->push_back(customers_.empty() ? "tables cleared" : "tables kept");
  }

 private:
  std::vector<std::string>* seen_;
  const TCustomerTypeInfoArr_ZEL& customers_;
};

TEST_F(PackageLoad, UnloadReleasesTheAgentBeforeTablesAndAddresses) {
  Initialize();
  std::vector<std::string> seen;
  quorl::LastAgentReference() = quorl::IntfPtr<IInterface>(new ProbeAgent(&seen));
  _MemberSysSoapURL_ZEL = "http://soap/";
  _MemberSysWSDLURL_ZEL = "w";
  _MemberCommercial_ZEL = "M|S";
  _MemberPassWordKey_ZEL = "k";
  _MemberConnectUmnByDB_ZEL = "Y";
  EXPECT_EQ(GetCustomerTypeDisplayName("2"), "\xD3\xC3\xBB\xA7");

  Finalize();
  EXPECT_EQ(seen, (std::vector<std::string>{"released", "addresses kept", "tables kept"}));
  EXPECT_FALSE(quorl::LastAgentReference());
  for (const std::string* s : {&_MemberSysSoapURL_ZEL, &_MemberSysWSDLURL_ZEL, &_MemberCommercial_ZEL,
                               &_MemberPassWordKey_ZEL, &_MemberConnectUmnByDB_ZEL})
    EXPECT_TRUE(s->empty());
}

TEST(MemberValidFlag, TextAndTest) {
  EXPECT_EQ(GetIsValidMemberTypeValue_ZEL(true), "1");
  EXPECT_EQ(GetIsValidMemberTypeValue_ZEL(false), "0");
  const std::pair<const char*, bool> cases[] = {{"1", true},   {"0", false},  {"", false},  {"1 ", false},
                                                {" 1", false}, {"01", false}, {"Y", false}, {"true", false}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(GetIsValidMemberType_ZEL(text), expected) << text;
}

}  // namespace
