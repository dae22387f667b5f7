// Shared pieces of the platform client tests: the address strings set for a
// test and restored after it, form bodies split back into fields, packets
// read back into rows, and huitouke-sim started as a server.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/uCoreMemberSys_ZEL.h"
#include "platform/ClientDataSet.h"
#include "platform/Variant.h"
#include "support/ServerProcess.h"

namespace quorl::test {

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
    if (!part.empty())
      fields.emplace_back(decode(part.substr(0, eq)),
                          eq == std::string::npos ? "" : decode(part.substr(eq + 1)));
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

// huitouke-sim on a free loopback port; extra options (e.g. "--seed-movements")
// follow the fixed ones.
class HtkSim : public ServerProcess {
 public:
  HtkSim(const std::string& db, const std::string& key, const std::string& merchant, bool seed = true,
         std::vector<std::string> extra = {})
      : ServerProcess(Args(db, key, merchant, seed, std::move(extra))) {}

  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(Port()) + "/api/"; }

 private:
  static std::vector<std::string> Args(const std::string& db, const std::string& key,
                                       const std::string& merchant, bool seed,
                                       std::vector<std::string> extra) {
    std::vector<std::string> args = {
        BinaryDir() + "/bin/huitouke-sim", "--port", "0", "--db", db, "--key", key, "--merchant", merchant};
    if (seed) args.push_back("--seed");
    for (auto& e : extra) args.push_back(std::move(e));
    return args;
  }
};

}  // namespace quorl::test
