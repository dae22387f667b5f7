// Finds the endpoint address of a service port in a WSDL 1.1 document.
#pragma once

#include <string>

namespace quorl {

class WsdlBinding {
 public:
  // The location of the soap:address of port in service, read from wsdl
  // (the document's bytes). An empty service or port name takes the first
  // one of the document. A location that starts with '/' is completed with
  // the scheme and authority of wsdlUrl. Raises ESOAPDomConvertError naming
  // wsdlUrl when the text is not a WSDL document, has a DOCTYPE, or lacks the
  // service, the port, or its address.
  static std::string FindEndpoint(std::string wsdl, const std::string& wsdlUrl, const std::string& service,
                                  const std::string& port);

  struct Port {
    std::string endpoint;
    std::string targetNamespace;  // of the definitions element; empty when it has none
  };
  // As FindEndpoint, with the document's targetNamespace.
  static Port FindPort(std::string wsdl, const std::string& wsdlUrl, const std::string& service,
                       const std::string& port);
};

}  // namespace quorl
