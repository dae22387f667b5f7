// THTTPRIO: the SOAP remote-invocation client. Asked for a registered
// invokable interface it hands out a proxy whose operations become SOAP 1.1
// RPC/encoded calls over TIdHTTP.
//
// Binding: by endpoint address (URL), or through a WSDL document (location,
// service, port), fetched on the first call and searched for the port's
// soap:address. Setting the URL clears the WSDL location and the other way
// round, so the last binding set wins. Calls are made in the namespace the
// interface is registered under, or, when bound through a WSDL that has a
// targetNamespace, in that one: the service says best what it expects.
//
// Lifetime: a client created without owner (the default) is reference
// counted through its interfaces: it starts at 0 and frees itself when the
// last reference to any interface it handed out is released; a client that
// never handed out one must be deleted by its creator. A client created
// owned ignores the count and is deleted by its owner, after which its
// interfaces must not be used.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core/PackageExport.h"
#include "platform/Http.h"
#include "platform/Interfaces.h"
#include "soap/InvokeRegistry.h"
#include "soap/SoapConverter.h"

namespace quorl {

/// How a client's life ends (see the file comment).
enum class RioLifetime { NoOwner, Owned };

/// The client's HTTP transport node.
struct HttpWebNode {
  /// Keep the connection open between calls. Off, every request asks the
  /// server to close it ("Connection: close"), which suits clients that are
  /// used once; a client kept for a session switches it on.
  bool KeepAlive = false;
};

}  // namespace quorl

/// The SOAP client (see the file comment). A host creates one with new, binds it (SetURL or SetWSDLLocation)
/// and may pass it to GetTicketManage.
class QUORL_PACKAGE_API THTTPRIO : public IInterface {
 public:
  /// A client without binding; lifetime as in the file comment.
  explicit THTTPRIO(quorl::RioLifetime lifetime = quorl::RioLifetime::NoOwner);
  virtual ~THTTPRIO();
  THTTPRIO(const THTTPRIO&) = delete;
  THTTPRIO& operator=(const THTTPRIO&) = delete;

  /// IInterface: answers IInterface with itself and every interface of the
  /// invocation registry with its proxy (created on first request, kept until
  /// the client ends); E_NOINTERFACE otherwise.
  HRESULT QueryInterface(const TGUID& iid, void** obj) override;
  int32_t AddRef() override;
  int32_t Release() override;

  const std::string& URL() const { return url_; }  ///< The endpoint address; empty when bound through a WSDL.
  void SetURL(const std::string& url);             ///< Binds to an endpoint; clears the WSDL location.
  /// The WSDL address; empty when bound by URL.
  const std::string& WSDLLocation() const { return wsdlLocation_; }
  void SetWSDLLocation(const std::string& location);       ///< Binds through a WSDL document; clears the URL.
  const std::string& Service() const { return service_; }  ///< The WSDL service searched.
  void SetService(const std::string& service);             ///< Sets the WSDL service to search.
  const std::string& Port() const { return port_; }        ///< The WSDL port searched.
  void SetPort(const std::string& port);                   ///< Sets the WSDL port to search.

  quorl::SoapConverter& Converter() { return converter_; }  ///< The envelope options, owned by the client.
  quorl::HttpWebNode& HTTPWebNode() { return webNode_; }    ///< The transport options, owned by the client.

  /// Calls operation methodIndex of interface iid with args and returns its
  /// result. Raises Exception when the interface is not registered, the index
  /// is out of range or its invoke options are not RPC/encoded, or the
  /// client has neither URL nor WSDL location; EIdSocketError when the
  /// connection fails; ERemotableException for a SOAP fault (also one sent
  /// with HTTP status 500); EIdHTTPProtocolException for another HTTP error;
  /// what SoapAnswerReader raises for a bad answer.
  quorl::SoapValue Invoke(const TGUID& iid, size_t methodIndex, const std::vector<quorl::SoapValue>& args);

  /// The endpoint the last call was sent to (after WSDL resolution); empty
  /// before the first call.
  const std::string& LastEndpoint() const { return lastEndpoint_; }

  /// Live clients in the process, for leak checks in tests.
  static int InstanceCount();

 private:
  TIdHTTP& Http();
  std::string Endpoint();

  quorl::RioLifetime lifetime_;
  std::atomic<int32_t> refCount_{0};
  std::string url_;
  std::string wsdlLocation_;
  std::string service_;
  std::string port_;
  std::string wsdlEndpoint_;   ///< from the WSDL, cached until the binding changes
  std::string wsdlNamespace_;  ///< its targetNamespace, cached with it
  std::string lastEndpoint_;
  quorl::SoapConverter converter_;
  quorl::HttpWebNode webNode_;
  std::unique_ptr<TIdHTTP> http_;
  struct ProxySlot {
    TGUID iid;
    std::unique_ptr<quorl::RioProxy> proxy;
  };
  std::vector<ProxySlot> proxies_;
};

namespace quorl {

/// Base of the proxies port-type units hand to the registry: forwards the
/// reference counting and interface queries to the client.
template <class I>
class RioProxyOf : public I, public RioProxy {
 public:
  explicit RioProxyOf(THTTPRIO& rio) : rio_(rio) {}  ///< A proxy of rio, which owns it.
  /// Forwarded to the client.
  HRESULT QueryInterface(const TGUID& iid, void** obj) override { return rio_.QueryInterface(iid, obj); }
  int32_t AddRef() override { return rio_.AddRef(); }    ///< Forwarded to the client.
  int32_t Release() override { return rio_.Release(); }  ///< Forwarded to the client.
  void* Interface() override { return static_cast<I*>(this); }

 protected:
  /// Invokes operation methodIndex of I (see THTTPRIO::Invoke).
  SoapValue Call(size_t methodIndex, std::vector<SoapValue> args) {
    return rio_.Invoke(I::IID, methodIndex, args);
  }
  /// Call, for a text result.
  std::u16string CallText(size_t methodIndex, std::vector<SoapValue> args) {
    return std::get<std::u16string>(Call(methodIndex, std::move(args)));
  }
  /// Call, for an integer result.
  int32_t CallInt(size_t methodIndex, std::vector<SoapValue> args) {
    return std::get<int32_t>(Call(methodIndex, std::move(args)));
  }

 private:
  THTTPRIO& rio_;
};

}  // namespace quorl
