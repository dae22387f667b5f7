// Subcommands that call the package's HuiTouKe platform client directly, as
// the box-office host does: the card lookup and the stored consumption
// records of a card.

#include <CLI/CLI.hpp>
#include <memory>
#include <stdexcept>
#include <string>

#include "core/uCoreMemberSys_ZEL.h"
#include "host/DBPipe.h"
#include "host/QuorlClientDataSet.h"
#include "host/QuorlContext.h"
#include "huitouke/uHuiTouKe_ZEL.h"
#include "tools/membersys/Commands.h"
#include "tools/membersys/TablePrinter.h"

namespace quorl::membersys {

namespace {

constexpr const char* kUsersQuery = "select UserCode, CNAME from QUORL_USERS";

// Looks the addresses up as every agent does, so the client's base address,
// merchant and key come from the host database row.
void LoadAddresses() {
  _GetMemberSysWSURL();
  if (_MemberSysSoapURL_ZEL.empty())
    throw std::runtime_error("no platform address configured for this node and address type");
}

struct CardsArgs {
  std::string key, password;
  bool json = false;
};

int RunCards(Session& session, const CardsArgs& args) {
  LoadAddresses();
  THuiTouKe_ZEL client;
  const Variant packet = client.GetCardInfo(ToHost(args.key), ToHost(args.password));
  PrintTable(session.out, ReadTable(packet), args.json);
  return 0;
}

struct RecordsArgs {
  std::string cardNo, type, sdate, edate;
  bool json = false;
};

int RunRecords(Session& session, const RecordsArgs& args) {
  LoadAddresses();
  TQuorlClientDataSet users;
  TCADBPipe pipe;
  users.SetData(pipe.GetData(quorl::HostSession(), kUsersQuery));
  THuiTouKe_ZEL client;
  const Variant packet = client.GetStoredConsumeData(ToHost(args.cardNo), ToHost(args.type),
                                                     ToHost(args.sdate), ToHost(args.edate), &users);
  PrintTable(session.out, ReadTable(packet), args.json);
  return 0;
}

constexpr const char* kHtkHelp =
    "usage: membersys [global options] htk cards KEY PASSWORD [--json]\n"
    "       membersys [global options] htk records CARDNO TYPE SDATE EDATE [--json]\n"
    "\n"
    "Calls the package's HuiTouKe platform client. The platform's base address,\n"
    "merchant|store and key come from the address row of the host database that\n"
    "the address type of QUORLZELCLIENT.LIC selects (e.g. ADDRESSTYPE=H, see\n"
    "'membersys addresses --use H').\n"
    "\n"
    "  cards     GetCardInfo: the member found by KEY (an 11-digit mobile number,\n"
    "            an e-mail address or a card number) with PASSWORD, one row per card\n"
    "  records   GetStoredConsumeData: the card's movements of TYPE between SDATE\n"
    "            and EDATE (passed to the platform as given, e.g. 2024-01-01),\n"
    "            operators named from the host's users table (QUORL_USERS)\n"
    "  --json    print a JSON array of row objects instead of aligned columns\n"
    "\n"
    "The platform client reports no errors: a refused or failed query prints an\n"
    "empty table, and '(no rows)' on stderr.\n";

}  // namespace

void AddHtkCommands(CommandTable& table) {
  CLI::App* htk =
      table.Add("htk", "query the HuiTouKe platform: a member's cards, a card's records", kHtkHelp, {});
  htk->require_subcommand(1);

  auto cards = std::make_shared<CardsArgs>();
  CLI::App* c = table.Add(
      "cards", "", kHtkHelp, [cards](Session& s) { return RunCards(s, *cards); }, htk);
  c->add_option("KEY", cards->key)->required();
  c->add_option("PASSWORD", cards->password)->required();
  c->add_flag("--json", cards->json);

  auto records = std::make_shared<RecordsArgs>();
  CLI::App* r = table.Add(
      "records", "", kHtkHelp, [records](Session& s) { return RunRecords(s, *records); }, htk);
  r->add_option("CARDNO", records->cardNo)->required();
  r->add_option("TYPE", records->type)->required();
  r->add_option("SDATE", records->sdate)->required();
  r->add_option("EDATE", records->edate)->required();
  r->add_flag("--json", records->json);
}

}  // namespace quorl::membersys
