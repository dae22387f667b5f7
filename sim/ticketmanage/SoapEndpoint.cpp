#include "sim/ticketmanage/SoapEndpoint.h"

#include <map>
#include <pugixml.hpp>
#include <sstream>
#include <string_view>

#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace quorl::sim {
namespace {

constexpr const char* kEnvNs = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr const char* kEncNs = "http://schemas.xmlsoap.org/soap/encoding/";

std::string_view LocalName(std::string_view q) {
  const size_t c = q.find(':');
  return c == std::string_view::npos ? q : q.substr(c + 1);
}

std::string_view NamespaceOf(pugi::xml_node n) {
  const std::string_view q = n.name();
  const size_t c = q.find(':');
  const std::string attr = c == std::string_view::npos ? "xmlns" : "xmlns:" + std::string(q.substr(0, c));
  for (; n && n.type() == pugi::node_element; n = n.parent())
    if (pugi::xml_attribute a = n.attribute(attr.c_str())) return a.value();
  return {};
}

// An envelope with the usual prefixes declared on it; returns its Body.
pugi::xml_node StartEnvelope(pugi::xml_document& doc) {
  pugi::xml_node decl = doc.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  decl.append_attribute("encoding") = "UTF-8";
  pugi::xml_node env = doc.append_child("SOAP-ENV:Envelope");
  env.append_attribute("xmlns:SOAP-ENV") = kEnvNs;
  env.append_attribute("xmlns:xsd") = "http://www.w3.org/2001/XMLSchema";
  env.append_attribute("xmlns:xsi") = "http://www.w3.org/2001/XMLSchema-instance";
  env.append_attribute("xmlns:SOAP-ENC") = kEncNs;
  return env.append_child("SOAP-ENV:Body");
}

std::string Save(const pugi::xml_document& doc) {
  std::ostringstream out;
  doc.save(out, "", pugi::format_raw, pugi::encoding_utf8);
  out << '\n';
  return out.str();
}

// Text of a part; xsi:nil and child markup both read as plain text content.
std::string PartText(pugi::xml_node part) {
  std::string text;
  for (pugi::xml_node c = part.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) text += c.value();
  return text;
}

}  // namespace

std::string SoapEndpoint::Fault(const std::string& code, const std::string& text) {
  pugi::xml_document doc;
  pugi::xml_node fault = StartEnvelope(doc).append_child("SOAP-ENV:Fault");
  fault.append_child("faultcode").text() = ("SOAP-ENV:" + code).c_str();
  fault.append_child("faultstring").text() = text.c_str();
  return Save(doc);
}

SoapEndpoint::Reply SoapEndpoint::HandlePost(const std::string& body) {
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_buffer(
      body.data(), body.size(), pugi::parse_default | pugi::parse_doctype, pugi::encoding_auto);
  if (!parsed) return {500, Fault("Client", std::string("malformed request: ") + parsed.description())};
  for (pugi::xml_node c = doc.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_doctype) return {500, Fault("Client", "a DOCTYPE is not allowed")};
  pugi::xml_node env = doc.document_element();
  if (LocalName(env.name()) != "Envelope" || NamespaceOf(env) != kEnvNs)
    return {500, Fault("VersionMismatch", "not a SOAP 1.1 envelope")};
  pugi::xml_node bodyNode;
  for (pugi::xml_node c = env.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && LocalName(c.name()) == "Body" && NamespaceOf(c) == kEnvNs)
      bodyNode = c;
  pugi::xml_node call;
  for (pugi::xml_node c = bodyNode.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element) {
      call = c;
      break;
    }
  if (!call) return {500, Fault("Client", "the request has no operation in its Body")};

  const std::string operation(LocalName(call.name()));
  const OperationInfo* info = FindOperation(operation);
  if (info == nullptr) return {500, Fault("Client", "unknown operation '" + operation.substr(0, 64) + "'")};
  // Operations are known by namespace and name, as a real RPC service knows
  // them; an unqualified call is taken as meant for this service.
  const std::string_view callNs = NamespaceOf(call);
  if (!callNs.empty() && callNs != nameSpace_)
    return {500, Fault("Client", "no operation '" + operation + "' in namespace '" +
                                     std::string(callNs.substr(0, 200)) + "'")};

  std::map<std::string, std::string> parts;
  for (pugi::xml_node p = call.first_child(); p; p = p.next_sibling())
    if (p.type() == pugi::node_element) parts[std::string(LocalName(p.name()))] = PartText(p);

  OperationResult result;
  try {
    result = service_.Call(operation, parts);
  } catch (const ClientFault& e) {
    return {500, Fault("Client", e.what())};
  } catch (const EDatabaseError& e) {
    return {500, Fault("Server", GbkToUtf8(e.Message()))};  // the seam reports in GBK
  } catch (const std::exception& e) {
    return {500, Fault("Server", e.what())};
  }

  pugi::xml_document answer;
  pugi::xml_node response = StartEnvelope(answer).append_child(("NS1:" + operation + "Response").c_str());
  response.append_attribute("xmlns:NS1") = nameSpace_.c_str();
  response.append_attribute("SOAP-ENV:encodingStyle") = kEncNs;
  pugi::xml_node ret = response.append_child("return");
  ret.append_attribute("xsi:type") = result.isInt ? "xsd:int" : "xsd:string";
  if (result.isInt)
    ret.text() = result.number;
  else
    ret.text() = result.text.c_str();
  return {200, Save(answer)};
}

