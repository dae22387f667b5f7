#include "platform/Process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "fakes/FakeProcessLauncher.h"
#include "support/TempFolder.h"

namespace {

using quorl::test::TempFolder;

// Polls for a file the started program writes; bounded so a failure cannot hang.
std::string WaitForFile(const std::string& path) {
  for (int i = 0; i < 500; ++i) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    if (in && s.str().find('\n') != std::string::npos) return s.str();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return "";
}

TEST(ShellExecuteA, PassesFileParametersAndFolderToLauncher) {
  quorl::test::ScopedFakeProcessLauncher launcher;
  const struct {
    const char* verb;
    const char* parameters;
    const char* directory;
    std::vector<std::string> args;
    std::string dir;
  } cases[] = {
      {"open", "-h", nullptr, {"-h"}, ""},
      {nullptr, nullptr, "", {}, ""},
      {"OPEN", "  -a   b\t c ", "/srv", {"-a", "b", "c"}, "/srv"},
      {"open", "-f \"Print file.xml\" \"\"", nullptr, {"-f", "Print file.xml", ""}, ""},
      {"", "x\"y z\"", nullptr, {"xy z"}, ""},
  };
  for (const auto& c : cases) {
    launcher.fake.starts.clear();
    const HINSTANCE r = ShellExecuteA(nullptr, c.verb, "/app/MemberPrint_vrisk/PrintApp.exe", c.parameters,
                                      c.directory, SW_SHOW);
    EXPECT_GT(r, 32);
    ASSERT_EQ(launcher.fake.starts.size(), 1u);
    EXPECT_EQ(launcher.fake.starts[0].program, "/app/MemberPrint_vrisk/PrintApp.exe");
    EXPECT_EQ(launcher.fake.starts[0].args, c.args) << (c.parameters ? c.parameters : "(null)");
    EXPECT_EQ(launcher.fake.starts[0].workingDir, c.dir);
  }
}

TEST(ShellExecuteA, ReportsFileNotFoundWithoutStartingWhatCannotRun) {
  quorl::test::ScopedFakeProcessLauncher launcher;
  launcher.fake.FailNext();
  EXPECT_EQ(ShellExecuteA(nullptr, "open", "/missing.exe", "-h", nullptr, SW_SHOW), 2);
  EXPECT_GT(ShellExecuteA(nullptr, "open", "/present.exe", "-h", nullptr, SW_SHOW), 32);
  EXPECT_EQ(ShellExecuteA(nullptr, "print", "/present.exe", "-h", nullptr, SW_SHOW), 2);
  EXPECT_EQ(ShellExecuteA(nullptr, "open", nullptr, "-h", nullptr, SW_SHOW), 2);
  EXPECT_EQ(ShellExecuteA(nullptr, "open", "", "-h", nullptr, SW_SHOW), 2);
  EXPECT_EQ(launcher.fake.starts.size(), 2u);
}

TEST(PosixProcessLauncher, StartsDetachedProgramAndLeavesNoChild) {
  TempFolder dir;
  const std::string script = dir.path() + "/print app.sh";
  {
    std::ofstream out(script);
    // Writes its arguments and working folder to a file only once the test
    // has created "go" (or after ten seconds): a start that waited for the
    // program would return only after out.txt exists.
    out << "#!/bin/sh\ni=0\nwhile [ ! -e go ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done\n"
           "printf '%s|%s|%s\\n' \"$1\" \"$2\" \"$(pwd)\" > out.txt\n";
  }
  ASSERT_EQ(::chmod(script.c_str(), 0700), 0);

  quorl::PosixProcessLauncher launcher;
  ASSERT_TRUE(launcher.Start(script, {"-h", "two words"}, dir.path()));
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/out.txt")) << "the start waited for the program";

  // The trampoline was reaped and the program is not our child: no zombie.
  int status = 0;
  errno = 0;
  EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);

  std::ofstream(dir.path() + "/go") << "";
  EXPECT_EQ(WaitForFile(dir.path() + "/out.txt"), "-h|two words|" + dir.path() + "\n");
}

TEST(PosixProcessLauncher, ReportsProgramsThatCannotStart) {
  TempFolder dir;
  const std::string plain = dir.path() + "/notexec.exe";
  std::ofstream(plain) << "data";
  quorl::PosixProcessLauncher launcher;
  EXPECT_FALSE(launcher.Start(dir.path() + "/missing.exe", {}, ""));
  EXPECT_FALSE(launcher.Start(plain, {}, ""));
  EXPECT_FALSE(launcher.Start(dir.path(), {}, ""));  // a folder
  EXPECT_FALSE(launcher.Start("quorl-no-such-program", {}, ""));
  EXPECT_FALSE(launcher.Start("/bin/true", {}, dir.path() + "/no/such/folder"));
  EXPECT_FALSE(launcher.Start("", {}, ""));
  EXPECT_TRUE(launcher.Start("true", {}, ""));
}

}  // namespace
