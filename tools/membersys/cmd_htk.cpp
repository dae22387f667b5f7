// Subcommands that call the HuiTouKe platform client of the loaded package
// directly, as the box-office host does: the card lookup and the stored
// consumption records of a card.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "host/DBPipe.h"
#include "host/QuorlClientDataSet.h"
#include "host/QuorlContext.h"
#include "huitouke/uHuiTouKe_ZEL.h"
#include "platform/ClientDataSet.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "tools/membersys/Commands.h"
#include "tools/membersys/PackageExports.h"

namespace quorl::membersys {

namespace {

constexpr const char* kUsersQuery = "select UserCode, CNAME from QUORL_USERS";

// The client's constructor, destructor and the two queries, resolved by their
// Itanium C++ ABI names (GCC/Clang, C++11 library ABI). A member function
// takes the object as its first argument, after the hidden result slot, which
// is how these function pointer types pass it as well.
struct HtkExports {
  void (*construct)(THuiTouKe_ZEL*);
  void (*destruct)(THuiTouKe_ZEL*);
  Variant (*getCardInfo)(THuiTouKe_ZEL*, const std::string&, const std::string&);
  Variant (*getStoredConsumeData)(THuiTouKe_ZEL*, const std::string&, const std::string&,
                                  const std::string&, const std::string&, TQuorlClientDataSet*);
};

HtkExports BindHtkExports(const PackageLibrary& package) {
  HtkExports e{};
  e.construct = package.Function<decltype(e.construct)>("_ZN13THuiTouKe_ZELC1Ev");
  e.destruct = package.Function<decltype(e.destruct)>("_ZN13THuiTouKe_ZELD1Ev");
  e.getCardInfo = package.Function<decltype(e.getCardInfo)>(
      "_ZN13THuiTouKe_ZEL11GetCardInfoERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEES7_");
  e.getStoredConsumeData = package.Function<decltype(e.getStoredConsumeData)>(
      "_ZN13THuiTouKe_ZEL20GetStoredConsumeDataERKNSt7__cxx1112basic_stringIcSt11char_"
      "traitsIcESaIcEEES7_S7_S7_P19TQuorlClientDataSet");
  return e;
}

// A platform client living in the package's code, created and freed through
// the resolved constructor and destructor.
class PlatformClient {
 public:
  explicit PlatformClient(const HtkExports& exports) : exports_(exports) {
    exports_.construct(object());
  }
  ~PlatformClient() { exports_.destruct(object()); }
  PlatformClient(const PlatformClient&) = delete;
  PlatformClient& operator=(const PlatformClient&) = delete;
  THuiTouKe_ZEL* object() { return std::launder(reinterpret_cast<THuiTouKe_ZEL*>(storage_)); }

