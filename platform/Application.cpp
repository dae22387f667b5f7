#include "platform/Application.h"

#include <unistd.h>

#include <vector>

namespace {

// Set by the host or a test; empty means "the executable's folder".
std::string& DirectoryOverride() {
  static std::string dir;
  return dir;
}

void*& MainWindow() {
  static void* handle = nullptr;
  return handle;
}

}  // namespace

namespace quorl {

std::string ExecutablePath() {
  // readlink does not say whether it truncated, so grow until the answer fits.
  std::vector<char> buf(256);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<size_t>(n));
    if (buf.size() >= 65536) return std::string();
    buf.resize(buf.size() * 2);
  }
}

std::string ApplicationDirectory() {
  if (!DirectoryOverride().empty()) return DirectoryOverride();
  const std::string exe = ExecutablePath();
  const size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return std::string();
  return exe.substr(0, slash + 1);
}

void SetApplicationDirectory(const std::string& dir) {
  DirectoryOverride() = dir;
  if (!dir.empty() && dir.back() != '/') DirectoryOverride() += '/';
}

void* MainWindowHandle() { return MainWindow(); }

void SetMainWindowHandle(void* handle) { MainWindow() = handle; }

}  // namespace quorl
