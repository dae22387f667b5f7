#include "soap/TMemberSysSoapAgent_ZEL.h"

#include "core/CoreState.h"
#include "core/uCoreMemberSys_ZEL.h"

TMemberSysSoapAgent_ZEL::TMemberSysSoapAgent_ZEL()
    : TMemberSysSoapAgent_ZEL(quorl::ReadWsdlConfiguration()) {}

TMemberSysSoapAgent_ZEL::TMemberSysSoapAgent_ZEL(const quorl::WsdlConfiguration& configuration) {
  SoapClient = new THTTPRIO(quorl::RioLifetime::NoOwner);
  try {
    // The service's texts are Chinese: send them as UTF-8 bytes rather than
    // character references, and accept whatever xsi:type its answers carry.
    SoapClient->Converter().Include(quorl::SoapConvertOption::UTF8Text);
    SoapClient->Converter().Exclude(quorl::SoapConvertOption::StrictAnswerTypes);
    SoapClient->Converter().Encoding = "UTF-8";
    // The agent keeps this client for its whole life and calls it often.
    SoapClient->HTTPWebNode().KeepAlive = true;
    quorl::LookUpServiceAddresses(configuration);
    quorl::UseTicketManageNamespace(quorl::TicketManageDeploymentValues(configuration).nameSpace);
    SoapClient->SetURL(_MemberSysSoapURL_ZEL);
    Service = quorl::As<TicketManage>(SoapClient);
  } catch (...) {
    // Nothing references the client yet, so nothing else would ever free it.
    delete SoapClient;
    SoapClient = nullptr;
    throw;
  }
}

TMemberSysSoapAgent_ZEL::~TMemberSysSoapAgent_ZEL() { Service.reset(); }
