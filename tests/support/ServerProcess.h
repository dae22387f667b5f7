// A local server as a child process for integration tests: started with
// port 0, it says "listening on PORT" as its first line on stdout. Starting
// and stopping both have deadlines, so a server that hangs fails the test
// instead of blocking it.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/RunProgram.h"

namespace quorl::test {

// Reads one line (without its '\n') from fd, giving up when no complete line
// has come within timeout: false then, with whatever part came in line.
inline bool ReadLineWithin(int fd, std::chrono::milliseconds timeout, std::string& line) {
  line.clear();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char buf[256];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // the child closed its output without a line
    line.append(buf, static_cast<size_t>(n));
    if (const size_t eol = line.find('\n'); eol != std::string::npos) {
      line.resize(eol);
      return true;
    }
  }
}

// Started with argv (argv[0] is the program); stopped (SIGTERM, SIGKILL after
// 10 s) when the object goes. Port() is 0 when it did not start or did not
// say its port within startTimeout; FirstLine() is what it said instead.
class ServerProcess {
 public:
  explicit ServerProcess(std::vector<std::string> argv,
                         std::chrono::milliseconds startTimeout = std::chrono::seconds(20)) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    const int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
      pid_ = -1;
      close(out[0]);
      return;
    }
    const bool got = ReadLineWithin(out[0], startTimeout, firstLine_);
    close(out[0]);
    const std::string prefix = "listening on ";
    if (got && firstLine_.rfind(prefix, 0) == 0) port_ = std::atoi(firstLine_.c_str() + prefix.size());
  }
  ~ServerProcess() { Stop(); }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int Port() const { return port_; }
  const std::string& FirstLine() const { return firstLine_; }

  // Stops it now and returns its status as waitpid gives it (0: ended
  // normally with status 0), -1 when it was not running.
  int Stop() {
    if (pid_ <= 0) return status_;
    status_ = EndProcess(pid_, SIGTERM, std::chrono::seconds(10));
    pid_ = -1;
    return status_;
  }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  int status_ = -1;
  std::string firstLine_;
};

}  // namespace quorl::test
