// Subcommands about the host database.

#include <string>
#include <vector>

#include "host/HostDatabase.h"
#include "platform/CodePage.h"
#include "tools/membersys/Commands.h"

namespace quorl::membersys {

namespace {

int RunInitDb(Session& session, const std::vector<std::string>& args) {
  bool seed = false;
  for (const std::string& arg : args) {
    if (arg == "--seed")
      seed = true;
    else
      throw UsageError("init-db: unknown option '" + arg + "'");
  }
  // The host's database layer takes 8-bit host text.
  quorl::CreateHostDatabase(quorl::Utf8ToGbk(session.options.dbPath), seed);
  session.out << "database ready: " << session.options.dbPath << (seed ? " (demo data)" : "") << "\n";
  return 0;
}

}  // namespace

std::vector<Command> DbCommands() {
  return {
      {"init-db", "create the host database tables (--seed adds demo data)",
       "usage: membersys [global options] init-db [--seed]\n"
       "\n"
       "Creates the host database tables in the --db file (created when missing).\n"
       "Running it again changes nothing.\n"
       "\n"
       "  --seed   also add the demo rows (nodes, addresses, certificate types, members)\n",
       RunInitDb},
  };
}

}  // namespace quorl::membersys
