#include "host/Database.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "platform/Text.h"

namespace {

quorl::DatabaseOpener& Opener() {
  static quorl::DatabaseOpener opener;
  return opener;
}

}  // namespace

namespace quorl {

std::unique_ptr<DatabaseConnection> OpenDatabase(const std::string& location) {
  const DatabaseOpener& opener = Opener();
  if (opener) return opener(location);
  if (IsPostgresLocation(location)) return OpenPostgresDatabase(location);
  return OpenSqliteDatabase(location);
}

bool IsPostgresLocation(const std::string& location) {
  const std::string_view s(location);
  for (std::string_view scheme : {"postgresql://", "postgres://"})
    if (quorl::StartsWithTextAscii(s, scheme)) return true;
  // A key=value connection string: the key must start a word, so a file
  // named "myhost=1.db" is still a file.
  for (std::string_view key : {"dbname", "host"}) {
    for (size_t at = s.find(key); at != std::string_view::npos; at = s.find(key, at + 1)) {
      if (at > 0 && std::isspace(static_cast<unsigned char>(s[at - 1])) == 0) continue;
      size_t i = at + key.size();
      while (i < s.size() && s[i] == ' ') ++i;
      if (i < s.size() && s[i] == '=') return true;
    }
  }
  return false;
}

void SetDatabaseOpener(DatabaseOpener opener) { Opener() = std::move(opener); }

}  // namespace quorl
