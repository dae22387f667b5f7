// The source and build folders of the tree under test (built programs are in
// the build folder's bin/). CTest's environment wins over the compiled-in
// folders, so a moved build can still be tested.
#pragma once

#include <cstdlib>
#include <string>

namespace quorl::test {

inline std::string BinaryDir() {
  const char* dir = std::getenv("QUORL_BINARY_DIR");
  return dir && *dir ? dir : QUORL_TEST_BINARY_DIR;
}

inline std::string SourceDir() {
  const char* dir = std::getenv("QUORL_SOURCE_DIR");
  return dir && *dir ? dir : QUORL_TEST_SOURCE_DIR;
}

// A sample file of tests/data.
inline std::string DataPath(const std::string& name) { return SourceDir() + "/tests/data/" + name; }

}  // namespace quorl::test
