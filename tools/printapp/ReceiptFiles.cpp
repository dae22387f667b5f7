#include "tools/printapp/ReceiptFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace quorl::printapp {
namespace {

constexpr std::size_t kMaxStemBytes = 64;
constexpr off_t kMaxLogBytes = 1024 * 1024;
constexpr int kMaxNameTries = 1000;

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// A temporary file in `folder` holding `data`, flushed to disk.
std::string WriteTemporary(const std::string& folder, const std::string& hint, const std::string& data) {
  std::string path = folder + "/." + hint + ".XXXXXX";
  const int fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd < 0) throw SystemError("cannot create a file in " + folder);
  bool ok = WriteAll(fd, data) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
  int error = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(path.c_str());
    errno = error;
    throw SystemError("cannot write " + path);
  }
  return path;
}

enum class Publish { kDone, kTaken };

// Moves `from` to `to` unless `to` exists. renameat2 does that in one step;
// file systems without it get a hard link, which fails the same way on an
// existing name.
Publish PublishNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return Publish::kDone;
  if (errno == EEXIST) return Publish::kTaken;
  if (errno != EINVAL && errno != ENOSYS) throw SystemError("cannot create " + to);
  if (::link(from.c_str(), to.c_str()) != 0) {
    if (errno == EEXIST) return Publish::kTaken;
    throw SystemError("cannot create " + to);
  }
  ::unlink(from.c_str());
  return Publish::kDone;
}

void EnsureFolder(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0755) == 0) return;
  if (errno != EEXIST) throw SystemError("cannot create " + folder);
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) throw SystemError("cannot use " + folder);
  if (!S_ISDIR(st.st_mode)) throw std::runtime_error(folder + " exists and is not a folder");
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string SafeFileStem(const std::string& orderCode) {
  std::string stem;
  for (std::size_t i = 0; i < orderCode.size();) {
    const auto b = static_cast<unsigned char>(orderCode[i]);
    std::size_t n = 1;
    bool keep = (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '-' ||
                b == '_' || b == '.';
    if (b >= 0xC2 && b <= 0xF4) {
      // A whole, valid-looking UTF-8 sequence is kept as one piece.
      n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
      keep = i + n <= orderCode.size();
      for (std::size_t k = 1; keep && k < n; ++k)
        keep = (static_cast<unsigned char>(orderCode[i + k]) & 0xC0) == 0x80;
      if (!keep) n = 1;
    }
    if (stem.size() + (keep ? n : 1) > kMaxStemBytes) break;
    stem += keep ? orderCode.substr(i, n) : std::string("_");
    i += n;
  }
  if (!stem.empty() && (stem.front() == '.' || stem.front() == '-')) stem.front() = '_';
  return stem.empty() ? "receipt" : stem;
}

SavedReceipt SaveReceipt(const std::string& folder, const std::string& stem, const std::string& pdf,
                         const std::string& text) {
  EnsureFolder(folder);
  const std::string pdfTemp = WriteTemporary(folder, stem + ".pdf", pdf);
  std::string textTemp;
  try {
    textTemp = WriteTemporary(folder, stem + ".txt", text);
    for (int n = 1; n <= kMaxNameTries; ++n) {
      const std::string base = folder + "/" + stem + (n == 1 ? "" : "-" + std::to_string(n));
      SavedReceipt saved{base + ".pdf", base + ".txt"};
      if (PublishNoReplace(pdfTemp, saved.pdfPath) == Publish::kTaken) continue;
      Publish textDone;
      try {
        textDone = PublishNoReplace(textTemp, saved.textPath);
      } catch (...) {
        ::rename(saved.pdfPath.c_str(), pdfTemp.c_str());
        throw;
      }
      if (textDone == Publish::kTaken) {
        // Someone else holds this text name: give the PDF name back, try the next.
        ::rename(saved.pdfPath.c_str(), pdfTemp.c_str());
        continue;
      }
      SyncFolder(folder);
      return saved;
    }
    throw std::runtime_error("no free receipt name for " + folder + "/" + stem);
  } catch (...) {
    ::unlink(pdfTemp.c_str());
    if (!textTemp.empty()) ::unlink(textTemp.c_str());
    throw;
  }
}

std::string LocalTimeText(std::time_t when, const char* format) {
  std::tm local{};
  ::localtime_r(&when, &local);
  char text[64];
  const std::size_t n = std::strftime(text, sizeof text, format, &local);
  return std::string(text, n);
}

bool AppendLogLine(const std::string& logPath, const std::string& message) {
  struct stat st {};
  if (::stat(logPath.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > kMaxLogBytes)
    ::rename(logPath.c_str(), (logPath + ".1").c_str());
  std::string line = LocalTimeText(std::time(nullptr), "%Y-%m-%d %H:%M:%S") + " ";
  for (char c : message) line += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
  line += '\n';
  // Non-blocking: a FIFO left under the log's name must not hold up printing
  // (opening it without a reader fails at once instead of waiting for one).
  const int fd =
      ::open(logPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd < 0) return false;
  // One write on an O_APPEND file: lines from two runs never interleave.
  const bool written = WriteAll(fd, line);
  return ::close(fd) == 0 && written;
}

}  // namespace quorl::printapp
