#include "soap/TicketManage_WSDL.h"

#include "core/CoreState.h"
#include "soap/THTTPRIO.h"

#ifndef QUORL_TICKETMANAGE_NAMESPACE
#error "QUORL_TICKETMANAGE_NAMESPACE is set by soap/CMakeLists.txt"
#endif
#ifndef QUORL_TICKETMANAGE_DEFAULT_URL
#error "QUORL_TICKETMANAGE_DEFAULT_URL is set by soap/CMakeLists.txt"
#endif

namespace quorl {

const char* const kTicketManageNamespace = QUORL_TICKETMANAGE_NAMESPACE;
const char* const kTicketManageDefaultURL = QUORL_TICKETMANAGE_DEFAULT_URL;
const char* const kTicketManageDefaultWSDL = QUORL_TICKETMANAGE_DEFAULT_URL "?wsdl";

namespace {

using S = std::u16string;

// Slot indexes into TicketManageInfo().methods.
enum Slot : size_t {
  kGetUserInfo,
  kGetUserInfo2,
  kGetSurplus,
  kValidMember,
  kGetTokenUserInfo,
  kGetSurplusByImage,
  kSyncOrderData,
  kGetMemberInfo,
  kComsumeInfoPost,
  kCheckConsumeMoney,
  kGetBalancerReport,
};

class TicketManageProxy final : public RioProxyOf<TicketManage> {
 public:
  using RioProxyOf::RioProxyOf;

  S getUserInfo(const S& memberID, const S& memberNum, const S& memberName, const S& certificateType,
                const S& certficateNum, const S& sPhoneNum, const S& sMobileNum) override {
    return CallText(kGetUserInfo,
                    {memberID, memberNum, memberName, certificateType, certficateNum, sPhoneNum, sMobileNum});
  }
  S getUserInfo2(const S& memberID, const S& memberNum, const S& memberName, const S& certificateType,
                 const S& certficateNum, const S& sPhoneNum, const S& sMobileNum,
                 const S& sMemberGroup) override {
    return CallText(kGetUserInfo2, {memberID, memberNum, memberName, certificateType, certficateNum,
                                    sPhoneNum, sMobileNum, sMemberGroup});
  }
  S getSurplus(const S& memberNum) override { return CallText(kGetSurplus, {memberNum}); }
  S ValidMember(const S& memberType, const S& certificateType, const S& certificateNum, const S& memberNum,
                const S& menberPWD, const S& validType) override {
    return CallText(kValidMember,
                    {memberType, certificateType, certificateNum, memberNum, menberPWD, validType});
  }
  S getTokenUserInfo(const S& token) override { return CallText(kGetTokenUserInfo, {token}); }
  S getSurplusByImage(const S& strMemberNum) override { return CallText(kGetSurplusByImage, {strMemberNum}); }
  S SyncOrderData(const S& MemberBook) override { return CallText(kSyncOrderData, {MemberBook}); }
  S getMemberInfo(const S& strMemberNum) override { return CallText(kGetMemberInfo, {strMemberNum}); }
  int32_t ComsumeInfoPost(const S& sConsumeInfo) override {
    return CallInt(kComsumeInfoPost, {sConsumeInfo});
  }
  int32_t CheckConsumeMoney(const S& OrderCode, const S& MemberID, const S& OperatedBy,
                            const S& LastTicketCode) override {
    return CallInt(kCheckConsumeMoney, {OrderCode, MemberID, OperatedBy, LastTicketCode});
  }
  S getBalancerReport(const S& GroupCode, const S& UserCode, const S& BeginTime, const S& EndTime) override {
    return CallText(kGetBalancerReport, {GroupCode, UserCode, BeginTime, EndTime});
  }
};

std::unique_ptr<RioProxy> MakeTicketManageProxy(THTTPRIO& rio) {
  return std::make_unique<TicketManageProxy>(rio);
}

SoapMethod Text(std::string name, std::initializer_list<const char*> params) {
  SoapMethod m{std::move(name), {}, SoapType::String};
  for (const char* p : params) m.params.push_back({p, SoapType::String});
  return m;
}

SoapMethod Int(std::string name, std::initializer_list<const char*> params) {
  SoapMethod m = Text(std::move(name), params);
  m.result = SoapType::Int;
  return m;
}

}  // namespace

const InvokableInfo& TicketManageInfo() {
  static const InvokableInfo info{
      TicketManage::IID,
      "TicketManage",
      {
          Text("getUserInfo", {"memberID", "memberNum", "memberName", "certificateType", "certficateNum",
                               "sPhoneNum", "sMobileNum"}),
          Text("getUserInfo2", {"memberID", "memberNum", "memberName", "certificateType", "certficateNum",
                                "sPhoneNum", "sMobileNum", "sMemberGroup"}),
          Text("getSurplus", {"memberNum"}),
          Text("ValidMember",
               {"memberType", "certificateType", "certificateNum", "memberNum", "menberPWD", "validType"}),
          Text("getTokenUserInfo", {"token"}),
          Text("getSurplusByImage", {"strMemberNum"}),
          Text("SyncOrderData", {"MemberBook"}),
          Text("getMemberInfo", {"strMemberNum"}),
          Int("ComsumeInfoPost", {"sConsumeInfo"}),
          Int("CheckConsumeMoney", {"OrderCode", "MemberID", "OperatedBy", "LastTicketCode"}),
          Text("getBalancerReport", {"GroupCode", "UserCode", "BeginTime", "EndTime"}),
      },
      &MakeTicketManageProxy};
  return info;
}

TicketManageDeployment TicketManageDeploymentValues() {
  return TicketManageDeploymentValues(LoadWsdlConfiguration());
}

TicketManageDeployment TicketManageDeploymentValues(const WsdlConfiguration& c) {
  TicketManageDeployment d{kTicketManageNamespace, kTicketManageDefaultURL, kTicketManageDefaultWSDL};
  if (!c.ticketManageNamespace.empty()) d.nameSpace = c.ticketManageNamespace;
  if (!c.ticketManageURL.empty()) d.url = c.ticketManageURL;
  if (!c.ticketManageWSDL.empty())
    d.wsdl = c.ticketManageWSDL;
  else if (!c.ticketManageURL.empty())
    d.wsdl = c.ticketManageURL + "?wsdl";
  return d;
}

void UseTicketManageNamespace(const std::string& nameSpace) {
  InvokeRegistry& reg = InvRegistry();
  const InterfaceRegistration* entry = reg.Find(TicketManage::IID);
  if (entry == nullptr || entry->nameSpace == nameSpace) return;
  // Registering again keeps the SOAP action and invoke options.
  reg.RegisterInterface(TicketManageInfo(), nameSpace, entry->wsdlEncoding, entry->documentation,
                        entry->externalName);
}

}  // namespace quorl

