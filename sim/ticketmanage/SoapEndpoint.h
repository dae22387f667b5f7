// The SOAP side of the simulated service: reads RPC/encoded requests, writes
// answers and faults, and publishes the service's WSDL document.
#pragma once

#include <string>

#include "sim/ticketmanage/TicketManageService.h"

namespace quorl::sim {

class SoapEndpoint {
 public:
  SoapEndpoint(TicketManageService& service, std::string nameSpace)
      : service_(service), nameSpace_(std::move(nameSpace)) {}

  struct Reply {
    int status = 200;
    std::string body;  // a SOAP envelope, UTF-8
  };

  // Handles one POSTed request envelope; never throws. A request that is not
  // a SOAP 1.1 envelope, is malformed, has a DOCTYPE, names an unknown
  // operation or calls it in another namespace than the service's gets a
  // Client fault with status 500; a failing database a Server fault.
  Reply HandlePost(const std::string& body);

  // The WSDL 1.1 document (RPC/encoded binding, service "TicketManageService",
  // port "TicketManage") whose soap:address is endpointUrl.
  std::string Wsdl(const std::string& endpointUrl) const;

  static std::string Fault(const std::string& code, const std::string& text);

 private:
  TicketManageService& service_;
  std::string nameSpace_;
};

}  // namespace quorl::sim
