#include "agent/PackageUnits.h"

#include <cstddef>
#include <iterator>

#include "core/CoreState.h"
#include "memberdata/uCoreMemberSysErrorRes_ZEL.h"
#include "soap/TicketManage_WSDL.h"

namespace {

void NoOp() {}

struct PackageUnit {
  const char* name;
  void (*initialize)();
  void (*finalize)();
};

// Load order: each unit after those it uses.
const PackageUnit kUnits[] = {
    {"TicketManage_WSDL", TicketManage_WSDL_Initialize, NoOp},  // the registration stays after unload
    {"uCoreMemberSysErrorRes_ZEL", quorl::uCoreMemberSysErrorRes_ZEL_Initialize,
     quorl::uCoreMemberSysErrorRes_ZEL_Finalize},
    {"uMemberCardCheckTicket_KETHO", NoOp, NoOp},  // nothing to set up
    {"uVxJSON", NoOp, NoOp},                       // nothing to set up
    {"md5", NoOp, NoOp},                           // nothing to set up
    {"uHuiTouKe_ZEL", NoOp, NoOp},                 // nothing to set up
    {"uCoreMemberSys_ZEL", quorl::uCoreMemberSys_ZEL_Initialize, quorl::uCoreMemberSys_ZEL_Finalize},
    {"drv_unit", NoOp, NoOp},   // the reader library is bound on first use
    {"swipecard", NoOp, NoOp},  // nothing to set up
};

// How many units of kUnits are set up now; Finalize undoes exactly those.
size_t g_initialized = 0;
bool g_loaded = false;

std::vector<std::string>& Log() {
  static std::vector<std::string> log;
  return log;
}

void FinalizeFrom(size_t count) {
  // A unit's tear-down failing must not keep the others from tearing down.
  while (count > 0) {
    const PackageUnit& unit = kUnits[--count];
    Log().push_back(std::string("fini ") + unit.name);
    try {
      unit.finalize();
    } catch (...) {
    }
  }
}

}  // namespace

extern "C" void Initialize() {
  if (g_loaded) return;
  g_initialized = 0;
  try {
    for (const PackageUnit& unit : kUnits) {
      Log().push_back(std::string("init ") + unit.name);
      unit.initialize();
      ++g_initialized;
    }
  } catch (...) {
    FinalizeFrom(g_initialized);
    g_initialized = 0;
    throw;
  }
  g_loaded = true;
}

extern "C" void Finalize() {
  if (!g_loaded) return;
  g_loaded = false;
  FinalizeFrom(g_initialized);
  g_initialized = 0;
}

namespace quorl {

std::vector<std::string> PackageUnitNames() {
  std::vector<std::string> names;
  for (const PackageUnit& unit : kUnits) names.emplace_back(unit.name);
  return names;
}

const std::vector<std::string>& PackageUnitLog() { return Log(); }
void ClearPackageUnitLog() { Log().clear(); }
bool PackageLoaded() { return g_loaded; }

}  // namespace quorl
