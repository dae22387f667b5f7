// The TicketManage port type of the member and ticket web service, its
// registration with the invocation registry, and GetTicketManage.
//
// Every parameter is UTF-16 text passed read-only; results are UTF-16 text
// or a 32-bit integer. Operations are declared in slot order; their SOAP part
// names (misspellings included) are in the interface description.
#pragma once

#include <cstdint>
#include <string>

#include "core/PackageExport.h"
#include "platform/Interfaces.h"
#include "soap/InvokeRegistry.h"

class THTTPRIO;

/// The web service's port type; a host obtains it from GetTicketManage. Every call raises what
/// THTTPRIO::Invoke raises.
struct QUORL_PACKAGE_API TicketManage : IInvokable {
  /// interface identifier
  static constexpr TGUID IID = TGUID::Parse("{29AB1245-9703-082B-5336-A29584C5AEC4}");

  /// Answer: the member-info document of the members matching the criteria.
  virtual std::u16string getUserInfo(const std::u16string& memberID, const std::u16string& memberNum,
                                     const std::u16string& memberName, const std::u16string& certificateType,
                                     const std::u16string& certficateNum, const std::u16string& sPhoneNum,
                                     const std::u16string& sMobileNum) = 0;
  /// Answer: the member-info document ("data" with one "dataitem" per member).
  virtual std::u16string getUserInfo2(const std::u16string& memberID, const std::u16string& memberNum,
                                      const std::u16string& memberName, const std::u16string& certificateType,
                                      const std::u16string& certficateNum, const std::u16string& sPhoneNum,
                                      const std::u16string& sMobileNum,
                                      const std::u16string& sMemberGroup) = 0;
  /// Answer: the check-ticket document.
  virtual std::u16string getSurplus(const std::u16string& memberNum) = 0;
  /// Answer: the service's verdict on a member's credentials.
  virtual std::u16string ValidMember(const std::u16string& memberType, const std::u16string& certificateType,
                                     const std::u16string& certificateNum, const std::u16string& memberNum,
                                     const std::u16string& menberPWD, const std::u16string& validType) = 0;
  /// Answer: the member-info document of the member a token stands for.
  virtual std::u16string getTokenUserInfo(const std::u16string& token) = 0;
  /// Answer: the check-ticket document.
  virtual std::u16string getSurplusByImage(const std::u16string& strMemberNum) = 0;
  /// Sends an order document; answer: the service's acknowledgement.
  virtual std::u16string SyncOrderData(const std::u16string& MemberBook) = 0;
  /// Answer: the check-ticket document.
  virtual std::u16string getMemberInfo(const std::u16string& strMemberNum) = 0;
  /// sConsumeInfo is the consumption document; 1 means accepted.
  virtual int32_t ComsumeInfoPost(const std::u16string& sConsumeInfo) = 0;
  /// 1 means the order's consumption is valid.
  virtual int32_t CheckConsumeMoney(const std::u16string& OrderCode, const std::u16string& MemberID,
                                    const std::u16string& OperatedBy,
                                    const std::u16string& LastTicketCode) = 0;
  /// Answer: the report document ("data" with "dataitem" rows).
  virtual std::u16string getBalancerReport(const std::u16string& GroupCode, const std::u16string& UserCode,
                                           const std::u16string& BeginTime,
                                           const std::u16string& EndTime) = 0;

 protected:
  ~TicketManage() = default;
};

namespace quorl {

/// Deployment values, fixed when the package is built (CMake cache variables
/// QUORL_TICKETMANAGE_NAMESPACE and QUORL_TICKETMANAGE_DEFAULT_URL).
extern QUORL_PACKAGE_API const char* const kTicketManageNamespace;
extern QUORL_PACKAGE_API const char* const kTicketManageDefaultURL;   ///< ends in "/services/TicketManage"
extern QUORL_PACKAGE_API const char* const kTicketManageDefaultWSDL;  ///< the same with "?wsdl"

/// The deployment values in force: the build-time ones, each replaced by its
/// key in the WSDLCONFIGURE section of QUORLZELCLIENT.LIC when that is set
/// (TICKETMANAGENAMESPACE, TICKETMANAGEURL, TICKETMANAGEWSDL; a URL set
/// without a WSDL address gives the WSDL address URL + "?wsdl"). Without an
/// argument it reads the file once, applying its HTTP stall limit
/// (quorl::LoadWsdlConfiguration); with one, it takes the values already read.
struct TicketManageDeployment {
  std::string nameSpace;  ///< namespace URI the calls are made in
  std::string url;        ///< endpoint address
  std::string wsdl;       ///< WSDL address
};
struct WsdlConfiguration;
/// Reads the file once (see above).
QUORL_PACKAGE_API TicketManageDeployment TicketManageDeploymentValues();
/// Takes values already read (TMemberSysAgentImpl_ZEL::Configuration()).
QUORL_PACKAGE_API TicketManageDeployment TicketManageDeploymentValues(const WsdlConfiguration& configuration);

/// Registers TicketManage under nameSpace in place of its current namespace,
/// keeping everything else; does nothing while it is not registered.
QUORL_PACKAGE_API void UseTicketManageNamespace(const std::string& nameSpace);
/// WSDL service of the port type
inline constexpr const char* kTicketManageServiceName = "TicketManageService";
inline constexpr const char* kTicketManagePortName = "TicketManage";  ///< WSDL port of the port type

/// Operations and part names of the port type, in slot order.
QUORL_PACKAGE_API const InvokableInfo& TicketManageInfo();

}  // namespace quorl

/// Unit initialisation: registers TicketManage under its namespace with WSDL
/// encoding "UTF-8", no documentation and no external name, the default SOAP
/// action "" and the default invoke options (RPC, SOAP-encoded). Running it
/// again registers the same values again. Nothing is undone at unload.
QUORL_PACKAGE_API void TicketManage_WSDL_Initialize();

/// A TicketManage interface of HTTPRIO, or of a new client without owner when
/// HTTPRIO is null. An empty Addr takes the default address in force
/// (TicketManageDeploymentValues): the WSDL address when UseWSDL, else the
/// endpoint; the namespace in force is registered too. UseWSDL binds through
/// the WSDL (location Addr, service "TicketManageService", port
/// "TicketManage"), whose targetNamespace the calls then use; otherwise Addr
/// is the endpoint. A given client is never freed here; a client created here
/// is freed when no interface results. Raises EIntfCastError when the client
/// does not support TicketManage (the port type is not registered).
QUORL_PACKAGE_API quorl::IntfPtr<TicketManage> GetTicketManage(bool UseWSDL = false,
                                                               const std::string& Addr = "",
                                                               THTTPRIO* HTTPRIO = nullptr);
