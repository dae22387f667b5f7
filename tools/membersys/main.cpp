// membersys: the host program. Loads the member-system package the way the
// box-office client does, runs one subcommand against it, unloads it.

#include <algorithm>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "host/QuorlContext.h"
#include "host/WarningMessage.h"
#include "platform/Application.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "tools/membersys/Commands.h"
#include "tools/membersys/PackageLibrary.h"

namespace {

using quorl::membersys::AllCommands;
using quorl::membersys::Command;
using quorl::membersys::Options;
using quorl::membersys::UsageError;

constexpr const char* kProgramHelp =
    "usage: membersys [global options] COMMAND [command options]\n"
    "\n"
    "Loads the member-system package, runs one command, unloads the package.\n"
    "\n"
    "Global options:\n"
    "  --db PATH        host database (SQLite file); default membersys.db in the\n"
    "                   application directory\n"
    "  --node CODE      node (site) code of this till; default N001\n"
    "  --group CODE     member group of this till; default G01\n"
    "  --app-dir DIR    where QUORLZELCLIENT.LIC and the print folder are looked\n"
    "                   for; default the program's own folder\n"
    "  --help           this text; 'membersys COMMAND --help' explains a command\n"
    "\n"
    "Commands:\n";

void PrintProgramHelp(std::ostream& out) {
  out << kProgramHelp;
  for (const Command& c : AllCommands()) {
    std::string name(c.name);
    name.resize(std::max<size_t>(name.size() + 2, 14), ' ');
    out << "  " << name << c.summary << '\n';
  }
}

struct CommandLine {
  Options options;
  bool dbGiven = false;
  bool help = false;
  const Command* command = nullptr;
  std::vector<std::string> commandArgs;
};

// Global options come before the command; everything after the command's
// name belongs to the command.
CommandLine Parse(int argc, char** argv) {
  CommandLine cl;
  int i = 1;
  for (; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      cl.help = true;
      continue;
    }
    if (arg.rfind("--", 0) != 0) break;
    std::string name = arg;
    std::optional<std::string> value;
    if (const size_t eq = arg.find('='); eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    std::string* target = nullptr;
    if (name == "--db") {
      target = &cl.options.dbPath;
      cl.dbGiven = true;
    } else if (name == "--node") {
      target = &cl.options.node;
    } else if (name == "--group") {
      target = &cl.options.group;
    } else if (name == "--app-dir") {
      target = &cl.options.appDir;
    } else {
      throw UsageError("unknown option '" + name + "' (see membersys --help)");
    }
    if (!value) {
      if (i + 1 >= argc) throw UsageError("option '" + name + "' needs a value");
      value = argv[++i];
    }
    *target = *value;
  }
  if (i < argc) {
    cl.command = quorl::membersys::FindCommand(argv[i]);
    if (cl.command == nullptr)
      throw UsageError(std::string("unknown command '") + argv[i] + "' (see membersys --help)");
    cl.commandArgs.assign(argv + i + 1, argv + argc);
  }
  return cl;
}

bool AsksForHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") return true;
  return false;
}

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

// Called inside a catch handler: one line on stderr, the exit code.
int ReportCurrentError() {
  try {
    throw;
  } catch (const UsageError& e) {
    std::cerr << "membersys: " << e.what() << std::endl;
    return 2;
  } catch (const Exception& e) {
    // The package's messages are host text (GBK); the terminal wants UTF-8.
    std::cerr << "membersys: " << OneLine(quorl::GbkToUtf8(e.Message())) << std::endl;
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "membersys: " << OneLine(e.what()) << std::endl;
    return 1;
  } catch (...) {
    std::cerr << "membersys: unexpected error" << std::endl;
    return 1;
  }
}

int Run(int argc, char** argv) {
  CommandLine cl = Parse(argc, argv);
  if (cl.command == nullptr) {
    if (cl.help) {
      PrintProgramHelp(std::cout);
      return 0;
    }
    throw UsageError("no command given (see membersys --help)");
  }
  if (cl.help || AsksForHelp(cl.commandArgs)) {
    std::cout << cl.command->help;
    return 0;
  }

  // Host-side set-up comes first: the package's context object loads the
  // session when its unit initialises, and the address lookup reads the INI
  // file from the application directory.
  if (!cl.options.appDir.empty()) quorl::SetApplicationDirectory(cl.options.appDir);
  if (!cl.dbGiven) cl.options.dbPath = quorl::ApplicationDirectory() + "membersys.db";
  quorl::SetHostSession(quorl::MakeContextString(quorl::Utf8ToGbk(cl.options.node),
                                                 quorl::Utf8ToGbk(cl.options.group),
                                                 quorl::Utf8ToGbk(cl.options.dbPath)));
  quorl::SetWarningHandler([](const std::string& message, const std::string& caption) {
    std::cerr << quorl::GbkToUtf8(caption) << ": " << quorl::GbkToUtf8(message) << std::endl;
  });

  quorl::membersys::PackageLibrary package(quorl::membersys::DefaultPackagePath());
  // Errors are reported while the package is still loaded: an exception
  // raised inside it points into its code, which unloading would unmap.
  try {
    package.Initialize();
    quorl::membersys::Session session{cl.options, package, std::cout};
    const int rc = cl.command->run(session, cl.commandArgs);
    package.Finalize();
    std::cout.flush();
    return rc;
  } catch (...) {
    return ReportCurrentError();
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (...) {
    return ReportCurrentError();
  }
}
