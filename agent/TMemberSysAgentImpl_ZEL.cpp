#include "agent/TMemberSysAgentImpl_ZEL.h"

#include <utility>

#include "agent/AgentInternal.h"
#include "core/CoreState.h"
#include "core/uCoreMemberSys_ZEL.h"
#include "host/MemberAccount.h"
#include "host/QuorlContext.h"
#include "huitouke/uHuiTouKe_ZEL.h"
#include "memberdata/uMemberUserInfoXmlDM_ZEL.h"
#include "platform/CodePage.h"
#include "soap/TMemberSysSoapAgent_ZEL.h"

namespace quorl {

const char* const kAgentWarningCaption = "\xbe\xaf\xb8\xe6";  // 警告
// 会员购票信息保存失败!，请与管理员联系
const char* const kPostingFailedMessage =
    "\xbb\xe1\xd4\xb1\xb9\xba\xc6\xb1\xd0\xc5\xcf\xa2\xb1\xa3\xb4\xe6\xca\xa7\xb0\xdc\x21\xa3\xac"
    "\xc7\xeb\xd3\xeb\xb9\xdc\xc0\xed\xd4\xb1\xc1\xaa\xcf\xb5";
// 会员校验失败，请与管理员联系
const char* const kCheckFailedMessage =
    "\xbb\xe1\xd4\xb1\xd0\xa3\xd1\xe9\xca\xa7\xb0\xdc\xa3\xac\xc7\xeb\xd3\xeb\xb9\xdc\xc0\xed\xd4"
    "\xb1\xc1\xaa\xcf\xb5";
// 会员储入信息查询失败!，请与管理员联系
const char* const kReportFailedMessage =
    "\xbb\xe1\xd4\xb1\xb4\xa2\xc8\xeb\xd0\xc5\xcf\xa2\xb2\xe9\xd1\xaf\xca\xa7\xb0\xdc\x21\xa3\xac"
    "\xc7\xeb\xd3\xeb\xb9\xdc\xc0\xed\xd4\xb1\xc1\xaa\xcf\xb5";

}  // namespace quorl

TMemberSysAgentImpl_ZEL::TMemberSysAgentImpl_ZEL()
    : configuration_(std::make_unique<const quorl::WsdlConfiguration>(quorl::ReadWsdlConfiguration())) {
  // Each part reads what the one before left: the SOAP agent's address
  // lookup fills _MemberCommercial_ZEL, which the platform client splits.
  soapAgent_ = std::make_unique<TMemberSysSoapAgent_ZEL>(*configuration_);
  xmlDataModule_ = std::make_unique<TMemberUserInfoXmlDM_ZEL>(std::string());
  platformClient_ = std::make_unique<THuiTouKe_ZEL>();
}

TMemberSysAgentImpl_ZEL::~TMemberSysAgentImpl_ZEL() {
  soapAgent_.reset();
  xmlDataModule_.reset();
  platformClient_.reset();
}

void* TMemberSysAgentImpl_ZEL::GetInterface(const TGUID& iid) {
  if (iid == IMemberSysAgent_ZEL::IID) return static_cast<IMemberSysAgent_ZEL*>(this);
  return TInterfacedObject::GetInterface(iid);
}

std::string TMemberSysAgentImpl_ZEL::Hello(const std::string&) { return "Hello"; }

TMemberUserInfoList_ZEL* TMemberSysAgentImpl_ZEL::GetUserInfo(
    const TQueryUserInfoConditionRecord_ZEL& Condition, const std::string& ConnectionMode) {
  const TQueryUserInfoConditionRecord_ZEL c = Condition;
  auto criterion = [](bool skip, const std::string& value) { return skip ? std::string() : value; };
  const std::string memberId = criterion(c.SkipMemberID, c.MemberID);
  const std::string memberNum = criterion(c.SkipMemberNum, c.MemberNum);
  const std::string memberName = criterion(c.SkipMemberName, c.MemberName);
  const std::string certificateType = criterion(c.SkipCertificateType, c.CertificateType.Code);
  const std::string certificateNum = criterion(c.SkipCertificateNum, c.CertificateNum);
  const std::string phoneNum = criterion(c.SkipPhoneNum, c.PhoneNum);
  const std::string mobileNum = criterion(c.SkipMobileNum, c.MobileNum);
  const std::string password = criterion(c.SkipPassword, c.Password);
  // The till may have been moved to another group since the last call.
  const std::string groupCode = quorl::As<IGroupCodeProvider>(_QuorlContext())->GetGroupCode();

  if (ConnectionMode == "Y") {
    const Variant data = GetUserInfo_ByServer(memberId, memberNum, memberName, certificateType,
                                              certificateNum, phoneNum, mobileNum, groupCode);
    return xmlDataModule_->ExtractFromData(data);
  }
  if (ConnectionMode == "N") {
    using quorl::AnsiToWide;
    const std::u16string answer = soapAgent_->Service->getUserInfo2(
        AnsiToWide(memberId), AnsiToWide(memberNum), AnsiToWide(memberName), AnsiToWide(certificateType),
        AnsiToWide(certificateNum), AnsiToWide(phoneNum), AnsiToWide(mobileNum), AnsiToWide(groupCode));
    xmlDataModule_->SetXmlString(quorl::WideToAnsi(answer));
    return xmlDataModule_->GetUserInfoList();
  }
  if (ConnectionMode == "H") {
    const Variant data = platformClient_->GetCardInfo(memberNum, password);
    return xmlDataModule_->ExtractFromHTK(data);
  }
  return nullptr;
}

Variant TMemberSysAgentImpl_ZEL::GetUserInfo_ByServer(
    const std::string& MemberID, const std::string& MemberNum, const std::string& MemberName,
    const std::string& CertificateType, const std::string& CertificateNum, const std::string& PhoneNum,
    const std::string& MobileNum, const std::string& GroupCode) {
  using quorl::AnsiToWide;
  TCAMemberAccount account;
  return account.GetUserInfo(AnsiToWide(_QuorlContext()->GetAsString()), AnsiToWide(MemberID),
                             AnsiToWide(MemberNum), AnsiToWide(MemberName), AnsiToWide(CertificateType),
                             AnsiToWide(CertificateNum), AnsiToWide(PhoneNum), AnsiToWide(MobileNum),
                             AnsiToWide(GroupCode));
}

quorl::IntfPtr<IXMLDataType> TMemberSysAgentImpl_ZEL::GetSurplus(const std::u16string& MemberNum) {
  return LoadDataFromXML(soapAgent_->Service->getSurplus(MemberNum));
}

quorl::IntfPtr<IXMLDataType> TMemberSysAgentImpl_ZEL::getSurplusByImage(const std::u16string& MemberNum) {
  return LoadDataFromXML(soapAgent_->Service->getSurplusByImage(MemberNum));
}

quorl::IntfPtr<IXMLDataType> TMemberSysAgentImpl_ZEL::getMemberInfo(const std::u16string& MemberNum) {
  return LoadDataFromXML(soapAgent_->Service->getMemberInfo(MemberNum));
}

quorl::IntfPtr<IMemberSysAgent_ZEL> MemberSysAgentIntf() {
  // A failing construction throws before the last agent is replaced.
  quorl::IntfPtr<IMemberSysAgent_ZEL> agent(new TMemberSysAgentImpl_ZEL());
  quorl::LastAgentReference() = agent;
  return agent;
}
