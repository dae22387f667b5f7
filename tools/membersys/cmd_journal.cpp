// Subcommands over the posting journal: listing what was posted and how it
// ended, and settling the postings whose answer was lost.

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "agent/PostingJournal.h"
#include "tools/membersys/Commands.h"
#include "tools/membersys/TablePrinter.h"

namespace quorl::membersys {

namespace {

const char* const kHeader[] = {"id",     "started",    "finished", "operation", "backend",  "order",
                               "member", "card",       "amount",   "points",    "operator", "state",
                               "error",  "settlement", "settled",  "note"};

std::vector<Cell> RowOf(const JournalEntry& e) {
  return {
      Cell{Json(e.id), std::to_string(e.id)},
      TextCell(ToOutput(e.startedAt)),
      TextCell(ToOutput(e.finishedAt)),
      TextCell(ToOutput(e.operation)),
      TextCell(JournalBackendName(e.backend)),
      TextCell(ToOutput(e.orderCode)),
      TextCell(ToOutput(e.member)),
      TextCell(ToOutput(e.cardNo)),
      TextCell(ToOutput(e.amount)),
      TextCell(ToOutput(e.points)),
      TextCell(ToOutput(e.operatorCode)),
      TextCell(JournalStateName(e.state)),
      TextCell(ToOutput(e.error)),
      TextCell(JournalSettlementName(e.settlement)),
      TextCell(ToOutput(e.settledAt)),
      TextCell(ToOutput(e.settleNote)),
  };
}

Table TableOf(const std::vector<JournalEntry>& entries) {
  Table t;
  t.header.assign(std::begin(kHeader), std::end(kHeader));
  for (const JournalEntry& e : entries) t.rows.push_back(RowOf(e));
  return t;
}

struct JournalArgs {
  std::string since;
  std::string state;
  bool json = false;
};

int RunJournal(Session& session, const JournalArgs& args) {
  std::optional<JournalState> state;
  if (!args.state.empty()) {
    state = ParseJournalState(args.state);
    if (!state)
      throw UsageError("--state: unknown state '" + args.state +
                       "' (sending, accepted, refused, failed-uncertain, failed-not-sent)");
  }
  PostingJournal journal(PostingJournal::DefaultPath());
  PrintTable(session.out, TableOf(journal.List(ToHost(args.since), state)), args.json);
  return 0;
}

int RunReconcile(Session& session, bool json) {
  PostingJournal journal(PostingJournal::DefaultPath());
  const std::vector<ReconcileOutcome> outcomes = ReconcileJournal(journal);
  std::vector<JournalEntry> entries;
  int unsettled = 0;
  for (const ReconcileOutcome& o : outcomes) {
    entries.push_back(o.entry);
    if (!o.settled) ++unsettled;
  }
  if (json) {
    PrintJsonRows(session.out, TableOf(entries));
  } else {
    for (const JournalEntry& e : entries)
      session.out << '#' << e.id << ' ' << ToOutput(e.operation) << " order " << ToOutput(e.orderCode) << ": "
                  << JournalSettlementName(e.settlement) << " (" << ToOutput(e.settleNote) << ")\n";
    session.out << entries.size() << " entr" << (entries.size() == 1 ? "y" : "ies") << " to settle, "
                << entries.size() - unsettled << " settled, " << unsettled << " still uncertain\n";
  }
  // A script can tell that someone still has to look.
  return unsettled == 0 ? 0 : 1;
}

}  // namespace

void AddJournalCommands(CommandTable& table) {
  auto journalArgs = std::make_shared<JournalArgs>();
  CLI::App* journal =
      table.Add("journal", "list the posting journal: every posting attempt and its outcome",
                "usage: membersys [global options] journal [--since TIME] [--state STATE] [--json]\n"
                "\n"
                "The package writes every posting to a back end (post, post-server, post-order,\n"
                "post-htk) to PostingJournal.db in the application directory before the request\n"
                "leaves, and records the outcome: accepted, refused, failed-not-sent (the request\n"
                "never reached the back end: nothing was charged), failed-uncertain (the answer\n"
                "was lost: the member may have been charged; run 'membersys reconcile'), or\n"
                "sending (the till stopped during the posting). Reconciled entries show their\n"
                "settlement: charged, not-charged or uncertain, with the reason.\n"
                "\n"
                "  --since TIME    entries started at or after TIME (yyyy-mm-dd[ hh:nn:ss])\n"
                "  --state STATE   only entries in STATE\n"
                "  --json          one JSON object per entry\n"
                "\n"
                "Journaling is switched off with POSTINGJOURNAL=0 in section WSDLCONFIGURE of\n"
                "QUORLZELCLIENT.LIC.\n",
                [journalArgs](Session& s) { return RunJournal(s, *journalArgs); });
  journal->add_option("--since", journalArgs->since, "entries started at or after this local time");
  journal->add_option("--state", journalArgs->state, "only entries in this state");
  journal->add_flag("--json", journalArgs->json, "JSON output");
  table.RunsWithoutHostDatabase(journal);

  auto reconcileJson = std::make_shared<bool>(false);
  CLI::App* reconcile =
      table.Add("reconcile", "settle the postings whose answer was lost, by asking the back ends",
                "usage: membersys [global options] reconcile [--json]\n"
                "\n"
                "Settles every failed-uncertain journal entry (and every entry left sending for\n"
                "more than five minutes) by asking its back end what it holds, never by posting\n"
                "again: the web service through CheckConsumeMoney, the host database by the\n"
                "consumption stored under the order code, the platform through the card's\n"
                "stored-consumption records of that day. Each entry becomes charged or\n"
                "not-charged; one that cannot be settled (back end unreachable, nothing to ask\n"
                "with) stays uncertain with the reason and is tried again next time.\n"
                "\n"
                "A posting settled not-charged may be posted again; one settled charged must\n"
                "not be. Exit status 0 when every entry is settled, 1 when some stay uncertain.\n"
                "\n"
                "  --json   one JSON object per settled entry\n",
                [reconcileJson](Session& s) { return RunReconcile(s, *reconcileJson); });
  reconcile->add_flag("--json", *reconcileJson, "JSON output");
}

}  // namespace quorl::membersys