 private:
  const HtkExports& exports_;
  alignas(THuiTouKe_ZEL) unsigned char storage_[sizeof(THuiTouKe_ZEL)];
};

// One value of the printed table.
struct Cell {
  enum class Kind { kNull, kText, kNumber, kBoolean };
  Kind kind = Kind::kNull;
  std::string text;  // UTF-8
};

struct Table {
  std::vector<std::string> header;
  std::vector<std::vector<Cell>> rows;
};

Table ReadTable(const Variant& packet) {
  TClientDataSet data;
  data.SetData(packet);
  Table table;
  for (int i = 0; i < data.FieldCount(); ++i) table.header.push_back(ToOutput(data.Fields(i)->FieldName()));
  for (data.First(); !data.Eof(); data.Next()) {
    std::vector<Cell> row;
    for (int i = 0; i < data.FieldCount(); ++i) {
      const TField* f = data.Fields(i);
      Cell cell;
      if (!f->IsNull()) {
        switch (f->DataType()) {
          case TFieldType::ftString:
            cell = {Cell::Kind::kText, ToOutput(f->AsString())};
            break;
          case TFieldType::ftInteger:
            cell = {Cell::Kind::kNumber, std::to_string(f->AsInteger())};
            break;
          case TFieldType::ftFloat:
            if (std::isfinite(f->AsFloat())) cell = {Cell::Kind::kNumber, quorl::FloatToStr(f->AsFloat())};
            break;
          case TFieldType::ftDateTime:
            cell = {Cell::Kind::kText, quorl::DateTimeToStr(f->AsDateTime())};
            break;
          case TFieldType::ftBoolean:
            cell = {Cell::Kind::kBoolean, f->AsBoolean() ? "true" : "false"};
            break;
        }
      }
      row.push_back(std::move(cell));
    }
    table.rows.push_back(std::move(row));
  }
  return table;
}

// Columns a code point takes on a terminal: East Asian wide and full-width
// characters take two, combining marks none.
int CodePointWidth(uint32_t c) {
  if ((c >= 0x0300 && c <= 0x036F) || (c >= 0x200B && c <= 0x200F)) return 0;
  const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
                    (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
                    (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
                    (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                    (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                    (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
  return wide ? 2 : 1;
}

int DisplayWidth(const std::string& utf8) {
  int width = 0;
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const int len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 1;
    if (len == 1 || i + len > utf8.size()) {
      width += b < 0x20 ? 0 : 1;
      ++i;
      continue;
    }
    uint32_t c = b & (0x7F >> len);
    for (int k = 1; k < len; ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    width += CodePointWidth(c);
    i += static_cast<size_t>(len);
  }
  return width;
}

void PrintAligned(std::ostream& out, const Table& table) {
  std::vector<int> widths;
  for (const std::string& h : table.header) widths.push_back(DisplayWidth(h));
  for (const auto& row : table.rows)
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i].text));
  auto printLine = [&](const std::vector<std::string>& cells) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
      line += cells[i];
      if (i + 1 < cells.size()) line.append(static_cast<size_t>(widths[i] - DisplayWidth(cells[i]) + 2), ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << '\n';
  };
  printLine(table.header);
  for (const auto& row : table.rows) {
    std::vector<std::string> cells;
    for (const Cell& c : row) cells.push_back(c.text);
    printLine(cells);
  }
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      static constexpr char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += ch;
    }
  }
  return out + '"';
}

void PrintJson(std::ostream& out, const Table& table) {
  out << '[';
  for (size_t r = 0; r < table.rows.size(); ++r) {
    out << (r == 0 ? "\n  {" : ",\n  {");
    for (size_t i = 0; i < table.header.size(); ++i) {
      const Cell& c = table.rows[r][i];
      out << (i == 0 ? "" : ", ") << JsonString(table.header[i]) << ": ";
      switch (c.kind) {
        case Cell::Kind::kNull: out << "null"; break;
        case Cell::Kind::kText: out << JsonString(c.text); break;
        case Cell::Kind::kNumber:
        case Cell::Kind::kBoolean: out << c.text; break;
      }
    }
    out << '}';
  }
  out << (table.rows.empty() ? "]\n" : "\n]\n");
}

int Print(Session& session, const Variant& packet, bool json) {
  const Table table = ReadTable(packet);
  if (json) {
    PrintJson(session.out, table);
  } else {
    PrintAligned(session.out, table);
    if (table.rows.empty()) std::cerr << "(no rows)" << std::endl;
  }
  return 0;
}

// Looks the addresses up as every agent does, so the client's base address,
// merchant and key come from the host database row.
void LoadAddresses(const PackageLibrary& package) {
  const CoreExports core = BindCoreExports(package);
  core.GetMemberSysWSURL();
  if (core.MemberSysSoapURL->empty())
    throw Exception("no platform address configured for this node and address type");
}

int RunCards(Session& session, const std::vector<std::string>& args, bool json) {
  if (args.size() != 2) throw UsageError("htk cards: expected KEY PASSWORD");
  LoadAddresses(session.package);
  const HtkExports htk = BindHtkExports(session.package);
  PlatformClient client(htk);
  const Variant packet =
      htk.getCardInfo(client.object(), quorl::Utf8ToGbk(args[0]), quorl::Utf8ToGbk(args[1]));
  return Print(session, packet, json);
}

int RunRecords(Session& session, const std::vector<std::string>& args, bool json) {
  if (args.size() != 4) throw UsageError("htk records: expected CARDNO TYPE SDATE EDATE");
  LoadAddresses(session.package);
  TQuorlClientDataSet users;
  TCADBPipe pipe;
  users.SetData(pipe.GetData(quorl::HostSession(), kUsersQuery));
  const HtkExports htk = BindHtkExports(session.package);
  PlatformClient client(htk);
  const Variant packet = htk.getStoredConsumeData(client.object(), quorl::Utf8ToGbk(args[0]),
                                                  quorl::Utf8ToGbk(args[1]), quorl::Utf8ToGbk(args[2]),
                                                  quorl::Utf8ToGbk(args[3]), &users);
  return Print(session, packet, json);
}

int RunHtk(Session& session, const std::vector<std::string>& args) {
  bool json = false;
  std::vector<std::string> positional;
  for (const std::string& a : args) {
    if (a == "--json")
      json = true;
    else if (a.size() > 2 && a.rfind("--", 0) == 0)
      throw UsageError("htk: unknown option '" + a + "'");
    else
      positional.push_back(a);
  }
  if (positional.empty()) throw UsageError("htk: expected 'cards' or 'records'");
  const std::string sub = positional.front();
  positional.erase(positional.begin());
  if (sub == "cards") return RunCards(session, positional, json);
  if (sub == "records") return RunRecords(session, positional, json);
  throw UsageError("htk: unknown subcommand '" + sub + "' (expected 'cards' or 'records')");
}

}  // namespace

std::vector<Command> HtkCommands() {
  return {
      {"htk", "query the HuiTouKe platform: a member's cards, a card's records",
       "usage: membersys [global options] htk cards KEY PASSWORD [--json]\n"
       "       membersys [global options] htk records CARDNO TYPE SDATE EDATE [--json]\n"
       "\n"
       "Calls the package's HuiTouKe platform client. The platform's base address,\n"
       "merchant|store and key come from the address row of the host database that\n"
       "the address type of QUORLZELCLIENT.LIC selects (e.g. ADDRESSTYPE=H).\n"
       "\n"
       "  cards     GetCardInfo: the member found by KEY (an 11-digit mobile number,\n"
       "            an e-mail address or a card number) with PASSWORD, one row per card\n"
       "  records   GetStoredConsumeData: the card's movements of TYPE between SDATE\n"
       "            and EDATE (passed to the platform as given, e.g. 2024-01-01),\n"
       "            operators named from the host's users table (QUORL_USERS)\n"
       "  --json    print a JSON array of row objects instead of aligned columns\n"
       "\n"
       "The platform client reports no errors: a refused or failed query prints an\n"
       "empty table, and '(no rows)' on stderr.\n",
       RunHtk},
  };
}

}  // namespace quorl::membersys
