// TIniFile::ReadString over arbitrary file contents: must neither crash nor hang.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/IniFile.h"

namespace {

std::string& FilePath() {
  static std::string path = [] {
    char pattern[] = "/tmp/quorl_inifile_fuzz_XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd >= 0) ::close(fd);
    std::atexit([] { std::remove(FilePath().c_str()); });
    return std::string(pattern);
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = FilePath();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  const TIniFile ini(path);
  ini.ReadString("WSDLCONFIGURE", "ADDRESSTYPE", "G");
  ini.ReadString("", "", "d");
  // Names taken from the input itself reach the matching paths too.
  const std::string text(reinterpret_cast<const char*>(data), size);
  const size_t a = text.find('\n');
  const size_t b = a == std::string::npos ? std::string::npos : text.find('\n', a + 1);
  if (b != std::string::npos) ini.ReadString(text.substr(0, a), text.substr(a + 1, b - a - 1), "d");
  return 0;
}
