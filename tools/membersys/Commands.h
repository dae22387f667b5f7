// Subcommands of the host program. Each group of subcommands lives in its own
// cmd_<group>.cpp and returns its commands from one function; the table in
// Commands.cpp lists those functions.
#pragma once

#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quorl::membersys {

class PackageLibrary;

// Global options, as given on the command line (UTF-8). dbPath is already
// resolved against the application directory when it was not given.
struct Options {
  std::string dbPath;
  std::string node = "N001";
  std::string group = "G01";
  std::string appDir;  // empty: the program's own folder
};

// What a subcommand works with: the options, the loaded and initialised
// package, and where its normal output goes.
struct Session {
  const Options& options;
  PackageLibrary& package;
  std::ostream& out;
};

// A wrong command line: reported as one line, exit code 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Command {
  std::string_view name;
  std::string_view summary;  // one line in the program's --help
  std::string_view help;     // full text of "membersys NAME --help"
  // Runs with the arguments after the subcommand's name ("--help" is handled
  // before). Returns the exit code; raises UsageError, Exception or
  // std::exception on failure.
  int (*run)(Session& session, const std::vector<std::string>& args);
};

// One function per group of subcommands.
std::vector<Command> DbCommands();      // cmd_db.cpp
std::vector<Command> ConfigCommands();  // cmd_config.cpp
std::vector<Command> HtkCommands();     // cmd_htk.cpp

// All commands of every group, in table order.
const std::vector<Command>& AllCommands();
const Command* FindCommand(std::string_view name);

// Text helpers for subcommands: the package's GBK text as UTF-8 for output.
std::string ToOutput(const std::string& gbk);
// Raises UsageError when args holds anything (for subcommands without arguments).
void ExpectNoArguments(std::string_view command, const std::vector<std::string>& args);

}  // namespace quorl::membersys
