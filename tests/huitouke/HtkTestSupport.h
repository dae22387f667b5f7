// Shared pieces of the platform client tests: the address strings set for a
// test and restored after it, form bodies split back into fields, packets
// read back into rows, and the simulator started as a child process.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/uCoreMemberSys_ZEL.h"
#include "platform/ClientDataSet.h"
#include "platform/Variant.h"

namespace quorl::htktest {

// Sets base address, merchant|store and key for the test's lifetime.
class ScopedPlatformConfig {
 public:
  ScopedPlatformConfig(std::string url, std::string commercial, std::string key)
      : url_(_MemberSysSoapURL_ZEL), commercial_(_MemberCommercial_ZEL), key_(_MemberPassWordKey_ZEL) {
    _MemberSysSoapURL_ZEL = std::move(url);
    _MemberCommercial_ZEL = std::move(commercial);
    _MemberPassWordKey_ZEL = std::move(key);
  }
  ~ScopedPlatformConfig() {
    _MemberSysSoapURL_ZEL = url_;
    _MemberCommercial_ZEL = commercial_;
    _MemberPassWordKey_ZEL = key_;
  }
  ScopedPlatformConfig(const ScopedPlatformConfig&) = delete;
  ScopedPlatformConfig& operator=(const ScopedPlatformConfig&) = delete;

 private:
  std::string url_, commercial_, key_;
};

inline int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

// A form body back into (name, value) fields, in order.
inline std::vector<std::pair<std::string, std::string>> FormFields(const std::string& body) {
  auto decode = [](const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] == '+') {
        out += ' ';
      } else if (s[i] == '%' && i + 2 < s.size()) {
        out += static_cast<char>(HexDigit(s[i + 1]) * 16 + HexDigit(s[i + 2]));
        i += 2;
      } else {
        out += s[i];
      }
    }
    return out;
  };
  std::vector<std::pair<std::string, std::string>> fields;
  size_t start = 0;
  while (start <= body.size()) {
    size_t end = body.find('&', start);
    if (end == std::string::npos) end = body.size();
    const std::string part = body.substr(start, end - start);
    const size_t eq = part.find('=');
    if (!part.empty()) fields.emplace_back(decode(part.substr(0, eq)), eq == std::string::npos ? "" : decode(part.substr(eq + 1)));
    start = end + 1;
  }
  return fields;
}

// One row of a packet: field name -> value, nullopt for null.
using Row = std::map<std::string, std::optional<std::string>>;

struct Packet {
  std::vector<std::string> fields;
  std::vector<Row> rows;
};

// Reads a packet back; texts as stored (GBK), numbers and dates as text.
inline Packet ReadPacket(const Variant& packet) {
  TClientDataSet data;
  data.SetData(packet);
  Packet p;
  for (int i = 0; i < data.FieldCount(); ++i) p.fields.push_back(data.Fields(i)->FieldName());
  for (data.First(); !data.Eof(); data.Next()) {
    Row row;
    for (int i = 0; i < data.FieldCount(); ++i) {
      const TField* f = data.Fields(i);
      if (f->IsNull())
        row[f->FieldName()] = std::nullopt;
      else if (f->DataType() == TFieldType::ftDateTime)
        row[f->FieldName()] = quorl::DateTimeToStr(f->AsDateTime());
      else
        row[f->FieldName()] = f->AsString();
    }
    p.rows.push_back(std::move(row));
  }
  return p;
}

inline std::string BinaryDir() {
  const char* dir = std::getenv("QUORL_BINARY_DIR");
  return dir ? dir : "";
}

inline std::string MakeTempDir(const char* prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) return std::string();
  return pattern;
}

// Reads one line (without its '\n') from fd, giving up when no complete line
// has come within timeoutMs: false then, with whatever part came in line.
// A child that hangs before it writes its line fails the test this way
// instead of blocking it.
inline bool ReadLineWithin(int fd, int timeoutMs, std::string& line) {
  line.clear();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
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

// A server program as a child process, started with argv (argv[0] is the
// program), whose first line on stdout is "listening on PORT"; it is stopped
// (SIGTERM, then waited for) when the object goes. Port() is 0 when it did not
// start or did not say its port within startTimeoutMs.
class ServerProcess {
 public:
  explicit ServerProcess(std::vector<std::string> argv, int startTimeoutMs = 20000) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      std::vector<char*> args;
      for (auto& a : argv) args.push_back(a.data());
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    close(out[1]);
    if (pid_ < 0) {
      close(out[0]);
      return;
    }
    std::string line;
    const bool got = ReadLineWithin(out[0], startTimeoutMs, line);
    close(out[0]);
    const std::string prefix = "listening on ";
    if (got && line.rfind(prefix, 0) == 0) port_ = std::atoi(line.c_str() + prefix.size());
  }
  ~ServerProcess() { Stop(); }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int Port() const { return port_; }
  // Stops it now (SIGTERM; SIGKILL when it has not ended within 10 s, so a
  // hanging server fails the test instead of hanging it) and returns its
  // status as waitpid gives it.
  int Stop() {
    int status = -1;
    if (pid_ <= 0) return status;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 1000; ++i) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return status;
      }
      usleep(10000);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

// huitouke-sim on a free loopback port; extra options (e.g. "--seed-movements")
// follow the fixed ones.
class SimProcess : public ServerProcess {
 public:
  SimProcess(const std::string& db, const std::string& key, const std::string& merchant, bool seed = true,
             std::vector<std::string> extra = {})
      : ServerProcess(Args(db, key, merchant, seed, std::move(extra))) {}

  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(Port()) + "/api/"; }

 private:
  static std::vector<std::string> Args(const std::string& db, const std::string& key, const std::string& merchant,
                                       bool seed, std::vector<std::string> extra) {
    std::vector<std::string> args = {BinaryDir() + "/bin/huitouke-sim", "--port", "0", "--db", db,
                                     "--key", key, "--merchant", merchant};
    if (seed) args.push_back("--seed");
    for (auto& e : extra) args.push_back(std::move(e));
    return args;
  }
};

}  // namespace quorl::htktest
