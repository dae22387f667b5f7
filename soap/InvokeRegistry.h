// The SOAP invocation registry: what the runtime knows about each invokable
// interface (its operations, namespace, SOAP action and invoke options).
//
// A port-type unit describes its interface once with an InvokableInfo and
// registers it at unit initialisation; THTTPRIO consults the registry when it
// is asked for an interface and when it invokes an operation. The registry is
// process-wide and, like everything in the package, used from one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/PackageExport.h"
#include "platform/Interfaces.h"

class THTTPRIO;

/// Base of every interface a SOAP client can stand in for. It has no
/// identifier of its own: clients are asked for the derived port types.
struct QUORL_PACKAGE_API IInvokable : IInterface {
 protected:
  ~IInvokable() = default;
};

namespace quorl {

/// The value kinds the runtime marshals: xsd:string as UTF-16 text and xsd:int
/// as a 32-bit signed integer.
enum class SoapType { String, Int };
using SoapValue = std::variant<std::u16string, int32_t>;  ///< A marshalled value.

/// One parameter of an operation.
struct SoapParam {
  std::string name;                  ///< the SOAP part name, sent letter for letter
  SoapType type = SoapType::String;  ///< the value kind it carries
};

/// One operation of an invokable interface.
struct SoapMethod {
  std::string name;                    ///< the operation name, sent letter for letter
  std::vector<SoapParam> params;       ///< in call order
  SoapType result = SoapType::String;  ///< the kind of its return value
};

/// What THTTPRIO hands out for an interface: an object implementing it whose
/// reference counting is the client's. The client owns its proxies and frees
/// them with itself.
class QUORL_PACKAGE_API RioProxy {
 public:
  virtual ~RioProxy() = default;
  /// The pointer to the implemented interface, as QueryInterface hands it out.
  virtual void* Interface() = 0;
};
/// Creates a proxy of rio; the client owns it.
using RioProxyFactory = std::unique_ptr<RioProxy> (*)(THTTPRIO& rio);

/// The fixed description of an invokable interface: methods in slot order.
struct InvokableInfo {
  TGUID iid;                            ///< the interface's identifier
  std::string name;                     ///< the port type's name
  std::vector<SoapMethod> methods;      ///< operations in slot order
  RioProxyFactory makeProxy = nullptr;  ///< creates the proxy THTTPRIO hands out
};

/// How operations of an interface are put on the wire. The default (no flag)
/// is RPC style with SOAP-encoded parameters, the only combination this
/// runtime speaks; the others are recorded so that a call fails clearly.
enum class InvokeOption : uint32_t { DocumentStyle = 1u << 0, LiteralParams = 1u << 1 };
using InvokeOptions = uint32_t;              ///< InvokeOption flags
constexpr InvokeOptions kInvokeDefault = 0;  ///< RPC style, SOAP-encoded

/// What the registry holds for one interface.
struct InterfaceRegistration {
  const InvokableInfo* info = nullptr;           ///< static storage of the port-type unit
  std::string nameSpace;                         ///< namespace URI the calls are made in
  std::string wsdlEncoding;                      ///< encoding named in the interface description
  std::string documentation;                     ///< free text, may be empty
  std::string externalName;                      ///< name on the wire when it differs; may be empty
  std::optional<std::string> defaultSoapAction;  ///< unset: "namespace#operation"
  InvokeOptions invokeOptions = kInvokeDefault;  ///< InvokeOption flags; 0 is RPC/encoded
};

/// The process-wide invocation registry (InvRegistry()); used from one thread.
class QUORL_PACKAGE_API InvokeRegistry {
 public:
  /// Registers (or registers again, replacing namespace and texts) the
  /// interface described by info, which must outlive the registry entry.
  void RegisterInterface(const InvokableInfo& info, const std::string& nameSpace,
                         const std::string& wsdlEncoding, const std::string& documentation = "",
                         const std::string& externalName = "");
  /// Both raise Exception when the interface is not registered.
  void RegisterDefaultSOAPAction(const TGUID& iid, const std::string& action);
  /// Records how the interface's operations go on the wire.
  void RegisterInvokeOptions(const TGUID& iid, InvokeOptions options);
  void UnRegisterInterface(const TGUID& iid);  ///< Removes the interface's entry; nothing when absent.

  /// The entry of iid, or nullptr. The pointer stays valid until that
  /// interface is registered again or unregistered.
  const InterfaceRegistration* Find(const TGUID& iid) const;

  /// The SOAP action of an operation: the registered default when one was
  /// registered (also when empty), else "namespace#operation".
  static std::string SoapActionFor(const InterfaceRegistration& entry, const SoapMethod& method);

 private:
  std::vector<std::unique_ptr<InterfaceRegistration>> entries_;
  InterfaceRegistration& Entry(const TGUID& iid);
};

/// The process-wide registry.
QUORL_PACKAGE_API InvokeRegistry& InvRegistry();

}  // namespace quorl
