// The host's warning dialog. ShowWarningMessage hands message and caption
// (8-bit GBK) to the installed handler and returns when it returns (a GUI
// host shows a modal box). The default handler writes one line
// "caption: message", converted to UTF-8, to stderr.
#pragma once

#include <functional>
#include <string>

#include "host/HostExport.h"

/// Shows a warning through the handler in force (by default "caption: message" on standard error).
QUORL_HOST_API void ShowWarningMessage(const std::string& message, const std::string& caption);

namespace quorl {

/// Shows one warning (8-bit message and caption).
using WarningHandler = std::function<void(const std::string& message, const std::string& caption)>;

/// Installs the handler; an empty handler (nullptr) restores the default.
QUORL_HOST_API void SetWarningHandler(WarningHandler h);

}  // namespace quorl
