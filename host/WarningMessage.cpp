#include "host/WarningMessage.h"

#include <cstdio>

#include "platform/CodePage.h"

namespace {

void WriteToStderr(const std::string& message, const std::string& caption) {
  const std::string line = quorl::GbkToUtf8(caption) + ": " + quorl::GbkToUtf8(message) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

quorl::WarningHandler& Handler() {
  static quorl::WarningHandler handler;
  return handler;
}

}  // namespace

void ShowWarningMessage(const std::string& message, const std::string& caption) {
  // Copy first: a handler may install another handler while it runs.
  const quorl::WarningHandler handler = Handler();
  if (handler) {
    handler(message, caption);
  } else {
    WriteToStderr(message, caption);
  }
}

namespace quorl {

void SetWarningHandler(WarningHandler h) { Handler() = std::move(h); }

}  // namespace quorl
