// Helpers shared by the JSON unit's tests.
#pragma once

#include <clocale>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <unistd.h>

#include "json/uVxJSON.h"

namespace quorl::test {

using Tree = std::unique_ptr<TvxJSONbase>;

inline Tree Parse(std::string_view text) { return Tree(TvxJSON::ParseText(text)); }

template <class T>
T* As(TvxJSONbase* v) {
  return dynamic_cast<T*>(v);
}

inline std::string Compact(const Tree& t) { return TvxJSON::GenerateText(t.get()); }

inline std::string Readable(const TvxJSONbase* v) {
  int32_t level = 0;
  return GenerateReadableText(v, level);
}

// Switches LC_NUMERIC to a locale whose decimal separator is a comma
// (de_DE), compiling one into a temporary folder when none is installed.
// Returns the previous LC_NUMERIC name to restore, or "" when no such locale
// can be had.
inline std::string UseCommaLocale() {
  const char* current = std::setlocale(LC_NUMERIC, nullptr);
  const std::string previous = current ? current : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) return previous;
  // The compiled locale lives until the test program ends, then goes.
  struct BuiltLocale {
    std::string dir;
    explicit BuiltLocale(std::string d) : dir(std::move(d)) {}
    BuiltLocale(const BuiltLocale&) = delete;
    ~BuiltLocale() {
      if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
    }
  };
  static BuiltLocale built([] {
    char dir[] = "/tmp/json_locale_XXXXXX";
    if (mkdtemp(dir) == nullptr) return std::string();
    const std::string cmd = std::string("localedef -i de_DE -f UTF-8 ") + dir + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) {
      std::system((std::string("rm -rf '") + dir + "'").c_str());
      return std::string();
    }
    return std::string(dir);
  }());
  if (built.dir.empty()) return "";
  setenv("LOCPATH", built.dir.c_str(), 1);
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) return "";
  return previous;
}

}  // namespace quorl::test
