// The agent's SOAP agent: a SOAP client bound to the configured endpoint and
// its TicketManage interface. Belongs to the core unit; lives beside the SOAP
// layer it is built on.
#pragma once

#include "platform/Interfaces.h"
#include "soap/THTTPRIO.h"
#include "soap/TicketManage_WSDL.h"

namespace quorl {
struct WsdlConfiguration;
}

class TMemberSysSoapAgent_ZEL {
 public:
  // In this order: creates the client without owner; converter options:
  // UTF-8 text on, strict answer types off; encoding "UTF-8"; keep-alive on;
  // runs the address lookup (quorl::LookUpServiceAddresses) with the
  // configuration given; registers the TicketManage namespace it sets
  // (TicketManageDeploymentValues); sets the client's URL to _MemberSysSoapURL_ZEL
  // (empty included, unchecked); obtains Service. An error of the address
  // lookup (or of the interface cast) reaches the caller, and the client,
  // which nothing references yet, is freed.
  explicit TMemberSysSoapAgent_ZEL(const quorl::WsdlConfiguration& configuration);
  // The same with the configuration file read now (once), as
  // _GetMemberSysWSURL reads it.
  TMemberSysSoapAgent_ZEL();
  // Releases Service only; the client ends with its last interface reference.
  ~TMemberSysSoapAgent_ZEL();
  TMemberSysSoapAgent_ZEL(const TMemberSysSoapAgent_ZEL&) = delete;
  TMemberSysSoapAgent_ZEL& operator=(const TMemberSysSoapAgent_ZEL&) = delete;

  // Not owned: the client's life is that of the references to its
  // interfaces. Valid while Service (or another reference) holds it.
  THTTPRIO* SoapClient = nullptr;
  quorl::IntfPtr<TicketManage> Service;
};
