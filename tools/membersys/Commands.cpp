#include "tools/membersys/Commands.h"

#include <CLI/CLI.hpp>

#include "platform/CodePage.h"

namespace quorl::membersys {

namespace {
// One line per group of subcommands; the program's --help lists them in this order.
constexpr void (*kCommandGroups[])(CommandTable&) = {
    AddDbCommands,    AddConfigCommands, AddMemberCommands, AddPostCommands,
    AddPrintCommands, AddHtkCommands,    AddSwipeCommands,  AddJournalCommands,
};
}  // namespace

CLI::App* CommandTable::Add(std::string_view name, std::string_view summary, std::string help,
                            CommandAction action, CLI::App* parent) {
  CLI::App* owner = parent != nullptr ? parent : &program_;
  CLI::App* sub = owner->add_subcommand(std::string(name), std::string(summary));
  entries_[sub] = Entry{std::string(summary), std::move(help), std::move(action)};
  if (parent == nullptr) summaries_.emplace_back(name, summary);
  return sub;
}

void CommandTable::RunsWithoutHostDatabase(const CLI::App* command) {
  entries_.at(command).needsHostDatabase = false;
}

const CommandTable::Entry* CommandTable::Chosen() const {
  const Entry* chosen = nullptr;
  const CLI::App* app = &program_;
  for (;;) {
    const std::vector<CLI::App*> subs = app->get_subcommands();
    if (subs.empty()) return chosen;
    app = subs.front();
    if (auto it = entries_.find(app); it != entries_.end()) chosen = &it->second;
  }
}

void AddAllCommands(CommandTable& table) {
  for (auto group : kCommandGroups) group(table);
}

std::string ToOutput(const std::string& gbk) { return quorl::GbkToUtf8(gbk); }
std::string ToOutput(const std::u16string& utf16) { return quorl::Utf16ToUtf8(utf16); }
std::string ToHost(const std::string& utf8) { return quorl::Utf8ToGbk(utf8); }
std::u16string ToWide(const std::string& utf8) { return quorl::Utf8ToUtf16(utf8); }

void PrintBoolean(Session& session, bool value) { session.out << (value ? "true" : "false") << '\n'; }

}  // namespace quorl::membersys
