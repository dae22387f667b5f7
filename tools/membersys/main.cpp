// membersys: the host program. Drives the member-system package the way the
// box-office client does: host-side set-up, the package loader's Initialize,
// one subcommand against the package, Finalize.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>

#include "agent/PackageUnits.h"
#include "host/QuorlContext.h"
#include "host/WarningMessage.h"
#include "platform/Application.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "tools/membersys/Commands.h"

namespace {

using quorl::membersys::CommandTable;
using quorl::membersys::Options;
using quorl::membersys::UsageError;

constexpr const char* kProgramName = "membersys";

constexpr const char* kProgramHelp =
    "usage: membersys [global options] COMMAND [command options]\n"
    "\n"
    "Runs one command against the member-system package: the host database and\n"
    "addresses, member lookups in the three back ends (Y the host's member\n"
    "accounts, N the web service, H the HuiTouKe platform), postings, receipts\n"
    "and reports. The web service and the platform are reached at the address\n"
    "type QUORLZELCLIENT.LIC names (see 'addresses').\n"
    "\n"
    "Global options (before or after the command):\n"
    "  --db PATH        host database: an SQLite file (default membersys.db in the\n"
    "                   application directory), or a PostgreSQL server shared by\n"
    "                   several tills: postgresql://USER@HOST/DB or\n"
    "                   'host=HOST dbname=DB user=USER'\n"
    "  --node CODE      node (site) code of this till; default N001\n"
    "  --group CODE     member group of this till; default G01\n"
    "  --app-dir DIR    where QUORLZELCLIENT.LIC and the print folder are looked\n"
    "                   for; default the program's own folder\n"
    "  --help           this text; 'membersys COMMAND --help' explains a command\n"
    "\n"
    "Output is UTF-8. Errors: one line on stderr, exit 1 (2 for a wrong command\n"
    "line); the package's warnings: one line '警告: MESSAGE' on stderr.\n"
    "\n"
    "Commands:\n";

void PrintProgramHelp(std::ostream& out, const CommandTable& table) {
  out << kProgramHelp;
  for (const auto& [name, summary] : table.Summaries()) {
    std::string padded = name;
    padded.resize(std::max<size_t>(padded.size() + 2, 16), ' ');
    out << "  " << padded << summary << '\n';
  }
}

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

// Called inside a catch handler: one line on stderr, the exit code.
int ReportCurrentError() {
  std::cout.flush();
  try {
    throw;
  } catch (const CLI::ParseError& e) {
    // The parser names the program itself in some of its messages.
    std::string message = e.what();
    if (message.rfind(std::string(kProgramName) + ": ", 0) == 0)
      message.erase(0, std::string(kProgramName).size() + 2);
    std::cerr << kProgramName << ": " << OneLine(message) << " (see membersys --help)" << std::endl;
    return 2;
  } catch (const UsageError& e) {
    std::cerr << kProgramName << ": " << OneLine(e.what()) << std::endl;
    return 2;
  } catch (const Exception& e) {
    // The package's messages are host text (GBK); the terminal wants UTF-8.
    std::cerr << kProgramName << ": " << OneLine(quorl::GbkToUtf8(e.Message())) << std::endl;
    return 1;
  } catch (const std::exception& e) {
    std::cerr << kProgramName << ": " << OneLine(e.what()) << std::endl;
    return 1;
  } catch (...) {
    std::cerr << kProgramName << ": unexpected error" << std::endl;
    return 1;
  }
}

// The first argument that is neither a global option nor its value.
std::string FirstWord(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--db" || arg == "--node" || arg == "--group" || arg == "--app-dir") {
      ++i;
      continue;
    }
    if (arg.rfind("-", 0) == 0) continue;
    return arg;
  }
  return std::string();
}

// Runs Finalize however the command ends, as a host unloading the package does.
class LoadedPackage {
 public:
  LoadedPackage() { Initialize(); }
  ~LoadedPackage() { Finalize(); }
  LoadedPackage(const LoadedPackage&) = delete;
  LoadedPackage& operator=(const LoadedPackage&) = delete;
};

int Run(int argc, char** argv) {
  CLI::App program(kProgramName, kProgramName);
  program.set_help_flag("--help,-h");
  program.require_subcommand(1);
  program.fallthrough();
  Options options;
  CLI::Option* db = program.add_option("--db", options.dbPath);
  program.add_option("--node", options.node);
  program.add_option("--group", options.group);
  program.add_option("--app-dir", options.appDir);
  CommandTable table(program);
  quorl::membersys::AddAllCommands(table);

  try {
    program.parse(argc, argv);
  } catch (const CLI::RequiredError&) {
    // A word that is no command reads to the parser as a missing command.
    if (const std::string word = FirstWord(argc, argv); !word.empty())
      throw UsageError("unknown command '" + word + "' (see membersys --help)");
    throw;
  } catch (const CLI::CallForHelp&) {
    const CommandTable::Entry* chosen = table.Chosen();
    if (chosen != nullptr)
      std::cout << chosen->help;
    else
      PrintProgramHelp(std::cout, table);
    return 0;
  }
  const CommandTable::Entry* command = table.Chosen();
  if (command == nullptr || !command->action) throw UsageError("no command given (see membersys --help)");

  // Host-side set-up comes first: the package's context object loads the
  // session when its unit initialises, and the address lookup reads the INI
  // file from the application directory.
  if (!options.appDir.empty()) quorl::SetApplicationDirectory(options.appDir);
  if (db->count() == 0) options.dbPath = quorl::ApplicationDirectory() + "membersys.db";
  // Before the package opens it: SQLite would create a missing file, and the
  // command would then fail on a missing table with an empty file left behind.
  if (command->needsHostDatabase) {
    if (const std::string problem = quorl::membersys::HostDatabaseProblem(options.dbPath); !problem.empty())
      throw std::runtime_error(problem);
  }
  quorl::SetHostSession(quorl::MakeContextString(
      quorl::Utf8ToGbk(options.node), quorl::Utf8ToGbk(options.group), quorl::Utf8ToGbk(options.dbPath)));
  quorl::SetWarningHandler([](const std::string& message, const std::string& caption) {
    std::cout.flush();
    std::cerr << OneLine(quorl::GbkToUtf8(caption)) << ": " << OneLine(quorl::GbkToUtf8(message))
              << std::endl;
  });

  LoadedPackage package;
  quorl::membersys::Session session{options, std::cout};
  const int rc = command->action(session);
  std::cout.flush();
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (...) {
    return ReportCurrentError();
  }
}
