// Subcommands that post a purchase paid from a member account to one of the
// three back ends, validate it, and report the payments taken in.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "agent/IMemberSysAgent_ZEL.h"
#include "platform/ClientDataSet.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "platform/Lists.h"
#include "tools/membersys/Commands.h"
#include "tools/membersys/JsonInput.h"
#include "tools/membersys/TablePrinter.h"

namespace quorl::membersys {

namespace {

using Consumption = TMemberInfoRecord_VRISK;
using Ticket = TTicketInfoRecord_VRISK;

const std::pair<const char*, std::string Consumption::*> kConsumptionFields[] = {
    {"MC_Time", &Consumption::MC_Time},
    {"MC_PriceSum", &Consumption::MC_PriceSum},
    {"MC_Cost", &Consumption::MC_Cost},
    {"MC_CostType", &Consumption::MC_CostType},
    {"MC_MemberID", &Consumption::MC_MemberID},
    {"MC_Discount", &Consumption::MC_Discount},
    {"MC_bPost", &Consumption::MC_bPost},
    {"MC_Address", &Consumption::MC_Address},
    {"MC_UserName", &Consumption::MC_UserName},
    {"MC_PhoneNumber", &Consumption::MC_PhoneNumber},
    {"MC_PostMemo", &Consumption::MC_PostMemo},
    {"MC_Creater", &Consumption::MC_Creater},
    {"MC_WareCode", &Consumption::MC_WareCode},
    {"MC_WareName", &Consumption::MC_WareName},
    {"MC_WareTime", &Consumption::MC_WareTime},
    {"MC_PlaceName", &Consumption::MC_PlaceName},
    {"MC_OrderCode", &Consumption::MC_OrderCode},
    {"MC_OrderSource", &Consumption::MC_OrderSource},
    {"MC_SaleClassName", &Consumption::MC_SaleClassName},
    {"MC_InvoiceHead", &Consumption::MC_InvoiceHead},
    {"MC_Isonecard", &Consumption::MC_Isonecard},
    {"MC_Group", &Consumption::MC_Group},
    {"MC_ProduceGroup", &Consumption::MC_ProduceGroup},
};
constexpr const char* kTicketsKey = "Tickets";
const std::pair<const char*, std::string Ticket::*> kTicketFields[] = {
    {"CL_PriceLevel", &Ticket::CL_PriceLevel},
    {"CL_WarePrice", &Ticket::CL_WarePrice},
    {"CL_WareNum", &Ticket::CL_WareNum},
    {"CL_CostSum", &Ticket::CL_CostSum},
};

template <class Record, size_t N>
void FillRecord(Record& record, const Json& object,
                const std::pair<const char*, std::string Record::*> (&fields)[N], const std::string& where) {
  if (!object.is_object()) throw std::runtime_error(where + ": expected an object");
  for (const auto& [key, value] : object.items()) {
    const auto field = std::find_if(std::begin(fields), std::end(fields),
                                    [&key = key](const auto& f) { return key == f.first; });
    if (field == std::end(fields)) throw std::runtime_error(where + ": unknown key '" + key + "'");
    record.*(field->second) = ToHost(TextOf(value, where + ": " + key));
  }
}

// The consumption of a JSON file: the record's fields by name, the ticket
// lines under "Tickets". The record keeps a pointer to the ticket list, which
// owns nothing, so both live here.
struct ConsumptionFile {
  Consumption record;
  TTicketInfoRecordList_VRISK tickets;
  std::vector<std::unique_ptr<Ticket>> ticketRecords;

