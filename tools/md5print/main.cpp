// md5print: prints MD5 digests the way the package prints them (32 lowercase
// hexadecimal digits), of a text's bytes or of files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "huitouke/md5.h"

namespace {

constexpr const char* kUsage =
    "usage: md5print -s TEXT      print the digest of TEXT's bytes, exactly as given\n"
    "       md5print [--] FILE... print \"digest  name\" for each file, as md5sum does\n"
    "       md5print --help\n"
    "The digest is 32 lowercase hexadecimal digits. TEXT is not converted: pass\n"
    "GBK bytes to get the digest the package computes for GBK text, for example\n"
    "  md5print -s \"$(printf '%s' '会员' | iconv -f UTF-8 -t GBK)\"\n"
    "A missing or unreadable FILE, or one that is not a regular file, is reported\n"
    "on stderr and the others are still printed; the exit status is then 1.\n"
    "Exit status 2: wrong arguments.\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "md5print: %s (see md5print --help)\n", message.c_str());
  return 2;
}

// md5sum's convention, so that a name holding a newline or backslash cannot
// forge or break a line: the line starts with a backslash and both are escaped.
bool EscapeName(std::string_view name, std::string& out) {
  out.clear();
  bool escaped = false;
  for (char ch : name) {
    if (ch == '\\') {
      out += "\\\\";
      escaped = true;
    } else if (ch == '\n') {
      out += "\\n";
      escaped = true;
    } else {
      out += ch;
    }
  }
  return escaped;
}

// MD5File reports nothing and gives the digest of empty input for a file it
// cannot read; printing that digest would look like a real result, so the
// tool checks first and names the problem instead.
bool CheckReadable(const char* name, std::string& problem) {
  const int fd = open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    problem = std::strerror(errno);
    return false;
  }
  struct stat st;
  bool ok = true;
  if (fstat(fd, &st) != 0) {
    problem = std::strerror(errno);
    ok = false;
  } else if (S_ISDIR(st.st_mode)) {
    problem = std::strerror(EISDIR);
    ok = false;
  } else if (!S_ISREG(st.st_mode)) {
    problem = "not a regular file";
    ok = false;
  }
  close(fd);
  return ok;
}

int PrintFiles(const std::vector<const char*>& names) {
  int status = 0;
  std::string shown;
  for (const char* name : names) {
    const bool escaped = EscapeName(name, shown);
    std::string problem;
    if (!CheckReadable(name, problem)) {
      std::fflush(stdout);  // keep the order of lines when both go to one place
      std::fprintf(stderr, "md5print: %s: %s\n", shown.c_str(), problem.c_str());
      status = 1;
      continue;
    }
    const std::string digest = MD5Print(MD5File(name));
    std::printf("%s%s  %s\n", escaped ? "\\" : "", digest.c_str(), shown.c_str());
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return UsageError("no TEXT or FILE given");
  const std::string_view first = argv[1];
  if (first == "--help" || first == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (first == "-s") {
    if (argc < 3) return UsageError("-s needs a TEXT");
    if (argc > 3) return UsageError("-s takes exactly one TEXT");
    std::printf("%s\n", MD5Print(MD5String(argv[2])).c_str());
    return 0;
  }
  std::vector<const char*> files;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option " + std::string(arg));
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.empty()) return UsageError("no FILE given");
  const int status = PrintFiles(files);
  if (std::fflush(stdout) != 0) {
    std::fprintf(stderr, "md5print: cannot write the output: %s\n", std::strerror(errno));
    return 1;
  }
  return status;
}
