// Shared pieces of the platform client tests: the address strings set for a
// test and restored after it, form bodies split back into fields, packets
// read back into rows, and the simulator started as a child process.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "agent/uCoreMemberSys_ZEL.h"
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

// huitouke-sim on a free loopback port, stopped (SIGTERM, then waited for)
// when the object goes. Port() is 0 when it did not start.
class SimProcess {
 public:
  SimProcess(const std::string& db, const std::string& key, const std::string& merchant, bool seed = true) {
    const std::string program = BinaryDir() + "/bin/huitouke-sim";
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      std::vector<std::string> args = {program, "--port", "0", "--db", db, "--key", key, "--merchant", merchant};
      if (seed) args.push_back("--seed");
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    const std::string prefix = "listening on ";
    if (line.rfind(prefix, 0) == 0) port_ = std::atoi(line.c_str() + prefix.size());
  }
  ~SimProcess() { Stop(); }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  int Port() const { return port_; }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/api/"; }
  // Stops it now (SIGTERM; SIGKILL when it has not ended within 10 s, so a
  // hanging simulator fails the test instead of hanging it) and returns its
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

}  // namespace quorl::htktest
