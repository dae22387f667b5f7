// Fake of the process-start seam (quorl::ProcessLauncher): records every start
// and starts nothing. Fault switch: FailNext() makes the next Start report
// failure (the program could not be started); failAlways does so for all.
// ScopedFakeProcessLauncher installs one for its lifetime:
//   ScopedFakeProcessLauncher launcher;
//   ShellExecuteA(nullptr, "open", "/x/PrintApp.exe", "-h", nullptr, SW_SHOW);
//   ASSERT_EQ(launcher.fake.starts.size(), 1u);
#pragma once

#include <string>
#include <vector>

#include "platform/Process.h"

namespace quorl::test {

class FakeProcessLauncher : public ProcessLauncher {
 public:
  struct StartCall {
    std::string program;
    std::vector<std::string> args;
    std::string workingDir;
    bool reportedStarted;
  };
  std::vector<StartCall> starts;
  bool failAlways = false;

  void FailNext() { failNext_ = true; }

  bool Start(const std::string& program, const std::vector<std::string>& args,
             const std::string& workingDir) override {
    const bool ok = !(failAlways || failNext_);
    failNext_ = false;
    starts.push_back(StartCall{program, args, workingDir, ok});
    return ok;
  }

 private:
  bool failNext_ = false;
};

class ScopedFakeProcessLauncher {
 public:
  FakeProcessLauncher fake;
  ScopedFakeProcessLauncher() { SetProcessLauncher(&fake); }
  ~ScopedFakeProcessLauncher() { SetProcessLauncher(nullptr); }
  ScopedFakeProcessLauncher(const ScopedFakeProcessLauncher&) = delete;
  ScopedFakeProcessLauncher& operator=(const ScopedFakeProcessLauncher&) = delete;
};

}  // namespace quorl::test
