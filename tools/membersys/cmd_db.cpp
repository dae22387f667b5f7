// Subcommands about the host database.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <memory>
#include <string>

#include "agent/TMemberSysAgentImpl_ZEL.h"
#include "host/Database.h"
#include "host/HostDatabase.h"
#include "platform/Application.h"
#include "platform/CodePage.h"
#include "tools/membersys/Commands.h"

namespace quorl::membersys {

namespace {

int RunInitDb(Session& session, bool seed) {
  // Posting writes Print.xml into this folder and fails without it; the
  // package never creates it, the host's installation does.
  std::filesystem::create_directories(quorl::ApplicationDirectory() + quorl::kPrintFolderName);
  const std::string location = ToHost(session.options.dbPath);
  const bool server = quorl::IsPostgresLocation(location);
  if (!server) {
    const std::filesystem::path dbFolder = std::filesystem::path(session.options.dbPath).parent_path();
    if (!dbFolder.empty()) std::filesystem::create_directories(dbFolder);
  }
  quorl::CreateHostDatabase(location, seed);
  // A connection string may hold a password: it is not echoed.
  const std::string shown =
      server ? quorl::GbkToUtf8(quorl::RedactLocation(location)) : session.options.dbPath;
  session.out << "database ready: " << shown << (seed ? " (demo data)" : "") << "\n";
  return 0;
}

}  // namespace

void AddDbCommands(CommandTable& table) {
  auto seed = std::make_shared<bool>(false);
  CLI::App* c =
      table.Add("init-db", "create the host database tables (--seed adds demo data)",
                "usage: membersys [global options] init-db [--seed]\n"
                "\n"
                "Creates the host database tables in the --db file (created, with its folder,\n"
                "when missing) or PostgreSQL database (which must exist), and the print\n"
                "folder MemberPrint_vrisk/ in the application directory.\n"
                "Running it again changes nothing.\n"
                "\n"
                "  --seed   also add the demo rows (nodes, addresses, certificate types, members)\n",
                [seed](Session& s) { return RunInitDb(s, *seed); });
  c->add_flag("--seed", *seed);
  table.RunsWithoutHostDatabase(c);
}

}  // namespace quorl::membersys
