// The till's own settings, in an INI file of its own (never in the
// package's QUORLZELCLIENT.LIC, which the site's installer owns).
#pragma once

#include <string>

namespace quorl::till {

struct TillSettings {
  std::string appDir;    // where QUORLZELCLIENT.LIC and MemberPrint_vrisk/ are; empty: the program's folder
  std::string database;  // SQLite path or PostgreSQL connection string
  std::string node = "N001";
  std::string group = "G01";
  std::string mode = "N";  // Y host member accounts, N web service, H platform
  std::string operatorCode = "1001";
  std::string orderPrefix = "T1";
  int nextOrder = 1;  // the number of the next order code; advances after each accepted sale
};

// Every value is UTF-8. A missing file gives the defaults above.
TillSettings LoadSettings(const std::string& path);
// Raises std::runtime_error when the file cannot be written.
void SaveSettings(const std::string& path, const TillSettings& settings);
// ~/.config/quorl/quorl-till.ini (the desktop's configuration folder).
std::string DefaultSettingsPath();
// Why the settings cannot be used, as one line; empty when they can.
std::string SettingsProblem(const TillSettings& settings);

}  // namespace quorl::till
