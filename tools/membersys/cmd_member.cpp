// Subcommands that ask the agent about members: the greeting, the member
// lookup in the three back ends and the web service's check-ticket answers.

#include <CLI/CLI.hpp>
#include <functional>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "agent/IMemberSysAgent_ZEL.h"
#include "tools/membersys/Commands.h"
#include "tools/membersys/TablePrinter.h"

namespace quorl::membersys {

namespace {

using Condition = TQueryUserInfoConditionRecord_ZEL;
using Member = TMemberUserInfoRecord_ZEL;

int RunHello(Session& session, const std::string& text) {
  const quorl::IntfPtr<IMemberSysAgent_ZEL> agent = MemberSysAgentIntf();
  session.out << ToOutput(agent->Hello(ToHost(text))) << '\n';
  return 0;
}

// One criterion of the lookup: its option, where its text goes and the flag
// that says it was not given.
struct Criterion {
  const char* option;
  const char* help;
  std::string& (*field)(Condition&);
  bool Condition::*skip;
};

const Criterion kCriteria[] = {
    {"--member-id", "member identifier", [](Condition& c) -> std::string& { return c.MemberID; },
     &Condition::SkipMemberID},
    {"--member-num", "member (card) number", [](Condition& c) -> std::string& { return c.MemberNum; },
     &Condition::SkipMemberNum},
    {"--name", "member name", [](Condition& c) -> std::string& { return c.MemberName; },
     &Condition::SkipMemberName},
    {"--cert-type", "certificate type code (see 'types')",
     [](Condition& c) -> std::string& { return c.CertificateType.Code; }, &Condition::SkipCertificateType},
    {"--cert-num", "certificate number", [](Condition& c) -> std::string& { return c.CertificateNum; },
     &Condition::SkipCertificateNum},
    {"--phone", "phone number", [](Condition& c) -> std::string& { return c.PhoneNum; },
     &Condition::SkipPhoneNum},
    {"--mobile", "mobile number", [](Condition& c) -> std::string& { return c.MobileNum; },
     &Condition::SkipMobileNum},
    {"--password", "password (platform mode)", [](Condition& c) -> std::string& { return c.Password; },
     &Condition::SkipPassword},
};
constexpr size_t kCriterionCount = std::size(kCriteria);

// The member record's fields in declaration order, each under its own name.
struct Column {
  const char* name;
  std::function<Cell(const Member&)> read;
};

Column TextColumn(const char* name, std::string Member::*field) {
  return {name, [field](const Member& m) { return TextCell(ToOutput(m.*field)); }};
}
Column FlagColumn(const char* name, bool Member::*field) {
  return {name, [field](const Member& m) { return BooleanCell(m.*field); }};
}

const std::vector<Column>& MemberColumns() {
  static const std::vector<Column> columns = {
      TextColumn("MemberID", &Member::MemberID),
      TextColumn("Reserved", &Member::Reserved),
      TextColumn("MemberNum", &Member::MemberNum),
      FlagColumn("MemberValid", &Member::MemberValid),
      TextColumn("MemberName", &Member::MemberName),
      TextColumn("MemberType", &Member::MemberType),
      TextColumn("MemberTypeName", &Member::MemberTypeName),
      TextColumn("CardType", &Member::CardType),
      TextColumn("CardTypeName", &Member::CardTypeName),
      {"CertificateType", [](const Member& m) { return TextCell(ToOutput(m.CertificateType.Code)); }},
      {"CertificateTypeName", [](const Member& m) { return TextCell(ToOutput(m.CertificateType.Name)); }},
      TextColumn("CertificateNum", &Member::CertificateNum),
      TextColumn("PhoneNum", &Member::PhoneNum),
      TextColumn("MobileNum", &Member::MobileNum),
      TextColumn("Address", &Member::Address),
      TextColumn("Email", &Member::Email),
      TextColumn("MemberBalance", &Member::MemberBalance),
      TextColumn("IsFeesMember", &Member::IsFeesMember),
      TextColumn("Points", &Member::Points),
      TextColumn("MemberGroupCode", &Member::MemberGroupCode),
      TextColumn("PayPassword", &Member::PayPassword),
      FlagColumn("IsOneCard", &Member::IsOneCard),
      TextColumn("ConsumePoints", &Member::ConsumePoints),
      TextColumn("ConsumeMoney", &Member::ConsumeMoney),
      TextColumn("CardStatus", &Member::CardStatus),
  };
  return columns;
}

struct LookupArgs {
  std::string mode;
  std::string values[kCriterionCount];
  CLI::Option* options[kCriterionCount] = {};
  bool json = false;
};

int RunLookup(Session& session, const LookupArgs& args) {
  Condition condition;
  for (size_t i = 0; i < kCriterionCount; ++i) {
    // Given, even as empty text, it is sent; not given, it is skipped.
    if (args.options[i]->count() > 0)
      kCriteria[i].field(condition) = ToHost(args.values[i]);
    else
      condition.*kCriteria[i].skip = true;
  }
  return PrintMemberLookup(session, condition, args.mode, args.json);
}

}  // namespace

int PrintMemberLookup(Session& session, const Condition& condition, const std::string& mode, bool json) {
  const quorl::IntfPtr<IMemberSysAgent_ZEL> agent = MemberSysAgentIntf();
  const std::unique_ptr<TMemberUserInfoList_ZEL> members(agent->GetUserInfo(condition, ToHost(mode)));
  if (!members)
    throw std::runtime_error("lookup: unknown connection mode '" + mode +
                             "' (Y the host's member accounts, N the web service, H the platform)");
  Table table;
  for (const Column& c : MemberColumns()) table.header.push_back(c.name);
  for (int i = 0; i < members->Count(); ++i) {
    const Member* m = members->GetItems(i);
    std::vector<Cell> row;
    for (const Column& c : MemberColumns()) row.push_back(c.read(*m));
    table.rows.push_back(std::move(row));
  }
  PrintTable(session.out, table, json);
  return 0;
}

namespace {

// The check-ticket document's values under their XML names, in property order.
using DataitemGetter = std::u16string (IXMLDataitemType::*)();
const std::pair<const char*, DataitemGetter> kDataitemValues[] = {
    {"memberID", &IXMLDataitemType::Get_MemberID},
    {"memberNum", &IXMLDataitemType::Get_MemberNum},
    {"memberValid", &IXMLDataitemType::Get_MemberValid},
    {"memberName", &IXMLDataitemType::Get_MemberName},
    {"memberType", &IXMLDataitemType::Get_MemberType},
    {"certificateType", &IXMLDataitemType::Get_CertificateType},
    {"certificateNum", &IXMLDataitemType::Get_CertificateNum},
    {"phoneNum", &IXMLDataitemType::Get_PhoneNum},
    {"mobileNum", &IXMLDataitemType::Get_MobileNum},
    {"sAddress", &IXMLDataitemType::Get_SAddress},
    {"sEmail", &IXMLDataitemType::Get_SEmail},
    {"memberBalance", &IXMLDataitemType::Get_memberBalance},
    {"surplusCount", &IXMLDataitemType::Get_SurplusCount},
    {"iEntryNumber", &IXMLDataitemType::Get_iEntryNumber},
    {"sImageType", &IXMLDataitemType::Get_SImageType},
    {"Base64Image", &IXMLDataitemType::Get_Base64Image},
};
using BookGetter = std::u16string (IXMLBookType::*)();
const std::pair<const char*, BookGetter> kBookValues[] = {
    {"activity_name", &IXMLBookType::Get_Activity_name},
    {"date_start", &IXMLBookType::Get_Date_start},
    {"status", &IXMLBookType::Get_Status},
    {"date_check", &IXMLBookType::Get_Date_check},
};

enum class CheckTicket { kMemberInfo, kSurplus, kSurplusByImage };

struct CheckTicketArgs {
  std::string memberNum;
  bool json = false;
};

int RunCheckTicket(Session& session, CheckTicket which, const CheckTicketArgs& args) {
  const quorl::IntfPtr<IMemberSysAgent_ZEL> agent = MemberSysAgentIntf();
  const std::u16string num = ToWide(args.memberNum);
  const quorl::IntfPtr<IXMLDataType> data = which == CheckTicket::kMemberInfo ? agent->getMemberInfo(num)
                                            : which == CheckTicket::kSurplus  ? agent->GetSurplus(num)
                                                                              : agent->getSurplusByImage(num);
  if (!data) throw std::runtime_error("the web service gave no check-ticket document");
  const quorl::IntfPtr<IXMLDataitemType> item = data->Get_Dataitem();
  // An unknown card is answered with an empty document: nothing to show.
  if (!item->IsInDocument()) {
    session.out << (args.json ? "null\n" : "");
    session.out.flush();
    std::cerr << "(no member)" << std::endl;
    return 0;
  }
  Json doc = Json::object();
  for (const auto& [name, get] : kDataitemValues) doc[name] = ToOutput(((*item).*get)());
  Json books = Json::array();
  for (int i = 0; i < data->ChildElementCount(); ++i) {
    const quorl::IntfPtr<IXMLNode> child = data->ChildElement(i);
    if (child->NodeName() != u"book") continue;
    const quorl::IntfPtr<IXMLBookType> book = quorl::Supports<IXMLBookType>(child);
    if (!book) continue;
    Json b = Json::object();
    for (const auto& [name, get] : kBookValues) b[name] = ToOutput(((*book).*get)());
    books.push_back(std::move(b));
  }
  if (args.json) {
    doc["book"] = std::move(books);
    session.out << doc.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
    return 0;
  }
  for (const auto& [name, value] : doc.items())
    session.out << name << '=' << value.get<std::string>() << '\n';
  for (const Json& b : books) {
    session.out << "[book]\n";
    for (const auto& [name, value] : b.items())
      session.out << name << '=' << value.get<std::string>() << '\n';
  }
  return 0;
}

constexpr const char* kCheckTicketHelpTail =
    "\n"
    "Asks the web service (address type of QUORLZELCLIENT.LIC, e.g. G) and prints\n"
    "the bound check-ticket document: the member's values as NAME=value lines\n"
    "under their XML names (memberID ... Base64Image), then each booking under a\n"
    "'[book]' line (activity_name, date_start, status, date_check). An unknown\n"
    "card prints nothing and '(no member)' on stderr.\n"
    "\n"
    "  --json   one JSON object instead, the bookings as the array \"book\"\n";

}  // namespace

void AddMemberCommands(CommandTable& table) {
  auto helloText = std::make_shared<std::string>();
  CLI::App* h = table.Add("hello", "print the agent's greeting (touches no back end)",
                          "usage: membersys [global options] hello [TEXT]\n"
                          "\n"
                          "Creates an agent and prints the answer of its Hello operation. Needs the\n"
                          "host database: creating an agent reads the service addresses.\n",
                          [helloText](Session& s) { return RunHello(s, *helloText); });
  h->add_option("TEXT", *helloText);

  auto lookup = std::make_shared<LookupArgs>();
  CLI::App* l = table.Add("lookup", "look members up in one back end (Y host, N web service, H platform)",
                          "usage: membersys [global options] lookup MODE [--member-id V] [--member-num V]\n"
                          "           [--name V] [--cert-type CODE] [--cert-num V] [--phone V] [--mobile V]\n"
                          "           [--password V] [--json]\n"
                          "\n"
                          "GetUserInfo: the members matching the criteria, asked of the back end MODE\n"
                          "names: Y the host's member-account service, N the web service, H the\n"
                          "HuiTouKe platform (N and H at the address type of QUORLZELCLIENT.LIC). A\n"
                          "criterion given, even as empty text, is sent; one not given is skipped.\n"
                          "Prints one row per member under the record's field names (the certificate\n"
                          "type as CertificateType and CertificateTypeName); an empty result also says\n"
                          "'(no rows)' on stderr. Another MODE is an error (exit 1).\n"
                          "\n"
                          "  --json   a JSON array of member objects instead of aligned columns\n",
                          [lookup](Session& s) { return RunLookup(s, *lookup); });
  l->add_option("MODE", lookup->mode)->required();
  for (size_t i = 0; i < kCriterionCount; ++i)
    lookup->options[i] = l->add_option(kCriteria[i].option, lookup->values[i], kCriteria[i].help);
  l->add_flag("--json", lookup->json);

  const std::tuple<const char*, const char*, CheckTicket, const char*> checkTickets[] = {
      {"member-info", "the web service's member information for a card", CheckTicket::kMemberInfo,
       "getMemberInfo"},
      {"surplus", "the web service's check-ticket answer for a card", CheckTicket::kSurplus, "GetSurplus"},
      {"surplus-image", "the check-ticket answer with the member's image", CheckTicket::kSurplusByImage,
       "getSurplusByImage"},
  };
  for (const auto& [name, summary, which, operation] : checkTickets) {
    auto args = std::make_shared<CheckTicketArgs>();
    CLI::App* c = table.Add(name, summary,
                            std::string("usage: membersys [global options] ") + name + " NUM [--json]\n\n" +
                                operation + ": the card NUM." + kCheckTicketHelpTail,
                            [args, which = which](Session& s) { return RunCheckTicket(s, which, *args); });
    c->add_option("NUM", args->memberNum)->required();
    c->add_flag("--json", args->json);
  }
}

}  // namespace quorl::membersys
