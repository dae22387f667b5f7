// Running a built program from a test: its exit status and both outputs,
// with a deadline so that a hung program fails the test instead of holding
// it until the test runner's time-out.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "support/TempFolder.h"
#include "support/TestPaths.h"

extern char** environ;

namespace quorl::test {

// Single-quotes a word for /bin/sh.
inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Waits for pid until the deadline; false (status untouched) when it is
// still running then.
inline bool WaitUntil(pid_t pid, std::chrono::steady_clock::time_point deadline, int& status) {
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    usleep(10000);
  }
}

// Ends pid: signal first, SIGKILL when it has not ended within grace.
// Returns its status as waitpid gives it.
inline int EndProcess(pid_t pid, int signal, std::chrono::milliseconds grace) {
  int status = -1;
  kill(pid, signal);
  if (!WaitUntil(pid, std::chrono::steady_clock::now() + grace, status)) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  return status;
}

struct Result {
  int exitCode = -1;
  std::string out;
  std::string err;
};

struct RunOptions {
  std::string input;  // standard input (empty: none)
  std::chrono::milliseconds deadline{20000};
  // Where the outputs are kept, as the files "stdout" and "stderr": for a
  // program that leaves a child writing to them after it ends. Empty: a
  // folder of the call's own, gone when it returns.
  std::string outputFolder;
  std::string workDir;  // empty: the test's own

  RunOptions& Input(std::string text) { return input = std::move(text), *this; }
  RunOptions& Deadline(std::chrono::milliseconds d) { return deadline = d, *this; }
  RunOptions& OutputFolder(std::string dir) { return outputFolder = std::move(dir), *this; }
  RunOptions& WorkDir(std::string dir) { return workDir = std::move(dir), *this; }
};

// Runs argv (argv[0] is the program, looked up in PATH when it has no '/')
// to completion. A program killed by a signal gives 128 + the signal; one
// still running at the deadline is killed and fails the test.
inline Result RunProgram(const std::vector<std::string>& argv, const RunOptions& options = {}) {
  TempFolder files("quorl-run-");
  const std::string in = files.Write("stdin", options.input);
  const std::string outputs = options.outputFolder.empty() ? files.path() : options.outputFolder;
  const std::string out = outputs + "/stdout", err = outputs + "/stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (!options.workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.workDir.c_str());
  std::vector<std::string> words = argv;
  std::vector<char*> args;
  for (auto& w : words) args.push_back(w.data());
  args.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  Result r;
  if (rc != 0) {
    r.exitCode = 127;  // as the shell reports a program it cannot start
    r.err = "cannot start " + argv[0];
    return r;
  }
  int status = 0;
  if (!WaitUntil(pid, std::chrono::steady_clock::now() + options.deadline, status)) {
    status = EndProcess(pid, SIGKILL, std::chrono::milliseconds(0));
    ADD_FAILURE() << argv[0] << " did not end within " << options.deadline.count() << " ms";
  }
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = ReadFile(out);
  r.err = ReadFile(err);
  return r;
}

// The same with the program apart from its arguments.
inline Result RunProgram(const std::string& program, std::vector<std::string> args,
                         const RunOptions& options = {}) {
  args.insert(args.begin(), program);
  return RunProgram(args, options);
}

}  // namespace quorl::test
