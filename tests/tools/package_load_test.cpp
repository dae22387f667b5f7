// The package loaded at run time by a host that does not link it: dlopen,
// the loader's two extern "C" entry points, dlclose, and a second load. Only
// C names are resolved; everything else a host calls is linked (membersys).

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(RuntimeLoad, InitializeAndFinalizeRunOnEveryLoad) {
  const char* bin = std::getenv("QUORL_BINARY_DIR");
  ASSERT_NE(bin, nullptr) << "QUORL_BINARY_DIR is set by CTest";
  const std::string path = std::string(bin) + "/lib/libQuorlCoreMemberSys_ZEL.so";
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
    EXPECT_EQ(dlclose(handle), 0) << dlerror();
  }
}

}  // namespace
