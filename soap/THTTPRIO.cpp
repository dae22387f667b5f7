#include "soap/THTTPRIO.h"

#include "platform/Exception.h"
#include "platform/Text.h"
#include "soap/SoapAnswerReader.h"
#include "soap/SoapEnvelopeWriter.h"
#include "soap/WsdlBinding.h"

namespace {
std::atomic<int> g_liveClients{0};

bool IsUtf8Name(const std::string& encoding) {
  return encoding.empty() || quorl::SameTextAscii(encoding, "utf-8") ||
         quorl::SameTextAscii(encoding, "utf8");
}
}  // namespace

THTTPRIO::THTTPRIO(quorl::RioLifetime lifetime) : lifetime_(lifetime) { ++g_liveClients; }

THTTPRIO::~THTTPRIO() { --g_liveClients; }

int THTTPRIO::InstanceCount() { return g_liveClients.load(); }

HRESULT THTTPRIO::QueryInterface(const TGUID& iid, void** obj) {
  if (obj == nullptr) return E_NOINTERFACE;
  *obj = nullptr;
  if (iid == IInterface::IID) {
    *obj = static_cast<IInterface*>(this);
    AddRef();
    return S_OK;
  }
  for (auto& slot : proxies_) {
    if (slot.iid == iid) {
      *obj = slot.proxy->Interface();
      AddRef();
      return S_OK;
    }
  }
  const quorl::InterfaceRegistration* entry = quorl::InvRegistry().Find(iid);
  if (entry == nullptr || entry->info->makeProxy == nullptr) return E_NOINTERFACE;
  proxies_.push_back({iid, entry->info->makeProxy(*this)});
  *obj = proxies_.back().proxy->Interface();
  AddRef();
  return S_OK;
}

int32_t THTTPRIO::AddRef() { return ++refCount_; }

int32_t THTTPRIO::Release() {
  const int32_t n = --refCount_;
  if (n == 0 && lifetime_ == quorl::RioLifetime::NoOwner) delete this;
  return n;
}

void THTTPRIO::SetURL(const std::string& url) {
  url_ = url;
  if (!url.empty()) wsdlLocation_.clear();
  wsdlEndpoint_.clear();
  wsdlNamespace_.clear();
}

void THTTPRIO::SetWSDLLocation(const std::string& location) {
  wsdlLocation_ = location;
  if (!location.empty()) url_.clear();
  wsdlEndpoint_.clear();
  wsdlNamespace_.clear();
}

void THTTPRIO::SetService(const std::string& service) {
  service_ = service;
  wsdlEndpoint_.clear();
  wsdlNamespace_.clear();
}

void THTTPRIO::SetPort(const std::string& port) {
  port_ = port;
  wsdlEndpoint_.clear();
  wsdlNamespace_.clear();
}

TIdHTTP& THTTPRIO::Http() {
  // Made on first use, so a test can install its transport factory after
  // the client exists.
  if (!http_) http_ = std::make_unique<TIdHTTP>();
  return *http_;
}

std::string THTTPRIO::Endpoint() {
  if (!url_.empty()) return url_;
  if (wsdlLocation_.empty())
    throw Exception("SOAP client has no endpoint: neither URL nor WSDL location is set");
  if (wsdlEndpoint_.empty()) {
    // The WSDL is read once per binding; later calls reuse its address.
    quorl::WsdlBinding::Port port =
        quorl::WsdlBinding::FindPort(Http().Get(wsdlLocation_), wsdlLocation_, service_, port_);
    wsdlEndpoint_ = std::move(port.endpoint);
    wsdlNamespace_ = std::move(port.targetNamespace);
  }
  return wsdlEndpoint_;
}

quorl::SoapValue THTTPRIO::Invoke(const TGUID& iid, size_t methodIndex,
                                  const std::vector<quorl::SoapValue>& args) {
  using namespace quorl;
  const InterfaceRegistration* entry = InvRegistry().Find(iid);
  if (entry == nullptr)
    throw Exception("Interface " + iid.ToString() + " is not registered with the invocation registry");
  if (methodIndex >= entry->info->methods.size())
    throw Exception("Interface " + entry->info->name + " has no operation " + std::to_string(methodIndex));
  if (entry->invokeOptions != kInvokeDefault)
    throw Exception("Interface " + entry->info->name +
                    ": only RPC style with SOAP-encoded parameters is supported");
  if (!IsUtf8Name(converter_.Encoding))
    throw Exception("SOAP encoding '" + converter_.Encoding + "' is not supported; use UTF-8");

  const SoapMethod& method = entry->info->methods[methodIndex];
  const std::string url = Endpoint();
  const bool wsdlNamespace = url_.empty() && !wsdlNamespace_.empty();
  const std::string request = SoapEnvelopeWriter::WriteRequest(
      wsdlNamespace ? wsdlNamespace_ : entry->nameSpace, method, args, converter_);
  lastEndpoint_ = url;
  std::vector<std::pair<std::string, std::string>> headers = {
      {"SOAPAction", "\"" + InvokeRegistry::SoapActionFor(*entry, method) + "\""}};
  if (!webNode_.KeepAlive) headers.emplace_back("Connection", "close");

  std::string answer;
  try {
    answer = Http().Post(url, request, "text/xml; charset=utf-8", headers);
  } catch (const EIdHTTPProtocolException& e) {
    // SOAP 1.1 sends faults with status 500; the fault is the real error.
    SoapAnswerReader::RaiseIfFault(e.ErrorMessage(), Http().ResponseHeader("Content-Type"));
    throw;
  }
  return SoapAnswerReader::Read(std::move(answer), method,
                                converter_.Has(SoapConvertOption::StrictAnswerTypes),
                                Http().ResponseHeader("Content-Type"));
}
