#include "tools/membersys/Commands.h"

#include "platform/CodePage.h"

namespace quorl::membersys {

namespace {
// One line per group of subcommands.
constexpr std::vector<Command> (*kCommandGroups[])() = {
    DbCommands,
    ConfigCommands,
    HtkCommands,
};
}  // namespace

const std::vector<Command>& AllCommands() {
  static const std::vector<Command> all = [] {
    std::vector<Command> commands;
    for (auto group : kCommandGroups)
      for (const Command& c : group()) commands.push_back(c);
    return commands;
  }();
  return all;
}

const Command* FindCommand(std::string_view name) {
  for (const Command& c : AllCommands())
    if (c.name == name) return &c;
  return nullptr;
}

std::string ToOutput(const std::string& gbk) { return quorl::GbkToUtf8(gbk); }

void ExpectNoArguments(std::string_view command, const std::vector<std::string>& args) {
  if (!args.empty())
    throw UsageError(std::string(command) + ": unexpected argument '" + args.front() + "'");
}

}  // namespace quorl::membersys
