// The one file of the host program that talks to the dynamic loader.

#include "tools/membersys/PackageLibrary.h"

#include <dlfcn.h>

#include <filesystem>

#include "platform/Application.h"
#include "platform/Exception.h"

namespace quorl::membersys {

namespace {
constexpr const char* kPackageFileName = "libQuorlCoreMemberSys_ZEL.so";

std::string LoaderError() {
  const char* text = dlerror();
  return text != nullptr ? text : "unknown loader error";
}
}  // namespace

std::string DefaultPackagePath() {
  // The program's own folder, not the application directory: --app-dir moves
  // where the INI file is read, not where the binaries are.
  const std::filesystem::path programDir = std::filesystem::path(quorl::ExecutablePath()).parent_path();
  const std::filesystem::path candidates[] = {programDir / ".." / "lib" / kPackageFileName,
                                              programDir / kPackageFileName};
  for (const auto& candidate : candidates) {
    std::error_code ec;
    if (std::filesystem::exists(candidate, ec)) return candidate.lexically_normal().string();
  }
  return candidates[0].lexically_normal().string();
}

PackageLibrary::PackageLibrary(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) throw Exception("cannot load the package: " + LoaderError());
}

PackageLibrary::~PackageLibrary() {
  try {
    Finalize();
  } catch (...) {
  }
  dlclose(handle_);
}

void PackageLibrary::Initialize() {
  if (initialized_) return;
  Function<void (*)()>("Initialize")();
  initialized_ = true;
}

void PackageLibrary::Finalize() {
  if (!initialized_) return;
  initialized_ = false;
  Function<void (*)()>("Finalize")();
}

void* PackageLibrary::Symbol(const char* name) const {
  dlerror();
  void* address = dlsym(handle_, name);
  if (address == nullptr) throw Exception(std::string("the package does not export ") + name);
  return address;
}

}  // namespace quorl::membersys
