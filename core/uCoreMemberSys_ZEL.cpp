#include "core/uCoreMemberSys_ZEL.h"

#include <memory>

#include "core/CoreState.h"
#include "host/QuorlContext.h"
#include "platform/Exception.h"

std::string _MemberSysSoapURL_ZEL;
std::string _MemberSysWSDLURL_ZEL;
std::string _MemberCommercial_ZEL;
std::string _MemberPassWordKey_ZEL;
std::string _MemberConnectUmnByDB_ZEL;

namespace {

// Function-local statics: the state must exist before any other unit's
// static set-up could reach it, and be torn down after.
std::unique_ptr<TQuorlContext>& ContextSlot() {
  static std::unique_ptr<TQuorlContext> context;
  return context;
}

}  // namespace

TQuorlContext* _QuorlContext() {
  std::unique_ptr<TQuorlContext>& slot = ContextSlot();
  if (!slot) slot = std::make_unique<TQuorlContext>(nullptr);
  return slot.get();
}

std::string GetIsValidMemberTypeValue_ZEL(bool value) { return value ? "1" : "0"; }

bool GetIsValidMemberType_ZEL(const std::string& value) { return value == "1"; }

namespace quorl {

IntfPtr<IInterface>& LastAgentReference() {
  static IntfPtr<IInterface> agent;
  return agent;
}

void uCoreMemberSys_ZEL_Initialize() { _QuorlContext(); }

void uCoreMemberSys_ZEL_Finalize() {
  ContextSlot().reset();
  LastAgentReference().reset();
  ReleaseTypeTables();
  _MemberSysSoapURL_ZEL.clear();
  _MemberSysWSDLURL_ZEL.clear();
  _MemberCommercial_ZEL.clear();
  _MemberPassWordKey_ZEL.clear();
  _MemberConnectUmnByDB_ZEL.clear();
}

std::string EscapeSqlText(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out;
}

std::string FormatSql(std::string_view sqlTemplate, std::initializer_list<std::string_view> values) {
  std::string out;
  auto next = values.begin();
  size_t pos = 0;
  for (;;) {
    const size_t hit = sqlTemplate.find("%s", pos);
    if (hit == std::string_view::npos) break;
    if (next == values.end()) throw Exception("FormatSql: too few values for the template");
    out.append(sqlTemplate.substr(pos, hit - pos));
    out.append(*next++);
    pos = hit + 2;
  }
  if (next != values.end()) throw Exception("FormatSql: too many values for the template");
  out.append(sqlTemplate.substr(pos));
  return out;
}

}  // namespace quorl