  explicit ConsumptionFile(const std::string& path) {
    Json doc = ReadJsonFile(path);
    if (!doc.is_object()) throw std::runtime_error(path + ": expected a JSON object");
    if (doc.contains(kTicketsKey)) {
      const Json& lines = doc[kTicketsKey];
      if (!lines.is_array()) throw std::runtime_error(path + ": Tickets: expected an array");
      for (size_t i = 0; i < lines.size(); ++i) {
        auto ticket = std::make_unique<Ticket>();
        FillRecord(*ticket, lines[i], kTicketFields, path + ": Tickets[" + std::to_string(i) + "]");
        tickets.Add(ticket.get());
        ticketRecords.push_back(std::move(ticket));
      }
      doc.erase(kTicketsKey);
    }
    FillRecord(record, doc, kConsumptionFields, path);
    record.Tickets = &tickets;
  }
};

// The member-account service's consumption packet, one row per consumption.
// Every column is always there; a row without a value leaves it null.
struct PacketColumn {
  const char* name;
  TFieldType type;
  int minimumSize;  // text columns
};
const PacketColumn kPacketColumns[] = {
    {"ORDER_CODE", TFieldType::ftString, 40},     {"MEMBER_ID", TFieldType::ftInteger, 0},
    {"MEMBER_CARD_NO", TFieldType::ftString, 32}, {"AMOUNT", TFieldType::ftFloat, 0},
    {"POINTS", TFieldType::ftInteger, 0},
};

Variant ReadConsumptionPacket(const std::string& path) {
  const Json rows = ReadJsonFile(path);
  if (!rows.is_array()) throw std::runtime_error(path + ": expected a JSON array of rows");
  // Texts are kept whole: a column is as wide as its longest value, since a
  // cut order code would post under another order.
  std::vector<std::vector<std::pair<const PacketColumn*, std::string>>> values;
  std::vector<int> sizes;
  for (const PacketColumn& c : kPacketColumns) sizes.push_back(c.minimumSize);
  for (size_t r = 0; r < rows.size(); ++r) {
    const std::string where = path + ": row " + std::to_string(r + 1);
    if (!rows[r].is_object()) throw std::runtime_error(where + ": expected an object");
    values.emplace_back();
    for (const auto& [key, value] : rows[r].items()) {
      const auto column = std::find_if(std::begin(kPacketColumns), std::end(kPacketColumns),
                                       [&key = key](const PacketColumn& c) { return key == c.name; });
      if (column == std::end(kPacketColumns)) throw std::runtime_error(where + ": unknown key '" + key + "'");
      if (value.is_null()) continue;
      std::string text = ToHost(TextOf(value, where + ": " + key));
      const size_t index = static_cast<size_t>(column - std::begin(kPacketColumns));
      sizes[index] = std::max(sizes[index], static_cast<int>(text.size()));
      values.back().emplace_back(&*column, std::move(text));
    }
  }
  TClientDataSet data;
  for (size_t i = 0; i < std::size(kPacketColumns); ++i)
    data.FieldDefs.Add(kPacketColumns[i].name, kPacketColumns[i].type,
                       kPacketColumns[i].type == TFieldType::ftString ? sizes[i] : 0);
  data.CreateDataSet();
  for (size_t r = 0; r < values.size(); ++r) {
    data.Append();
    for (const auto& [column, text] : values[r]) {
      // An empty number is no number (the service reads null as 0 points).
      if (text.empty() && column->type != TFieldType::ftString) continue;
      try {
        data.FieldByName(column->name)->SetAsString(text);
      } catch (const Exception&) {
        throw std::runtime_error(path + ": row " + std::to_string(r + 1) + ": " + column->name + ": '" +
                                 quorl::GbkToUtf8(text) + "' is not a number");
      }
    }
    data.Post();
  }
  return data.Data();
}

// Options every posting takes.
struct PostFlags {
  bool noPost = false;
  bool print = false;
};

void AddPostFlags(CLI::App* command, PostFlags& flags) {
  command->add_flag("--no-post", flags.noPost, "send nothing (see the command's help)");
  command->add_flag("--print", flags.print, "start the print application after acceptance");
}

int BooleanResult(Session& session, bool accepted, const PostFlags& flags) {
  PrintBoolean(session, accepted);
  return accepted || flags.noPost ? 0 : 1;
}

struct PostArgs {
  std::string file;
  PostFlags flags;
};

int RunPost(Session& session, const PostArgs& args) {
  ConsumptionFile consumption(args.file);
  const quorl::IntfPtr<IMemberSysAgent_ZEL> agent = MemberSysAgentIntf();
  const bool accepted = agent->ComsumeInfoPost(&consumption.record, !args.flags.noPost, args.flags.print);
  return BooleanResult(session, accepted, args.flags);
}

struct PostServerArgs {
  std::string file, text;
  PostFlags flags;
};

int RunPostServer(Session& session, const PostServerArgs& args) {
  const Variant packet = ReadConsumptionPacket(args.file);
  const quorl::IntfPtr<IMemberSysAgent_ZEL> agent = MemberSysAgentIntf();
  const bool accepted =
      agent->ComsumeInfoPost_ByServer(packet, ToHost(args.text), !args.flags.noPost, args.flags.print);
  return BooleanResult(session, accepted, args.flags);
}

struct PostOrderArgs {
  std::string order, operatorCode;
  PostFlags flags;
};

int RunPostOrder(Session& session, const PostOrderArgs& args) {
  const quorl::IntfPtr<IMemberSysAgent_ZEL> agent = MemberSysAgentIntf();
  const bool accepted = agent->ComsumeInfoPost_ByServer_OrderHandle(
      ToHost(args.order), ToHost(args.operatorCode), !args.flags.noPost, args.flags.print);
  return BooleanResult(session, accepted, args.flags);
}

struct PostHtkArgs {
  std::vector<std::string> lines;
  PostFlags flags;
};

// Run while the command line is parsed, so a wrong one is reported as such
// before the host database is looked at.
void CheckPostHtkLines(const PostHtkArgs& args) {
  if (args.lines.size() < 2)
    throw UsageError(
        "post-htk: the first two lines are the agent's (sbs_id, store_id): give them, e.g. as 'sbs_id=' "
        "'store_id=', before the method's lines");
}

int RunPostHtk(Session& session, const PostHtkArgs& args) {
  TStringList lines;
  for (const std::string& line : args.lines) lines.Add(ToHost(line));
  const quorl::IntfPtr<IMemberSysAgent_ZEL> agent = MemberSysAgentIntf();
  // The platform client reads no Text.
  const std::string answer =
      agent->ComsumeInfoPost_ByHTK(&lines, std::string(), !args.flags.noPost, args.flags.print);
  if (!answer.empty()) session.out << ToOutput(answer) << '\n';
  return !answer.empty() || args.flags.noPost ? 0 : 1;
}

struct CheckArgs {
  std::string order, member, operatorCode, lastTicket;
};

int RunCheck(Session& session, const CheckArgs& args) {
  const quorl::IntfPtr<IMemberSysAgent_ZEL> agent = MemberSysAgentIntf();
  const bool valid = agent->CheckConsumeMoney(ToWide(args.order), ToWide(args.member),
                                              ToWide(args.operatorCode), ToWide(args.lastTicket));
  PrintBoolean(session, valid);
  return valid ? 0 : 1;
}

struct ReportArgs {
  std::string group, user, begin, end;
  bool json = false;
};

int RunReport(Session& session, const ReportArgs& args) {
  const quorl::IntfPtr<IMemberSysAgent_ZEL> agent = MemberSysAgentIntf();
  const Variant packet = agent->getMemberBalanceReport(ToWide(args.group), ToWide(args.user),
                                                       ToWide(args.begin), ToWide(args.end));
  // The agent has shown its warning already.
  if (packet.IsEmpty()) return 1;
  PrintTable(session.out, ReadTable(packet), args.json);
  return 0;
}

constexpr const char* kPostExit =
    "\n"
    "Exit status 0 when accepted (or with --no-post), 1 otherwise. A refusal by\n"
    "the back end prints false only; a failure (service unreachable, database\n"
    "error) also shows the agent's warning on stderr. Every posting sent is\n"
    "written to the posting journal (membersys journal); after a failure, run\n"
    "membersys reconcile before posting again.\n"
    "\n"
    "  --no-post   send nothing, journal nothing, write nothing; prints true\n"
    "  --print     start MemberPrint_vrisk/PrintApp.exe after acceptance (with\n"
    "              --no-post at once). This posting writes no Print.xml: the\n"
    "              receipt printed is that of the last 'post' still in it, if any\n";
// The web service's posting is the one that writes Print.xml.
constexpr const char* kPostWebExit =
    "\n"
    "Exit status 0 when accepted (or with --no-post), 1 otherwise. A refusal by\n"
    "the web service prints false only; a failure (service unreachable) also shows\n"
    "the agent's warning on stderr. Every posting sent is written to the posting\n"
    "journal (membersys journal); after a failure, run membersys reconcile before\n"
    "posting again.\n"
    "\n"
    "  --no-post   build the consumption document and write Print.xml, send\n"
    "              nothing, journal nothing; prints true\n"
    "  --print     start MemberPrint_vrisk/PrintApp.exe after acceptance (with\n"
    "              --no-post at once); it prints this purchase's receipt\n"
    "\n"
    "Print.xml is written before posting and removed again when the posting is\n"
    "refused or fails, so no receipt is printed for an unpaid sale.\n";

}  // namespace

void AddPostCommands(CommandTable& table) {
  auto post = std::make_shared<PostArgs>();
  CLI::App* p =
      table.Add("post", "post a purchase to the web service (JSON file)",
                std::string("usage: membersys [global options] post FILE [--no-post] [--print]\n"
                            "\n"
                            "ComsumeInfoPost: posts the consumption described by the JSON object in\n"
                            "FILE to the web service (address type of QUORLZELCLIENT.LIC, e.g. G) and\n"
                            "prints true or false. Keys are the consumption's fields (MC_Time,\n"
                            "MC_PriceSum, MC_Cost, MC_CostType, MC_MemberID, MC_Creater, MC_OrderCode,\n"
                            "MC_Group ... MC_ProduceGroup); \"Tickets\" is an array of ticket lines with\n"
                            "CL_PriceLevel, CL_WarePrice, CL_WareNum, CL_CostSum. Values are texts or\n"
                            "numbers (kept as written); an unknown key is an error. The local web\n"
                            "service accepts the same order again without a second charge.\n") +
                    kPostWebExit,
                [post](Session& s) { return RunPost(s, *post); });
  p->add_option("FILE", post->file)->required();
  AddPostFlags(p, post->flags);

  auto server = std::make_shared<PostServerArgs>();
  CLI::App* ps = table.Add(
      "post-server", "post purchases to the host's member accounts (JSON rows)",
      std::string("usage: membersys [global options] post-server FILE OPERATOR [--no-post] [--print]\n"
                  "\n"
                  "ComsumeInfoPost_ByServer: posts the rows of the JSON array in FILE to the\n"
                  "host's member-account service for the operator code OPERATOR, all rows or\n"
                  "none. Each row is an object with ORDER_CODE, MEMBER_CARD_NO or MEMBER_ID,\n"
                  "AMOUNT (yuan, whole cents) and optionally POINTS; the same order posted\n"
                  "again with the same contents is accepted without a second charge, another\n"
                  "consumption under a stored order code is refused. Prints true or false.\n") +
          kPostExit,
      [server](Session& s) { return RunPostServer(s, *server); });
  ps->add_option("FILE", server->file)->required();
  ps->add_option("OPERATOR", server->text)->required();
  AddPostFlags(ps, server->flags);

  auto order = std::make_shared<PostOrderArgs>();
  CLI::App* po = table.Add(
      "post-order", "pay a pending order from the host's member accounts",
      std::string("usage: membersys [global options] post-order ORDER OPERATOR [--no-post] [--print]\n"
                  "\n"
                  "ComsumeInfoPost_ByServer_OrderHandle: the host's member-account service\n"
                  "posts the pending order ORDER (taken elsewhere, e.g. on the web) for the\n"
                  "operator code OPERATOR, once. Prints true or false.\n") +
          kPostExit,
      [order](Session& s) { return RunPostOrder(s, *order); });
  po->add_option("ORDER", order->order)->required();
  po->add_option("OPERATOR", order->operatorCode)->required();
  AddPostFlags(po, order->flags);

  auto htk = std::make_shared<PostHtkArgs>();
  CLI::App* ph = table.Add("post-htk", "post a purchase to the HuiTouKe platform (name=value lines)",
                           "usage: membersys [global options] post-htk [--no-post] [--print] LINE...\n"
                           "\n"
                           "ComsumeInfoPost_ByHTK: posts the platform method's name=value lines to the\n"
                           "platform (address type of QUORLZELCLIENT.LIC, e.g. H). The agent overwrites\n"
                           "the first two lines with the merchant and store of the address row, so give\n"
                           "two placeholders first, e.g.\n"
                           "  post-htk sbs_id= store_id= card_no=8600000001 order_no=A1 money=12.50 \\\n"
                           "           points=0 emp_no=1001\n"
                           "Prints the platform's answer when it accepted; nothing otherwise.\n"
                           "\n"
                           "Exit status 0 with an answer (or with --no-post), 1 otherwise.\n"
                           "\n"
                           "Every posting sent is written to the posting journal (membersys journal);\n"
                           "after a failure, run membersys reconcile before posting again.\n"
                           "\n"
                           "  --no-post   send nothing, journal nothing, write nothing\n"
                           "  --print     start MemberPrint_vrisk/PrintApp.exe after acceptance (with\n"
                           "              --no-post at once). This posting writes no Print.xml: the\n"
                           "              receipt printed is that of the last 'post' still in it\n",
                           [htk](Session& s) { return RunPostHtk(s, *htk); });
  ph->add_option("LINE", htk->lines)->required();
  ph->callback([htk] { CheckPostHtkLines(*htk); });
  AddPostFlags(ph, htk->flags);

  auto check = std::make_shared<CheckArgs>();
  CLI::App* c = table.Add("check", "ask the web service whether an order's payment is valid",
                          "usage: membersys [global options] check ORDER MEMBER OPERATOR LASTTICKET\n"
                          "\n"
                          "CheckConsumeMoney: true when the web service holds the order ORDER as a\n"
                          "consumption of MEMBER (member id or card number), else false (exit 1).\n"
                          "OPERATOR and LASTTICKET (may be \"\") are passed on as given.\n",
                          [check](Session& s) { return RunCheck(s, *check); });
  c->add_option("ORDER", check->order)->required();
  c->add_option("MEMBER", check->member)->required();
  c->add_option("OPERATOR", check->operatorCode)->required();
  c->add_option("LASTTICKET", check->lastTicket)->required();

  auto report = std::make_shared<ReportArgs>();
  CLI::App* r = table.Add("report", "the member payments an operator took in (web service)",
                          "usage: membersys [global options] report GROUP USER BEGIN END [--json]\n"
                          "\n"
                          "getMemberBalanceReport: the member payments operator USER took in for group\n"
                          "GROUP between BEGIN and END (e.g. 2024-05-01, or \"\" for open), one row each:\n"
                          "UserID, UserName, UserCode, MemberName, MemberMobileNO, PayMentName,\n"
                          "PayAmount. A failure shows the agent's warning and exits 1.\n"
                          "\n"
                          "  --json   a JSON array of row objects instead of aligned columns\n",
                          [report](Session& s) { return RunReport(s, *report); });
  r->add_option("GROUP", report->group)->required();
  r->add_option("USER", report->user)->required();
  r->add_option("BEGIN", report->begin)->required();
  r->add_option("END", report->end)->required();
  r->add_flag("--json", report->json);
}

}  // namespace quorl::membersys
