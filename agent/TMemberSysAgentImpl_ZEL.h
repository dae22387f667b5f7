// The agent class behind IMemberSysAgent_ZEL. Hosts use the interface; the
// class is public for PrintComsumeInfo and GetUserInfo_ByServer, which are
// not on the interface.
#pragma once

#include <memory>
#include <string>

#include "agent/IMemberSysAgent_ZEL.h"

class TMemberSysSoapAgent_ZEL;
class THuiTouKe_ZEL;
class TMemberUserInfoXmlDM_ZEL;
namespace quorl {
struct WsdlConfiguration;
}

/// The agent: hosts obtain it as IMemberSysAgent_ZEL from MemberSysAgentIntf (reference counted; freed with
/// the last reference).
class QUORL_PACKAGE_API TMemberSysAgentImpl_ZEL : public TInterfacedObject, public IMemberSysAgent_ZEL {
 public:
  /// Reads QUORLZELCLIENT.LIC once, then creates, in this order, the SOAP
  /// agent (which runs the address lookup with those values and so fills the
  /// five address strings), the XML data module and the platform client
  /// (which splits _MemberCommercial_ZEL). A failing step frees what the
  /// steps before it created and raises.
  TMemberSysAgentImpl_ZEL();
  /// Frees the SOAP agent, then the XML data module, then the platform client.
  ~TMemberSysAgentImpl_ZEL() override;

  HRESULT QueryInterface(const TGUID& iid, void** obj) override {
    return TInterfacedObject::QueryInterface(iid, obj);
  }
  int32_t AddRef() override { return TInterfacedObject::AddRef(); }
  int32_t Release() override { return TInterfacedObject::Release(); }

  TMemberUserInfoList_ZEL* GetUserInfo(const TQueryUserInfoConditionRecord_ZEL& Condition,
                                       const std::string& ConnectionMode) override;
  quorl::IntfPtr<IXMLDataType> GetSurplus(const std::u16string& MemberNum) override;
  /// See IMemberSysAgent_ZEL::getSurplusByImage.
  quorl::IntfPtr<IXMLDataType> getSurplusByImage(const std::u16string& MemberNum) override;
  /// See IMemberSysAgent_ZEL::getMemberInfo.
  quorl::IntfPtr<IXMLDataType> getMemberInfo(const std::u16string& MemberNum) override;
  bool ComsumeInfoPost(TMemberInfoRecord_VRISK* ConsumeInfo, bool IsPost, bool IsPrint) override;
  bool ComsumeInfoPost_ByServer_OrderHandle(const std::string& OrderArg1, const std::string& OrderArg2,
                                            bool IsPost, bool IsPrint) override;
  bool ComsumeInfoPost_ByServer(const Variant& Data, const std::string& Text, bool IsPost,
                                bool IsPrint) override;
  std::string ComsumeInfoPost_ByHTK(TStringList* Lines, const std::string& Text, bool IsPost,
                                    bool IsPrint) override;
  std::string Hello(const std::string& Text) override;
  bool CheckConsumeMoney(const std::u16string& OrderCode, const std::u16string& MemberID,
                         const std::u16string& OperatedBy, const std::u16string& LastTicketCode) override;
  Variant getMemberBalanceReport(const std::u16string& GroupCode, const std::u16string& UserCode,
                                 const std::u16string& BeginTime, const std::u16string& EndTime) override;

  /// Starts MemberPrint_vrisk/PrintApp.exe in the application folder with the
  /// parameter "-h" through the shell (the process-start seam), owned by the
  /// host's main window, and returns at once: nothing waits for the print
  /// application or checks that it started. Text is not read.
  void PrintComsumeInfo(const std::u16string& Text);
  /// The host member-account service's members for the eight criteria (8-bit,
  /// in this order), asked with the context string first, all as UTF-16.
  /// Raises what the service raises.
  Variant GetUserInfo_ByServer(const std::string& MemberID, const std::string& MemberNum,
                               const std::string& MemberName, const std::string& CertificateType,
                               const std::string& CertificateNum, const std::string& PhoneNum,
                               const std::string& MobileNum, const std::string& GroupCode);

  /// The owned parts, for tests and for hosts that look inside.
  TMemberSysSoapAgent_ZEL& SoapAgent() { return *soapAgent_; }
  THuiTouKe_ZEL& PlatformClient() { return *platformClient_; }  ///< The platform client, owned by the agent.
  /// The member-info data module, owned by the agent.
  TMemberUserInfoXmlDM_ZEL& XmlDataModule() { return *xmlDataModule_; }
  /// The WSDLCONFIGURE values read when this agent was created; an edit of
  /// the file takes effect with the next agent.
  const quorl::WsdlConfiguration& Configuration() const { return *configuration_; }

 protected:
  void* GetInterface(const TGUID& iid) override;

 private:
  /// Declared in the order the agent's fields are laid out; created and freed
  /// in the orders above, not in declaration order.
  std::unique_ptr<TMemberSysSoapAgent_ZEL> soapAgent_;
  std::unique_ptr<THuiTouKe_ZEL> platformClient_;
  std::unique_ptr<TMemberUserInfoXmlDM_ZEL> xmlDataModule_;
  /// The WSDLCONFIGURE values this agent was created with.
  std::unique_ptr<const quorl::WsdlConfiguration> configuration_;
};

namespace quorl {

/// Folder and file of the print application, relative to the application folder.
inline constexpr const char* kPrintFolderName = "MemberPrint_vrisk/";
inline constexpr const char* kPrintAppFileName = "PrintApp.exe";  ///< the print program, in kPrintFolderName

}  // namespace quorl
