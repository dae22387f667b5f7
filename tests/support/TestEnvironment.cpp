// Gives every test program the source and build folders as environment
// variables (QUORL_SOURCE_DIR, QUORL_BINARY_DIR), set before main runs, unless
// the caller already set them. CTest cannot pass two variables through the
// discovered-test properties reliably, so they are compiled in.
#include <cstdlib>

namespace {
struct TestEnvironment {
  TestEnvironment() {
    setenv("QUORL_SOURCE_DIR", QUORL_TEST_SOURCE_DIR, 0);
    setenv("QUORL_BINARY_DIR", QUORL_TEST_BINARY_DIR, 0);
  }
};
const TestEnvironment kTestEnvironment;
}  // namespace
