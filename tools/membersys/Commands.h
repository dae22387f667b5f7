// Subcommands of the host program. Each group of subcommands lives in its own
// cmd_<group>.cpp and adds its commands to the command line in one function;
// the table in Commands.cpp lists those functions.
#pragma once

#include <functional>
#include <map>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}
struct TQueryUserInfoConditionRecord_ZEL;

namespace quorl::membersys {

// Global options, as given on the command line (UTF-8). dbPath is already
// resolved against the application directory when it was not given.
struct Options {
  std::string dbPath;
  std::string node = "N001";
  std::string group = "G01";
  std::string appDir;  // empty: the program's own folder
};

// What a subcommand works with: the options and where its normal output
// goes. The package is initialised while a subcommand runs.
struct Session {
  const Options& options;
  std::ostream& out;
};

// A wrong command line: reported as one line, exit code 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Returns the exit code; raises UsageError, Exception or std::exception on
// failure.
using CommandAction = std::function<int(Session&)>;

// The subcommands registered on the program's command line, with their help
// texts and actions. A subcommand's options are bound to state its action
// captures, so parsing fills what the action later reads.
class CommandTable {
 public:
  explicit CommandTable(CLI::App& program) : program_(program) {}

  // Adds a subcommand to parent (the program when null). summary is its line
  // in the program's --help, help the full text of "membersys NAME --help".
  // action may be empty for a subcommand that only holds subcommands.
  CLI::App* Add(std::string_view name, std::string_view summary, std::string help, CommandAction action,
                CLI::App* parent = nullptr);

  // Marks a subcommand added here as one that runs without the host database
  // (it creates the database, or never opens it).
  void RunsWithoutHostDatabase(const CLI::App* command);

  struct Entry {
    std::string summary;
    std::string help;
    CommandAction action;
    // Set for a command that opens the host database: the program refuses to
    // run it on a missing or uninitialised file, which SQLite would create.
    bool needsHostDatabase = true;
  };
  // The program's own subcommands in the order added (for the program's help).
  const std::vector<std::pair<std::string, std::string>>& Summaries() const { return summaries_; }
  // The entry of the deepest subcommand chosen on the parsed command line
  // that has one; null when none was chosen.
  const Entry* Chosen() const;

 private:
  CLI::App& program_;
  std::map<const CLI::App*, Entry> entries_;
  std::vector<std::pair<std::string, std::string>> summaries_;
};

// One function per group of subcommands.
void AddDbCommands(CommandTable& table);       // cmd_db.cpp
void AddConfigCommands(CommandTable& table);   // cmd_config.cpp
void AddHtkCommands(CommandTable& table);      // cmd_htk.cpp
void AddMemberCommands(CommandTable& table);   // cmd_member.cpp
void AddPostCommands(CommandTable& table);     // cmd_post.cpp
void AddPrintCommands(CommandTable& table);    // cmd_print.cpp
void AddSwipeCommands(CommandTable& table);    // cmd_swipe.cpp
void AddJournalCommands(CommandTable& table);  // cmd_journal.cpp

// Adds every group's subcommands, in table order.
void AddAllCommands(CommandTable& table);

// Text helpers for subcommands: the package's GBK text as UTF-8 for output,
// and command-line text (UTF-8) as the package's GBK and UTF-16 text.
std::string ToOutput(const std::string& gbk);
std::string ToOutput(const std::u16string& utf16);
std::string ToHost(const std::string& utf8);
std::u16string ToWide(const std::string& utf8);

// Why the host database at dbPath (UTF-8) cannot serve a command, as one line
// naming the file: missing, empty, an SQLite file without the host tables, or
// no SQLite file. Empty when it looks usable or cannot be judged (unreadable,
// locked, a folder); opening it then reports the error. Creates and changes
// nothing. (HostDatabaseCheck.cpp)
std::string HostDatabaseProblem(const std::string& dbPath);

// GetUserInfo through a new agent in the back end mode names, printed as
// 'lookup' prints it (aligned columns, or JSON). Raises for an unknown mode.
// (cmd_member.cpp)
int PrintMemberLookup(Session& session, const TQueryUserInfoConditionRecord_ZEL& condition,
                      const std::string& mode, bool json);

// Prints "true" or "false" for a Boolean operation's answer.
void PrintBoolean(Session& session, bool value);

}  // namespace quorl::membersys
