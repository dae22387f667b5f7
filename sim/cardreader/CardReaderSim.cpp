// A simulated contact-less card reader with the reader library's C entry
// points, for tests and the demo. The card on the reader is described by a
// small text file (doc/card-reader-sim.md) named by QUORL_CARDREADER_CARD;
// each call is appended to the file QUORL_CARDREADER_LOG names, if any.
// The file is read again at every dc_init, so a test can change the card
// between reads. It checks what a real reader checks: the handle, a
// selected card before authentication, the sector key, an authenticated
// sector before a block is read.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

namespace {

constexpr int16_t kOk = 0;
constexpr int16_t kNoCard = 1;      // no card answered the request
constexpr int16_t kAuthFailed = 2;  // key refused or no card selected
constexpr int16_t kReadFailed = 3;  // block not readable
constexpr int16_t kBadHandle = -1;  // not the open reader, or bad argument
constexpr size_t kMaxCardFileBytes = 64 * 1024;

struct Card {
  bool reader = true;
  int32_t handle = 3;
  bool present = false;
  uint32_t serial = 0;
  std::string key;                    // 12 lower-case hex digits, sector 3
  std::map<int, std::string> blocks;  // block number -> 32 upper-case hex digits
};

struct Reader {
  bool open = false;
  Card card;
  bool selected = false;
  int authenticatedSector = -1;
};

Reader& State() {
  static Reader reader;
  return reader;
}

void Log(const std::string& line) {
  const char* path = std::getenv("QUORL_CARDREADER_LOG");
  if (path == nullptr || *path == '\0') return;
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

std::string Trimmed(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool IsHex(const std::string& s, size_t length) {
  if (s.size() != length) return false;
  for (char c : s)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

std::optional<uint64_t> Number(const std::string& s, uint64_t max) {
  if (s.empty() || s.size() > 10) return std::nullopt;
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > max) return std::nullopt;
  return v;
}

// Reads the card file; an error names the line and leaves the reader closed.
std::optional<Card> LoadCard(std::string& error) {
  Card card;
  const char* path = std::getenv("QUORL_CARDREADER_CARD");
  if (path == nullptr || *path == '\0') {
    card.reader = false;  // no card file configured: no reader attached
    return card;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return card;  // reader attached, nothing on it
  std::string text(kMaxCardFileBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  if (text.size() > kMaxCardFileBytes) {
    error = "card file larger than 64 KiB";
    return std::nullopt;
  }
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  bool cardLine = false;
  while (std::getline(lines, line)) {
    ++number;
    line = Trimmed(line);
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    const std::string where = "card file line " + std::to_string(number) + ": ";
    if (eq == std::string::npos) {
      error = where + "expected NAME = VALUE";
      return std::nullopt;
    }
    const std::string name = Lower(Trimmed(line.substr(0, eq)));
    const std::string value = Trimmed(line.substr(eq + 1));
    if (name == "reader") {
      if (value != "present" && value != "absent") {
        error = where + "reader is present or absent";
        return std::nullopt;
      }
      card.reader = value == "present";
    } else if (name == "handle") {
      const auto v = Number(value, 0x7fffffff);
      if (!v || *v == 0) {
        error = where + "handle is a positive 32-bit number";
        return std::nullopt;
      }
      card.handle = static_cast<int32_t>(*v);
    } else if (name == "card") {
      if (value != "present" && value != "none") {
        error = where + "card is present or none";
        return std::nullopt;
      }
      card.present = value == "present";
      cardLine = true;
    } else if (name == "serial") {
      const auto v = Number(value, 0xffffffffu);
      if (!v) {
        error = where + "serial is an unsigned 32-bit decimal number";
        return std::nullopt;
      }
      card.serial = static_cast<uint32_t>(*v);
      if (!cardLine) card.present = true;
    } else if (name == "key") {
      if (!IsHex(value, 12)) {
        error = where + "key is 12 hexadecimal digits";
        return std::nullopt;
      }
      card.key = Lower(value);
    } else if (name.rfind("block", 0) == 0) {
      const auto block = Number(name.substr(5), 63);
      if (!block || !IsHex(value, 32)) {
        error = where + "blockN (N 0..63) holds 32 hexadecimal digits";
        return std::nullopt;
      }
      std::string upper = value;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      card.blocks[static_cast<int>(*block)] = upper;
    } else {
      error = where + "unknown name '" + name + "'";
      return std::nullopt;
    }
  }
  return card;
}

bool IsOpen(int32_t icdev) { return State().open && icdev == State().card.handle; }

std::string Result(const std::string& call, int value) { return call + " -> " + std::to_string(value); }

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t dc_init(int16_t port, int32_t baud) {
  Reader& r = State();
  const std::string call = "dc_init " + std::to_string(port) + " " + std::to_string(baud);
  if (r.open || baud <= 0) {  // one reader, opened once
    Log(Result(call, -1));
    return -1;
  }
  std::string error;
  const std::optional<Card> card = LoadCard(error);
  if (!card) {
    Log(Result(call, -1) + " (" + error + ")");
    return -1;
  }
  if (!card->reader) {
    Log(Result(call, -1));
    return -1;
  }
  r = Reader{};
  r.open = true;
  r.card = *card;
  Log(Result(call, r.card.handle));
  return r.card.handle;
}

__attribute__((visibility("default"))) int16_t dc_card(int32_t icdev, uint8_t mode, uint32_t* snr) {
  Reader& r = State();
  const std::string call = "dc_card " + std::to_string(icdev) + " " + std::to_string(mode);
  int16_t status = kOk;
  if (!IsOpen(icdev) || snr == nullptr || mode > 1)
    status = kBadHandle;
  else if (!r.card.present)
    status = kNoCard;
  r.selected = status == kOk;
  r.authenticatedSector = -1;
  if (status != kOk) {
    Log(Result(call, status));
    return status;
  }
  *snr = r.card.serial;
  Log(Result(call, status) + " snr=" + std::to_string(r.card.serial));
  return status;
}

__attribute__((visibility("default"))) int16_t dc_beep(int32_t icdev, uint16_t duration) {
  const int16_t status = IsOpen(icdev) ? kOk : kBadHandle;
  Log(Result("dc_beep " + std::to_string(icdev) + " " + std::to_string(duration), status));
  return status;
}

__attribute__((visibility("default"))) int16_t dc_authentication_pass_hex(int32_t icdev, uint8_t mode,
                                                                          uint8_t sector, const char* key) {
  Reader& r = State();
  const std::string keyText = key == nullptr ? std::string("(null)") : std::string(key, strnlen(key, 64));
  const std::string call = "dc_authentication_pass_hex " + std::to_string(icdev) + " " +
                           std::to_string(mode) + " " + std::to_string(sector) + " " + keyText;
  int16_t status = kOk;
  if (!IsOpen(icdev) || key == nullptr || mode > 1)
    status = kBadHandle;
  else if (!r.selected || sector != 3 || r.card.key.empty() || !IsHex(keyText, 12) ||
           Lower(keyText) != r.card.key)
    status = kAuthFailed;
  r.authenticatedSector = status == kOk ? sector : -1;
  Log(Result(call, status));
  return status;
}

__attribute__((visibility("default"))) int16_t dc_read_hex(int32_t icdev, uint8_t block, char* data) {
  Reader& r = State();
  const std::string call = "dc_read_hex " + std::to_string(icdev) + " " + std::to_string(block);
  int16_t status = kOk;
  std::map<int, std::string>::const_iterator found;
  if (!IsOpen(icdev) || data == nullptr)
    status = kBadHandle;
  else if (r.authenticatedSector < 0 || block / 4 != r.authenticatedSector ||
           (found = r.card.blocks.find(block)) == r.card.blocks.end())
    status = kReadFailed;
  if (status != kOk) {
    Log(Result(call, status));
    return status;
  }
  std::memcpy(data, found->second.c_str(), 33);
  Log(Result(call, status) + " " + found->second);
  return status;
}

__attribute__((visibility("default"))) int16_t dc_reset(int32_t icdev, uint16_t duration) {
  Reader& r = State();
  const int16_t status = IsOpen(icdev) ? kOk : kBadHandle;
  if (status == kOk) {
    r.selected = false;
    r.authenticatedSector = -1;
  }
  Log(Result("dc_reset " + std::to_string(icdev) + " " + std::to_string(duration), status));
  return status;
}

__attribute__((visibility("default"))) int16_t dc_exit(int32_t icdev) {
  Reader& r = State();
  const int16_t status = IsOpen(icdev) ? kOk : kBadHandle;
  if (status == kOk) r = Reader{};
  Log(Result("dc_exit " + std::to_string(icdev), status));
  return status;
}

}  // extern "C"