std::string SoapEndpoint::Wsdl(const std::string& endpointUrl) const {
  pugi::xml_document doc;
  pugi::xml_node decl = doc.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  decl.append_attribute("encoding") = "UTF-8";
  pugi::xml_node defs = doc.append_child("wsdl:definitions");
  defs.append_attribute("name") = "TicketManage";
  defs.append_attribute("targetNamespace") = nameSpace_.c_str();
  defs.append_attribute("xmlns:tns") = nameSpace_.c_str();
  defs.append_attribute("xmlns:wsdl") = "http://schemas.xmlsoap.org/wsdl/";
  defs.append_attribute("xmlns:soap") = "http://schemas.xmlsoap.org/wsdl/soap/";
  defs.append_attribute("xmlns:xsd") = "http://www.w3.org/2001/XMLSchema";

  for (const OperationInfo& op : TicketManageOperations()) {
    pugi::xml_node in = defs.append_child("wsdl:message");
    in.append_attribute("name") = (op.name + "Request").c_str();
    for (const std::string& p : op.params) {
      pugi::xml_node part = in.append_child("wsdl:part");
      part.append_attribute("name") = p.c_str();
      part.append_attribute("type") = "xsd:string";
    }
    pugi::xml_node out = defs.append_child("wsdl:message");
    out.append_attribute("name") = (op.name + "Response").c_str();
    pugi::xml_node part = out.append_child("wsdl:part");
    part.append_attribute("name") = "return";
    part.append_attribute("type") = op.intResult ? "xsd:int" : "xsd:string";
  }

  pugi::xml_node portType = defs.append_child("wsdl:portType");
  portType.append_attribute("name") = "TicketManage";
  for (const OperationInfo& op : TicketManageOperations()) {
    pugi::xml_node o = portType.append_child("wsdl:operation");
    o.append_attribute("name") = op.name.c_str();
    std::string order;
    for (const std::string& p : op.params) order += (order.empty() ? "" : " ") + p;
    o.append_attribute("parameterOrder") = order.c_str();
    o.append_child("wsdl:input").append_attribute("message") = ("tns:" + op.name + "Request").c_str();
    o.append_child("wsdl:output").append_attribute("message") = ("tns:" + op.name + "Response").c_str();
  }

  pugi::xml_node binding = defs.append_child("wsdl:binding");
  binding.append_attribute("name") = "TicketManageSoapBinding";
  binding.append_attribute("type") = "tns:TicketManage";
  pugi::xml_node sb = binding.append_child("soap:binding");
  sb.append_attribute("style") = "rpc";
  sb.append_attribute("transport") = "http://schemas.xmlsoap.org/soap/http";
  for (const OperationInfo& op : TicketManageOperations()) {
    pugi::xml_node o = binding.append_child("wsdl:operation");
    o.append_attribute("name") = op.name.c_str();
    o.append_child("soap:operation").append_attribute("soapAction") = "";
    for (const char* dir : {"wsdl:input", "wsdl:output"}) {
      pugi::xml_node body = o.append_child(dir).append_child("soap:body");
      body.append_attribute("use") = "encoded";
      body.append_attribute("encodingStyle") = kEncNs;
      body.append_attribute("namespace") = nameSpace_.c_str();
    }
  }

  pugi::xml_node service = defs.append_child("wsdl:service");
  service.append_attribute("name") = "TicketManageService";
  pugi::xml_node port = service.append_child("wsdl:port");
  port.append_attribute("name") = "TicketManage";
  port.append_attribute("binding") = "tns:TicketManageSoapBinding";
  port.append_child("soap:address").append_attribute("location") = endpointUrl.c_str();

  std::ostringstream out;
  doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  return out.str();
}

}  // namespace quorl::sim
