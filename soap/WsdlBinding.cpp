#include "soap/WsdlBinding.h"

#include <pugixml.hpp>
#include <string_view>

#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace quorl {
namespace {

std::string_view LocalName(std::string_view qname) {
  const size_t colon = qname.find(':');
  return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

// Children are matched by local name only: WSDL files in the wild use every
// prefix convention, and within definitions/service/port the names are
// unambiguous.
pugi::xml_node ChildNamed(pugi::xml_node parent, std::string_view local, const std::string& name) {
  for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element || LocalName(c.name()) != local) continue;
    if (name.empty() || name == c.attribute("name").value()) return c;
  }
  return {};
}

std::string SchemeAndAuthority(const std::string& url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos) return {};
  const size_t path = url.find('/', scheme + 3);
  return path == std::string::npos ? url : url.substr(0, path);
}

}  // namespace

std::string WsdlBinding::FindEndpoint(std::string wsdl, const std::string& wsdlUrl,
                                      const std::string& service, const std::string& port) {
  return FindPort(std::move(wsdl), wsdlUrl, service, port).endpoint;
}

WsdlBinding::Port WsdlBinding::FindPort(std::string wsdl, const std::string& wsdlUrl,
                                        const std::string& service, const std::string& port) {
  const std::string where = "WSDL " + wsdlUrl + ": ";
  pugi::xml_document doc;
  const pugi::xml_parse_result r = doc.load_buffer_inplace(
      wsdl.data(), wsdl.size(), pugi::parse_default | pugi::parse_doctype, pugi::encoding_auto);
  if (!r)
    throw ESOAPDomConvertError(where + "not well-formed XML (" + r.description() + " at offset " +
                               std::to_string(r.offset) + ")");
  for (pugi::xml_node c = doc.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_doctype) throw ESOAPDomConvertError(where + "carries a DOCTYPE");

  pugi::xml_node definitions = doc.document_element();
  if (LocalName(definitions.name()) != "definitions")
    throw ESOAPDomConvertError(where + "not a WSDL 1.1 document (no definitions element)");
  pugi::xml_node svc = ChildNamed(definitions, "service", service);
  if (!svc) throw ESOAPDomConvertError(where + "no service '" + Utf8ToGbk(service) + "'");
  pugi::xml_node prt = ChildNamed(svc, "port", port);
  if (!prt)
    throw ESOAPDomConvertError(where + "service '" + Utf8ToGbk(svc.attribute("name").value()) +
                               "' has no port '" + Utf8ToGbk(port) + "'");
  pugi::xml_node address = ChildNamed(prt, "address", "");
  pugi::xml_attribute location = address.attribute("location");
  if (!address || !location || std::string_view(location.value()).empty())
    throw ESOAPDomConvertError(where + "port '" + Utf8ToGbk(prt.attribute("name").value()) +
                               "' has no soap:address location");
  std::string endpoint = location.value();
  if (endpoint[0] == '/') endpoint = SchemeAndAuthority(wsdlUrl) + endpoint;
  return {std::move(endpoint), definitions.attribute("targetNamespace").value()};
}

}  // namespace quorl
