#include "platform/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>

#include "platform/CodePage.h"
#include "platform/Text.h"

namespace {

// An INI file beside the executable is a few lines; anything larger is not
// one of ours and is not read into memory.
constexpr off_t kMaxIniFileBytes = 1024 * 1024;

// Reads a regular file of at most kMaxIniFileBytes. Opened non-blocking so a
// FIFO or device placed under the name cannot stall the caller.
std::optional<std::string> ReadSmallFile(const std::string& fileName) {
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> result;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxIniFileBytes) {
    std::string data;
    data.reserve(static_cast<size_t>(st.st_size));
    char chunk[16384];
    bool ok = true;
    // The file may grow between fstat and read: the limit holds for what is read.
    while (data.size() <= static_cast<size_t>(kMaxIniFileBytes)) {
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0) {
        if (errno == EINTR) continue;
        ok = false;
        break;
      }
      if (n == 0) break;
      data.append(chunk, static_cast<size_t>(n));
    }
    if (ok && data.size() <= static_cast<size_t>(kMaxIniFileBytes)) result = std::move(data);
  }
  ::close(fd);
  return result;
}

// Windows file names ignore letter case, and so do the users who copy an INI
// file to a till: when the exact name is missing, a file in the same folder
// whose name differs only in ASCII case is read (the first such name in byte
// order, so the choice does not depend on the directory's order).
std::optional<std::string> ReadSmallFileIgnoringCase(const std::string& fileName) {
  if (std::optional<std::string> exact = ReadSmallFile(fileName)) return exact;
  const std::filesystem::path path(fileName);
  const std::string wanted = path.filename().string();
  std::error_code ec;
  std::optional<std::string> match;
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name == wanted || name.size() != wanted.size()) continue;
    if (quorl::SameTextAscii(name, wanted) && (!match || name < *match)) match = name;
  }
  if (!match) return std::nullopt;
  return ReadSmallFile((folder / *match).string());
}

// A file saved as UTF-16 (with its byte-order mark) becomes host text; other
// files are taken as they are, a UTF-8 byte-order mark dropped.
std::string HostText(std::string content) {
  const bool little = content.size() >= 2 && content[0] == '\xFF' && content[1] == '\xFE';
  const bool big = content.size() >= 2 && content[0] == '\xFE' && content[1] == '\xFF';
  if (!little && !big) {
    if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) content.erase(0, 3);
    return content;
  }
  std::u16string units;
  units.reserve(content.size() / 2);
  for (size_t i = 2; i + 1 < content.size(); i += 2) {
    const auto a = static_cast<unsigned char>(content[i]);
    const auto b = static_cast<unsigned char>(content[i + 1]);
    units.push_back(static_cast<char16_t>(little ? (b << 8 | a) : (a << 8 | b)));
  }
  return quorl::Utf16ToGbk(units);
}

}  // namespace

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
  return quorl::IniSnapshot(fileName_).ReadString(section, key, defaultValue);
}

quorl::IniSnapshot::IniSnapshot(const std::string& fileName) {
  if (std::optional<std::string> raw = ReadSmallFileIgnoringCase(fileName))
    content_ = HostText(std::move(*raw));
}

std::string quorl::IniSnapshot::ReadString(std::string_view section, std::string_view key,
                                           std::string_view defaultValue) const {
  if (!content_) return std::string(defaultValue);
  const std::string_view text = *content_;

  const std::string_view wantSection = quorl::TrimView(section);
  const std::string_view wantKey = quorl::TrimView(key);
  bool inSection = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = quorl::TrimView(text.substr(pos, end - pos));
    pos = end + 1;

    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      // An unclosed header is an odd line: skipped, the current section goes on.
      if (close == std::string_view::npos) continue;
      inSection = quorl::SameTextGbk(quorl::TrimView(line.substr(1, close - 1)), wantSection);
      continue;
    }
    if (!inSection) continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    if (!quorl::SameTextGbk(quorl::TrimView(line.substr(0, eq)), wantKey)) continue;
    std::string_view value = quorl::TrimView(line.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    return std::string(value);
  }
  return std::string(defaultValue);
}
