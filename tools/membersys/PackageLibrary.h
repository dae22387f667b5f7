// The package as the host loads it: dlopen, the loader's Initialize and
// Finalize, symbol look-up by (mangled) name, dlclose.
#pragma once

#include <string>

namespace quorl::membersys {

// Where the host program finds the package: ../lib/ relative to the
// program's folder (the build tree), else beside the program (installed).
// Returns the first path that exists, else the first candidate.
std::string DefaultPackagePath();

class PackageLibrary {
 public:
  // Loads the library (RTLD_NOW, RTLD_LOCAL). Raises Exception with the
  // loader's message when it cannot.
  explicit PackageLibrary(const std::string& path);
  // Runs Finalize when Initialize ran, then unloads the library.
  ~PackageLibrary();
  PackageLibrary(const PackageLibrary&) = delete;
  PackageLibrary& operator=(const PackageLibrary&) = delete;

  // The package loader's unit set-up and tear-down.
  void Initialize();
  void Finalize();

  // Address of an exported symbol; raises Exception naming the symbol when
  // the library does not export it.
  void* Symbol(const char* name) const;

  // A function by its (mangled) name, typed by the caller: Fn is the
  // function pointer type, e.g. decltype(&_GetMemberSysWSURL).
  template <class Fn>
  Fn Function(const char* name) const {
    return reinterpret_cast<Fn>(Symbol(name));
  }
  // A variable by its (mangled) name.
  template <class T>
  T& Variable(const char* name) const {
    return *static_cast<T*>(Symbol(name));
  }

 private:
  void* handle_ = nullptr;
  bool initialized_ = false;
};

}  // namespace quorl::membersys
