// The balance report reader over arbitrary host text: it must build the
// report or raise, never crash, hang or grow without bound; a report it
// builds must load back as a dataset of the seven fields.
#include <cstdint>
#include <string>

#include "agent/AgentInternal.h"
#include "platform/ClientDataSet.h"
#include "platform/Exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Variant packet;
  try {
    packet = quorl::ReadBalanceReport(text);
  } catch (const Exception&) {
    return 0;
  }
  TClientDataSet report;
  report.SetData(packet);
  if (report.FieldCount() != 7) __builtin_trap();
  for (report.First(); !report.Eof(); report.Next())
    if (report.FieldByName("UserName")->AsString().size() > 32) __builtin_trap();
  return 0;
}
