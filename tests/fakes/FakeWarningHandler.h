// Fake of the warning-dialog seam (host/WarningMessage.h): while it lives,
// ShowWarningMessage records (message, caption) here instead of printing.
// The destructor restores the default handler.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/WarningMessage.h"

namespace quorl::test {

class FakeWarningHandler {
 public:
  struct Warning {
    std::string message;  // 8-bit GBK, as shown
    std::string caption;
  };
  std::vector<Warning> shown;

  FakeWarningHandler() {
    SetWarningHandler([this](const std::string& message, const std::string& caption) {
      shown.push_back({message, caption});
    });
  }
  ~FakeWarningHandler() { SetWarningHandler(nullptr); }
  FakeWarningHandler(const FakeWarningHandler&) = delete;
  FakeWarningHandler& operator=(const FakeWarningHandler&) = delete;
};

}  // namespace quorl::test
