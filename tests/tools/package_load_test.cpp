// The package loaded at run time by a host that does not link it: dlopen,
// the loader's two extern "C" entry points, dlclose, and a second load. A
// host resolves only those C names; the test also reads the package's log
// of unit steps (a C++ function, typed from its header) to check the order.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "agent/PackageUnits.h"
#include "support/TestPaths.h"

namespace {

TEST(RuntimeLoad, InitializeAndFinalizeRunOnEveryLoad) {
  const std::string path = quorl::test::BinaryDir() + "/lib/libQuorlCoreMemberSys_ZEL.so";
  // The second load starts after the first one's Finalize and dlclose: the
  // units must set up again from scratch.
  for (int load = 1; load <= 2; ++load) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << "load " << load << ": " << dlerror();
    auto* initialize = reinterpret_cast<void (*)()>(dlsym(handle, "Initialize"));
    auto* finalize = reinterpret_cast<void (*)()>(dlsym(handle, "Finalize"));
    ASSERT_NE(initialize, nullptr) << dlerror();
    ASSERT_NE(finalize, nullptr) << dlerror();
    EXPECT_NO_THROW(initialize()) << "load " << load;
    EXPECT_NO_THROW(initialize()) << "a second Initialize does nothing";
    EXPECT_NO_THROW(finalize()) << "load " << load;
    EXPECT_NO_THROW(finalize()) << "Finalize without Initialize does nothing";
    auto* unitLog = reinterpret_cast<decltype(&quorl::PackageUnitLog)>(
        dlsym(handle, "_ZN5quorl14PackageUnitLogB5cxx11Ev"));  // GCC/Clang, C++11 string ABI
    ASSERT_NE(unitLog, nullptr) << dlerror();
    const std::vector<std::string> units = {"TicketManage_WSDL",
                                            "uCoreMemberSysErrorRes_ZEL",
                                            "uMemberCardCheckTicket_KETHO",
                                            "uVxJSON",
                                            "md5",
                                            "uHuiTouKe_ZEL",
                                            "uCoreMemberSys_ZEL",
                                            "drv_unit",
                                            "swipecard"};
    std::vector<std::string> expected;
    for (const std::string& u : units) expected.push_back("init " + u);
    for (auto u = units.rbegin(); u != units.rend(); ++u) expected.push_back("fini " + *u);
    const std::vector<std::string>& log = unitLog();
    ASSERT_GE(log.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(log.end() - static_cast<long>(expected.size()), log.end()), expected)
        << "load " << load;
    EXPECT_EQ(dlclose(handle), 0) << dlerror();
  }
}

}  // namespace
