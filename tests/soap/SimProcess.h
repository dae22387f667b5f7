// Runs the built programs of this folder's integration tests: the simulator
// as a server (first stdout line "listening on PORT") and the command-line
// tool to completion.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace quorl::testing {

inline std::string BinaryDir() {
  const char* dir = std::getenv("QUORL_BINARY_DIR");
  return dir ? dir : QUORL_DEFAULT_BINARY_DIR;
}

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorl-soap-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::vector<char*> Argv(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return argv;
}

// The simulator on a free loopback port, stopped with SIGTERM on destruction.
class SimProcess {
 public:
  explicit SimProcess(const std::string& dbPath, bool seed = true,
                      const std::vector<std::string>& extraArgs = {}) {
    std::vector<std::string> args = {BinaryDir() + "/bin/ticketmanage-sim", "--port", "0", "--db", dbPath};
    if (seed) args.push_back("--seed");
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv = Argv(args);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
      close(out[0]);
      throw std::runtime_error("cannot start " + args[0]);
    }
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{out[0], POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buf[64];
      const ssize_t n = read(out[0], buf, sizeof buf);
      if (n <= 0) break;
      line.append(buf, static_cast<size_t>(n));
    }
    close(out[0]);
    if (line.rfind("listening on ", 0) != 0) {
      Stop();
      throw std::runtime_error("simulator did not start: '" + line + "'");
    }
    port_ = std::stoi(line.substr(13));
  }
  ~SimProcess() { Stop(); }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Sends SIGTERM and returns the exit status (-1 when it did not exit normally).
  int Stop() {
    if (pid_ <= 0) return exitStatus_;
    kill(pid_, SIGTERM);
    int status = 0;
    // A simulator that ignores SIGTERM must not hang the test run.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      usleep(10000);
    }
    pid_ = -1;
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return exitStatus_;
  }
  int Port() const { return port_; }
  std::string Endpoint() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/services/TicketManage";
  }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  int exitStatus_ = -1;
};

struct ProgramResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs a program to completion with stdout and stderr captured in files.
inline ProgramResult RunProgram(std::vector<std::string> args) {
  TempFolder tmp;
  const std::string outFile = tmp.File("out"), errFile = tmp.File("err");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> argv = Argv(args);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + args[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  auto slurp = [](const std::string& f) {
    std::ifstream in(f, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  };
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(outFile), slurp(errFile)};
}

}  // namespace quorl::testing
