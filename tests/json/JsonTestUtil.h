// Helpers shared by the JSON unit's tests.
#pragma once

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "json/uVxJSON.h"
#include "support/RunProgram.h"

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
  static const TempFolder built("json_locale_");
  static const bool compiled =
      RunProgram({"localedef", "-i", "de_DE", "-f", "UTF-8", built.File("de_DE.UTF-8")}).exitCode == 0;
  if (!compiled) return "";
  setenv("LOCPATH", built.path().c_str(), 1);
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) return "";
  return previous;
}

}  // namespace quorl::test
