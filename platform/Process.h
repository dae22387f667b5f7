// Starting other programs: ShellExecuteA and its seam.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/RtlExport.h"

namespace quorl {

/// The process-start seam. The real launcher (PosixProcessLauncher) starts the
/// program detached with posix_spawn and does not wait for it. Returns false
/// when the program could not be started.
class QUORL_RTL_API ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  /// Starts program with args in workingDir; false when it could not be started.
  virtual bool Start(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workingDir) = 0;
};

/// The real launcher: posix_spawn, detached, not waited for.
class QUORL_RTL_API PosixProcessLauncher : public ProcessLauncher {
 public:
  /// See ProcessLauncher::Start.
  bool Start(const std::string& program, const std::vector<std::string>& args,
             const std::string& workingDir) override;
};

/// The launcher ShellExecuteA uses; the posix one unless replaced. Passing
/// nullptr restores it. The caller keeps ownership of what it sets.
QUORL_RTL_API ProcessLauncher& CurrentProcessLauncher();
/// Installs a launcher the caller keeps; nullptr restores the posix one.
QUORL_RTL_API void SetProcessLauncher(ProcessLauncher* launcher);

}  // namespace quorl

using HWND = void*;         ///< a window handle (none on Linux unless the host sets one)
using HINSTANCE = long;     ///< ShellExecuteA's result
constexpr int SW_HIDE = 0;  ///< start hidden
constexpr int SW_SHOW = 5;  ///< start shown

/// Stand-in for the shell call: verb "open" (or null) starts `file` with the
/// blank-separated `parameters` through the current launcher, detached.
/// Returns a value above 32 on success and 2 (file not found) otherwise, as the
/// platform does. Nothing is waited for.
QUORL_RTL_API HINSTANCE ShellExecuteA(HWND owner, const char* verb, const char* file, const char* parameters,
                                      const char* directory, int showCmd);
