#include "soap/InvokeRegistry.h"

#include <algorithm>

namespace quorl {

void InvokeRegistry::RegisterInterface(const InvokableInfo& info, const std::string& nameSpace,
                                       const std::string& wsdlEncoding, const std::string& documentation,
                                       const std::string& externalName) {
  auto entry = std::make_unique<InterfaceRegistration>();
  entry->info = &info;
  entry->nameSpace = nameSpace;
  entry->wsdlEncoding = wsdlEncoding;
  entry->documentation = documentation;
  entry->externalName = externalName;
  for (auto& existing : entries_) {
    if (existing->info->iid == info.iid) {
      // Registering again keeps an action and options set before, so the
      // unit's initialisation can run twice without losing its own settings.
      entry->defaultSoapAction = existing->defaultSoapAction;
      entry->invokeOptions = existing->invokeOptions;
      existing = std::move(entry);
      return;
    }
  }
  entries_.push_back(std::move(entry));
}

InterfaceRegistration& InvokeRegistry::Entry(const TGUID& iid) {
  for (auto& e : entries_)
    if (e->info->iid == iid) return *e;
  throw Exception("Interface " + iid.ToString() + " is not registered with the invocation registry");
}

void InvokeRegistry::RegisterDefaultSOAPAction(const TGUID& iid, const std::string& action) {
  Entry(iid).defaultSoapAction = action;
}

void InvokeRegistry::RegisterInvokeOptions(const TGUID& iid, InvokeOptions options) {
  Entry(iid).invokeOptions = options;
}

void InvokeRegistry::UnRegisterInterface(const TGUID& iid) {
  std::erase_if(entries_, [&](const auto& e) { return e->info->iid == iid; });
}

const InterfaceRegistration* InvokeRegistry::Find(const TGUID& iid) const {
  for (const auto& e : entries_)
    if (e->info->iid == iid) return e.get();
  return nullptr;
}

std::string InvokeRegistry::SoapActionFor(const InterfaceRegistration& entry, const SoapMethod& method) {
  if (entry.defaultSoapAction) return *entry.defaultSoapAction;
  return entry.nameSpace + "#" + method.name;
}

InvokeRegistry& InvRegistry() {
  static InvokeRegistry registry;
  return registry;
}

}  // namespace quorl
