// The application object: where the executable lies and the main window.
//
// ApplicationDirectory() is the folder of the executable (read from
// /proc/self/exe) with its trailing '/'. It is a seam: a host program or a
// test may point it elsewhere with SetApplicationDirectory; an empty text
// restores the executable's folder.
#pragma once

#include <string>

#include "platform/RtlExport.h"

namespace quorl {

/// The application folder, ending in '/': set by SetApplicationDirectory, else the executable's.
QUORL_RTL_API std::string ApplicationDirectory();
QUORL_RTL_API void SetApplicationDirectory(const std::string& dir);  ///< '/' is appended when missing
QUORL_RTL_API std::string ExecutablePath();  ///< The running executable (/proc/self/exe).

/// The host's main window, passed as owner of what the package starts. The
/// Linux host has none unless it sets one.
QUORL_RTL_API void* MainWindowHandle();
QUORL_RTL_API void SetMainWindowHandle(void* handle);  ///< Sets the main window; the host keeps ownership.

}  // namespace quorl