void TicketManage_WSDL_Initialize() {
  quorl::InvokeRegistry& reg = quorl::InvRegistry();
  reg.RegisterInterface(quorl::TicketManageInfo(), quorl::kTicketManageNamespace, "UTF-8", "", "");
  reg.RegisterDefaultSOAPAction(TicketManage::IID, "");
  reg.RegisterInvokeOptions(TicketManage::IID, quorl::kInvokeDefault);
}

quorl::IntfPtr<TicketManage> GetTicketManage(bool UseWSDL, const std::string& Addr, THTTPRIO* HTTPRIO) {
  quorl::IntfPtr<TicketManage> result;
  const quorl::TicketManageDeployment deployment = quorl::TicketManageDeploymentValues();
  quorl::UseTicketManageNamespace(deployment.nameSpace);
  std::string addr = Addr;
  if (addr.empty()) addr = UseWSDL ? deployment.wsdl : deployment.url;
  THTTPRIO* rio = HTTPRIO != nullptr ? HTTPRIO : new THTTPRIO(quorl::RioLifetime::NoOwner);
  try {
    result = quorl::As<TicketManage>(rio);
    if (UseWSDL) {
      rio->SetWSDLLocation(addr);
      rio->SetService(quorl::kTicketManageServiceName);
      rio->SetPort(quorl::kTicketManagePortName);
    } else {
      rio->SetURL(addr);
    }
  } catch (...) {
    // Only an unreferenced client made here is ours to free; one holding a
    // reference ends with that reference.
    if (!result && rio != HTTPRIO) delete rio;
    throw;
  }
  return result;
}
