// Subcommands about the package's configuration: the service addresses (shown
// as the package looks them up, and pointed at running services) and the
// type tables.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/uCoreMemberSys_ZEL.h"
#include "host/Database.h"
#include "platform/Application.h"
#include "platform/IniFile.h"
#include "tools/membersys/Commands.h"

namespace quorl::membersys {

namespace {

// The package reads the address type from this file of the application directory.
constexpr const char* kIniFileName = "QUORLZELCLIENT.LIC";
constexpr const char* kIniSection = "WSDLCONFIGURE";
constexpr const char* kIniKey = "ADDRESSTYPE";

// A value that goes into the INI file or the address table as a code: one
// line, no surrounding blanks (the INI reader would trim them away).
void CheckCode(const std::string& what, const std::string& value) {
  if (value.empty()) throw UsageError(what + " must not be empty");
  for (char c : value)
    if (static_cast<unsigned char>(c) < 0x20) throw UsageError(what + " must be one line of text");
  if (value.front() == ' ' || value.back() == ' ')
    throw UsageError(what + " must not start or end with a blank");
}

bool SameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

std::string TrimBlanks(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

// Sets ADDRESSTYPE in the INI file of the application directory and keeps
// every other line as it was: the file may carry other sections. The new
// file replaces the old one whole (temporary file and rename).
void WriteAddressType(const std::string& type) {
  const std::string path = quorl::ApplicationDirectory() + kIniFileName;
  std::string text;
  if (std::ifstream in(path, std::ios::binary); in) {
    std::stringstream ss;
    ss << in.rdbuf();
    text = ss.str();
  }
  const std::string eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  std::vector<std::string> lines;  // each with its line end, if it had one
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  if (!lines.empty() && lines.back().back() != '\n') lines.back() += eol;

  const std::string entry = std::string(kIniKey) + "=" + type + eol;
  std::optional<size_t> header;
  bool written = false;
  for (size_t i = 0; i < lines.size() && !written; ++i) {
    std::string line = lines[i];
    if (i == 0 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    const std::string trimmed = TrimBlanks(line);
    if (!trimmed.empty() && trimmed.front() == '[') {
      const size_t close = trimmed.find(']');
      if (close == std::string::npos) continue;
      // Leaving the section without having seen the key: add it there.
      if (header) {
        lines.insert(lines.begin() + static_cast<long>(*header) + 1, entry);
        written = true;
        break;
      }
      if (SameAscii(TrimBlanks(trimmed.substr(1, close - 1)), kIniSection)) header = i;
      continue;
    }
    if (!header || trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') continue;
    const size_t eq = trimmed.find('=');
    if (eq != std::string::npos && SameAscii(TrimBlanks(trimmed.substr(0, eq)), kIniKey)) {
      lines[i] = entry;
      written = true;
    }
  }
  if (!written && header) lines.insert(lines.begin() + static_cast<long>(*header) + 1, entry);
  if (!written && !header) lines.push_back("[" + std::string(kIniSection) + "]" + eol + entry);

  const std::string temp = path + ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    for (const std::string& l : lines) out << l;
    out.flush();
    if (!out) throw std::runtime_error("cannot write " + temp);
  }
  std::error_code ec;
  const std::filesystem::file_status old = std::filesystem::status(path, ec);
  if (!ec && std::filesystem::exists(old)) std::filesystem::permissions(temp, old.permissions(), ec);
  std::filesystem::rename(temp, path);
  // The package reads the file with the platform's INI rules; check that
  // they see what was written (a file with odd lines could hide it).
  if (TIniFile(path).ReadString(kIniSection, kIniKey, "") != type)
    throw std::runtime_error(path + ": ADDRESSTYPE was written but does not read back as '" + type + "'");
}

struct AddressRow {
  std::string type, soapUrl;
  std::optional<std::string> wsdlUrl, commercial, key;
};

quorl::DbValue Optional(const std::optional<std::string>& v) {
  return v ? quorl::DbValue(*v) : quorl::DbValue();
}

// Points this till at a service: the address rows the lookup can read for
// this node and address type (the till's group rows and the node's default
// rows) get the new values; a node without a default row gets one. Values
// not given keep what the rows hold.
void WriteAddressRows(const Options& options, const AddressRow& row) {
  std::unique_ptr<quorl::DatabaseConnection> db = quorl::OpenDatabase(ToHost(options.dbPath));
  quorl::Transaction transaction(*db);
  db->Execute(
      "UPDATE QUORL_SOAPSERVER_ADDRESS SET SOAP_ADDR = ?1, WSDL_ADDR = COALESCE(?2, WSDL_ADDR), "
      "COMMERCIAL = COALESCE(?3, COMMERCIAL), PASSWORDKEY = COALESCE(?4, PASSWORDKEY) "
      "WHERE NODECODE = ?5 AND ADDRESSTYPE = ?6 AND (GROUPCODE = ?7 OR ISDEFAULT = 'Y')",
      {row.soapUrl, Optional(row.wsdlUrl), Optional(row.commercial), Optional(row.key), options.node,
       row.type, options.group});
  const quorl::QueryResult defaults = db->Query(
      "SELECT 1 FROM QUORL_SOAPSERVER_ADDRESS WHERE NODECODE = ?1 AND ADDRESSTYPE = ?2 AND ISDEFAULT = 'Y'",
      {options.node, row.type});
  if (defaults.rows.empty()) {
    db->Execute(
        "INSERT INTO QUORL_SOAPSERVER_ADDRESS (NODECODE, ADDRESSTYPE, GROUPCODE, ISDEFAULT, SOAP_ADDR, "
        "WSDL_ADDR, COMMERCIAL, PASSWORDKEY, CONNECTUMNBYDB) VALUES (?1, ?2, '', 'Y', ?3, ?4, ?5, ?6, 'N')",
        {options.node, row.type, row.soapUrl, row.wsdlUrl.value_or(""), row.commercial.value_or(""),
         row.key.value_or("")});
  }
  transaction.Commit();
}

struct AddressesArgs {
  std::vector<std::string> set;  // TYPE SOAPURL
  std::string use, wsdl, commercial, key;
  CLI::Option* useOption = nullptr;
  CLI::Option* wsdlOption = nullptr;
  CLI::Option* commercialOption = nullptr;
  CLI::Option* keyOption = nullptr;
};

// Run while the command line is parsed, so a wrong one is reported as such
// before the host database is looked at.
void CheckAddressesArgs(const AddressesArgs& args) {
  if (args.useOption->count() > 0) CheckCode("--use: the address type", args.use);
  if (!args.set.empty()) CheckCode("--set: the address type", args.set.at(0));
}

int RunAddresses(Session& session, const AddressesArgs& args) {
  const bool use = args.useOption->count() > 0;
  if (!args.set.empty()) {
    AddressRow row;
    row.type = args.set.at(0);
    row.soapUrl = args.set.at(1);
    if (args.wsdlOption->count() > 0) row.wsdlUrl = args.wsdl;
    if (args.commercialOption->count() > 0) row.commercial = args.commercial;
    if (args.keyOption->count() > 0) row.key = args.key;
    WriteAddressRows(session.options, row);
  }
  if (use) WriteAddressType(args.use);
  _GetMemberSysWSURL();
  const std::pair<const char*, const std::string*> lines[] = {
      {"_MemberSysSoapURL_ZEL", &_MemberSysSoapURL_ZEL},
      {"_MemberSysWSDLURL_ZEL", &_MemberSysWSDLURL_ZEL},
      {"_MemberCommercial_ZEL", &_MemberCommercial_ZEL},
      {"_MemberPassWordKey_ZEL", &_MemberPassWordKey_ZEL},
      {"_MemberConnectUmnByDB_ZEL", &_MemberConnectUmnByDB_ZEL},
  };
  for (const auto& [name, value] : lines) session.out << name << '=' << ToOutput(*value) << '\n';
  return 0;
}

int RunTypes(Session& session) {
  session.out << "[customer types]\n";
  for (const auto& row : _GetCustomerTypeInfoArr_ZEL())
    session.out << ToOutput(row.Code) << '\t' << ToOutput(row.Name) << '\n';
  session.out << "[certificate types]\n";
  for (const auto& row : _GetCertificateTypeInfoArr_ZEL())
    session.out << ToOutput(row.Code) << '\t' << ToOutput(row.Name) << '\n';
  return 0;
}

}  // namespace

void AddConfigCommands(CommandTable& table) {
  auto addresses = std::make_shared<AddressesArgs>();
  CLI::App* a = table.Add("addresses", "show the service addresses; point them at running services",
                          "usage: membersys [global options] addresses\n"
                          "       membersys [global options] addresses --use TYPE\n"
                          "       membersys [global options] addresses --set TYPE SOAPURL [--wsdl URL]\n"
                          "                                  [--commercial MERCHANT|STORE] [--key KEY]\n"
                          "\n"
                          "Reads the address type from QUORLZELCLIENT.LIC in the application directory\n"
                          "(section WSDLCONFIGURE, key ADDRESSTYPE, default G), looks the address row of\n"
                          "the node, address type and group up in the host database (falling back to the\n"
                          "node's default row) and prints the five strings as NAME=value lines, as the\n"
                          "package sees them.\n"
                          "\n"
                          "  --use TYPE      first write ADDRESSTYPE=TYPE into QUORLZELCLIENT.LIC (created\n"
                          "                  when missing; its other lines are kept). The package reaches\n"
                          "                  one service per address type: G the web service, H the\n"
                          "                  platform in the demo data\n"
                          "  --set TYPE SOAPURL\n"
                          "                  first write SOAPURL (and the values below, when given) into\n"
                          "                  the address rows of this node and TYPE that the lookup reads:\n"
                          "                  the row of --group, if there is one, and the node's default\n"
                          "                  row (created when missing). Values not given stay as they are\n"
                          "  --wsdl URL      WSDL_ADDR, the web service's description\n"
                          "  --commercial M|S  COMMERCIAL, the platform's merchant and store identifiers\n"
                          "  --key KEY       PASSWORDKEY, the platform key\n",
                          [addresses](Session& s) { return RunAddresses(s, *addresses); });
  CLI::Option* set = a->add_option("--set", addresses->set)->expected(2);
  addresses->useOption = a->add_option("--use", addresses->use);
  addresses->wsdlOption = a->add_option("--wsdl", addresses->wsdl)->needs(set);
  addresses->commercialOption = a->add_option("--commercial", addresses->commercial)->needs(set);
  addresses->keyOption = a->add_option("--key", addresses->key)->needs(set);
  a->callback([addresses] { CheckAddressesArgs(*addresses); });

  table.Add("types", "print the customer types and the node's certificate types",
            "usage: membersys [global options] types\n"
            "\n"
            "Prints the customer type table, then the certificate type table of the node\n"
            "(from QUORL_MEMBER_IDENTTYPE), one 'code<TAB>name' line per row, each table\n"
            "under a header line.\n",
            RunTypes);
}

}  // namespace quorl::membersys
