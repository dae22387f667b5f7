// vxjson: parses JSON text with the package's uVxJSON unit and writes it back
// compact or readable, so an integrator can see exactly what the package
// makes of a platform answer.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "json/uVxJSON.h"

namespace {

const char kUsage[] =
    "usage: vxjson compact [FILE]\n"
    "       vxjson readable [FILE]\n"
    "Parses FILE (standard input without one) as JSON and writes it to standard\n"
    "output: compact (no whitespace) or readable (indented, CR LF line breaks).\n"
    "No newline is added. Exit status: 0 done, 1 unreadable input or not JSON,\n"
    "2 bad command line.\n";

bool ReadAll(std::FILE* f, std::string& out) {
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  return !std::ferror(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc < 2 || argc > 3 ||
      (std::strcmp(argv[1], "compact") != 0 && std::strcmp(argv[1], "readable") != 0)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const bool readable = std::strcmp(argv[1], "readable") == 0;
  const char* name = argc == 3 ? argv[2] : nullptr;

  std::string text;
  if (name == nullptr) {
    if (!ReadAll(stdin, text)) {
      std::fprintf(stderr, "vxjson: cannot read standard input: %s\n", std::strerror(errno));
      return 1;
    }
  } else {
    std::FILE* f = std::fopen(name, "rb");
    if (f == nullptr) {
      std::fprintf(stderr, "vxjson: cannot open %s: %s\n", name, std::strerror(errno));
      return 1;
    }
    const bool ok = ReadAll(f, text);
    const int err = errno;
    std::fclose(f);
    if (!ok) {
      std::fprintf(stderr, "vxjson: cannot read %s: %s\n", name, std::strerror(err));
      return 1;
    }
  }

  std::unique_ptr<TvxJSONbase> tree(TvxJSON::ParseText(text));
  if (!tree) {
    std::fprintf(stderr, "vxjson: %s is not JSON text\n", name ? name : "standard input");
    return 1;
  }
  int32_t level = 0;
  const AnsiString out =
      readable ? GenerateReadableText(tree.get(), level) : TvxJSON::GenerateText(tree.get());
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "vxjson: cannot write standard output: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}
