// Subcommands about the receipt: starting the print application the package
// prints with, and installing it into the application directory.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "agent/TMemberSysAgentImpl_ZEL.h"
#include "platform/Application.h"
#include "tools/membersys/Commands.h"

namespace quorl::membersys {

namespace fs = std::filesystem;

namespace {

// Where the package starts the print application from.
fs::path InstalledPrintApp() {
  return fs::path(quorl::ApplicationDirectory()) / quorl::kPrintFolderName / quorl::kPrintAppFileName;
}

int RunPrint(Session&) {
  // The package starts the program without checking that it exists; a till
  // operator should hear why no receipt comes.
  const fs::path app = InstalledPrintApp();
  if (access(app.c_str(), X_OK) != 0)
    throw std::runtime_error("no print application at " + app.string() + " (see membersys install-print)");
  const quorl::IntfPtr<IMemberSysAgent_ZEL> agent = MemberSysAgentIntf();
  auto* impl = dynamic_cast<TMemberSysAgentImpl_ZEL*>(agent.get());
  if (impl == nullptr)
    throw std::runtime_error("the package's agent is not the one this program was built with");
  impl->PrintComsumeInfo(std::u16string());
  return 0;
}

// The print application that came with this program: in the build, in the
// print folder beside it; installed, in the programs' private folder.
fs::path BundledPrintApp() {
  const fs::path bin = fs::path(quorl::ExecutablePath()).parent_path();
  const fs::path built = bin / quorl::kPrintFolderName / quorl::kPrintAppFileName;
  std::error_code ec;
  if (fs::is_regular_file(built, ec)) return built;
  return (bin / QUORL_INSTALLED_PRINT_FOLDER / quorl::kPrintAppFileName).lexically_normal();
}

int RunInstallPrint(Session& session, const std::string& from) {
  const fs::path source = from.empty() ? BundledPrintApp() : fs::path(from);
  std::error_code ec;
  if (!fs::is_regular_file(source, ec))
    throw std::runtime_error("no print application at " + source.string() +
                             " (build it, or give --from PATH)");
  const fs::path target = InstalledPrintApp();
  fs::create_directories(target.parent_path());
  if (fs::exists(target, ec) && fs::equivalent(source, target, ec)) {
    session.out << "print application in place: " << target.string() << '\n';
    return 0;
  }
  // Copied beside the target and renamed over it, so a print application
  // still running from the old file keeps its file and a new start never sees
  // half a program.
  const fs::path temp = target.string() + ".new";
  fs::copy_file(source, temp, fs::copy_options::overwrite_existing);
  fs::permissions(temp,
                  fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec,
                  fs::perm_options::replace);
  fs::rename(temp, target);
  session.out << "print application installed: " << target.string() << '\n';
  return 0;
}

}  // namespace

void AddPrintCommands(CommandTable& table) {
  table.Add("print", "start the print application for the last consumption",
            "usage: membersys [global options] print\n"
            "\n"
            "PrintComsumeInfo: starts MemberPrint_vrisk/PrintApp.exe of the application\n"
            "directory, which prints the receipt of the last consumption document\n"
            "(MemberPrint_vrisk/Print.xml, written only by 'post', also with --no-post,\n"
            "and removed again when that posting is refused or fails; the other postings\n"
            "write none). Returns at once; the print application writes\n"
            "its receipts to MemberPrint_vrisk/receipts/ and logs them in\n"
            "MemberPrint_vrisk/PrintApp.log. Without an installed\n"
            "print application this is an error (see install-print).\n",
            RunPrint);

  auto from = std::make_shared<std::string>();
  CLI::App* i = table.Add("install-print", "copy the print application into the application directory",
                          "usage: membersys [global options] install-print [--from PATH]\n"
                          "\n"
                          "Copies the print application to MemberPrint_vrisk/PrintApp.exe in the\n"
                          "application directory (creating the folder), where the package starts it.\n"
                          "\n"
                          "  --from PATH   the program to copy; default MemberPrint_vrisk/PrintApp.exe\n"
                          "                beside this program (the build's bin/ folder), else the\n"
                          "                installed " QUORL_INSTALLED_PRINT_FOLDER
                          "/PrintApp.exe\n"
                          "                from this program's folder\n",
                          [from](Session& s) { return RunInstallPrint(s, *from); });
  i->add_option("--from", *from);
  table.RunsWithoutHostDatabase(i);
}

}  // namespace quorl::membersys
