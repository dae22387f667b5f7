// The service-address lookup of the core unit.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/CoreState.h"
#include "core/uCoreMemberSys_ZEL.h"
#include "host/DBPipe.h"
#include "host/QuorlContext.h"
#include "platform/Application.h"
#include "platform/ClientDataSet.h"
#include "platform/CodePage.h"
#include "platform/Text.h"

namespace {

// Both templates end with one blank; the text is kept exactly as the address
// table's other readers know it.
constexpr const char* kGroupAddressQuery =
    "select WSDL_ADDR, SOAP_ADDR,COMMERCIAL,PASSWORDKEY,CONNECTUMNBYDB from QUORL_SOAPSERVER_ADDRESS "
    "where NODECODE = '%s' and ADDRESSTYPE = '%s' and GROUPCODE = '%s' ";
constexpr const char* kDefaultAddressQuery =
    "select WSDL_ADDR, SOAP_ADDR,COMMERCIAL,PASSWORDKEY,CONNECTUMNBYDB from QUORL_SOAPSERVER_ADDRESS "
    "where NODECODE = '%s' and ADDRESSTYPE = '%s' and ISDEFAULT = 'Y' ";

std::atomic<unsigned long> configurationReads{0};

// The configuration file is read whole, once per agent, and then parsed by
// the rules TIniFile::ReadString applies on each of its calls (which re-read
// the file): a regular file of at most 1 MiB, opened non-blocking so a FIFO
// under the name cannot stall the till; when the exact name is missing, the
// first name in byte order that differs only in ASCII case.
constexpr off_t kMaxIniFileBytes = 1024 * 1024;

std::optional<std::string> ReadSmallFile(const std::string& fileName) {
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> result;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxIniFileBytes) {
    std::string data;
    char chunk[16384];
    bool ok = true;
    while (data.size() <= static_cast<size_t>(kMaxIniFileBytes)) {
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = n == 0;
        break;
      }
      data.append(chunk, static_cast<size_t>(n));
    }
    if (ok && data.size() <= static_cast<size_t>(kMaxIniFileBytes)) result = std::move(data);
  }
  ::close(fd);
  return result;
}

std::optional<std::string> ReadSmallFileIgnoringCase(const std::string& fileName) {
  if (std::optional<std::string> exact = ReadSmallFile(fileName)) return exact;
  const std::filesystem::path path(fileName);
  const std::string wanted = path.filename().string();
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  std::error_code ec;
  std::optional<std::string> match;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name == wanted || name.size() != wanted.size()) continue;
    if (quorl::SameTextAscii(name, wanted) && (!match || name < *match)) match = name;
  }
  if (!match) return std::nullopt;
  return ReadSmallFile((folder / *match).string());
}

// UTF-16 with its byte-order mark becomes host text; a UTF-8 mark is dropped.
std::string HostText(std::string content) {
  const bool little = content.size() >= 2 && content[0] == '\xFF' && content[1] == '\xFE';
  const bool big = content.size() >= 2 && content[0] == '\xFE' && content[1] == '\xFF';
  if (!little && !big) {
    if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) content.erase(0, 3);
    return content;
  }
  std::u16string units;
  units.reserve(content.size() / 2);
  for (size_t i = 2; i + 1 < content.size(); i += 2) {
    const auto a = static_cast<unsigned char>(content[i]);
    const auto b = static_cast<unsigned char>(content[i + 1]);
    units.push_back(static_cast<char16_t>(little ? (b << 8 | a) : (a << 8 | b)));
  }
  return quorl::Utf16ToGbk(units);
}

// The keys of one section, first occurrence first: a key given twice (or in
// a second header of the same section) takes its first value.
class IniSection {
 public:
  IniSection(const std::string& text, std::string_view section) {
    const std::string_view all = text;
    const std::string_view want = quorl::TrimView(section);
    bool inSection = false;
    size_t pos = 0;
    while (pos < all.size()) {
      size_t end = all.find_first_of("\r\n", pos);
      if (end == std::string_view::npos) end = all.size();
      const std::string_view line = quorl::TrimView(all.substr(pos, end - pos));
      pos = end + 1;
      if (line.empty() || line.front() == ';' || line.front() == '#') continue;
      if (line.front() == '[') {
        const size_t close = line.find(']');
        if (close != std::string_view::npos)
          inSection = quorl::SameTextGbk(quorl::TrimView(line.substr(1, close - 1)), want);
        continue;
      }
      const size_t eq = line.find('=');
      if (!inSection || eq == std::string_view::npos) continue;
      std::string_view value = quorl::TrimView(line.substr(eq + 1));
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
      entries_.emplace_back(quorl::TrimView(line.substr(0, eq)), value);
    }
  }
  std::string Value(std::string_view key, std::string_view defaultValue) const {
    for (const auto& [name, value] : entries_)
      if (quorl::SameTextGbk(name, key)) return value;
    return std::string(defaultValue);
  }

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
};

// A whole number of at least 1, else 0 (which the stall limit reads as its
// default): a typing error in the file must not switch time-outs off.
long PositiveNumber(const std::string& text) {
  long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value >= 1 ? value : 0;
}

// An empty result still checks that the column exists, so a wrong table
// fails the same way with or without rows.
std::string ColumnText(const TClientDataSet& ds, const char* column) {
  TField* field = ds.FieldByName(column);
  return ds.IsEmpty() ? std::string() : field->AsString();
}

}  // namespace

quorl::WsdlConfiguration quorl::ReadWsdlConfiguration() {
  ++configurationReads;
  const std::optional<std::string> raw =
      ReadSmallFileIgnoringCase(ApplicationDirectory() + kAddressIniFileName);
  const IniSection section(raw ? HostText(*raw) : std::string(), "WSDLCONFIGURE");
  WsdlConfiguration c;
  c.addressType = section.Value("ADDRESSTYPE", c.addressType);
  c.stallLimit = {PositiveNumber(section.Value("HTTPSTALLBYTES", "")),
                  PositiveNumber(section.Value("HTTPSTALLSECONDS", ""))};
  c.ticketManageNamespace = section.Value("TICKETMANAGENAMESPACE", "");
  c.ticketManageURL = section.Value("TICKETMANAGEURL", "");
  c.ticketManageWSDL = section.Value("TICKETMANAGEWSDL", "");
  return c;
}

unsigned long quorl::WsdlConfigurationReads() { return configurationReads; }

quorl::WsdlConfiguration quorl::LoadWsdlConfiguration() {
  WsdlConfiguration c = ReadWsdlConfiguration();
  SetHttpStallLimit(c.stallLimit);
  c.stallLimit = GetHttpStallLimit();
  return c;
}

void _GetMemberSysWSURL() { quorl::LookUpServiceAddresses(quorl::ReadWsdlConfiguration()); }

void quorl::LookUpServiceAddresses(const WsdlConfiguration& configuration) {
  TQuorlContext* context = _QuorlContext();

  // Values are escaped: the templates put them between apostrophes, and an
  // apostrophe inside a node or group code would otherwise end the literal.
  const std::string nodeCode = EscapeSqlText(context->NodeCode());
  const std::string addressType = EscapeSqlText(configuration.addressType);
  const std::string groupCode = EscapeSqlText(As<IGroupCodeProvider>(context)->GetGroupCode());
  const std::string groupQuery = FormatSql(kGroupAddressQuery, {nodeCode, addressType, groupCode});
  const std::string defaultQuery = FormatSql(kDefaultAddressQuery, {nodeCode, addressType});

  // Set with the addresses, so a changed limit applies to the clients of
  // the agent being created (and the platform clients made after it).
  SetHttpStallLimit(configuration.stallLimit);

  TCADBPipe pipe;
  TClientDataSet dataSet;
  dataSet.SetData(pipe.GetData(context->GetAsString(), groupQuery));
  if (dataSet.IsEmpty()) dataSet.SetData(pipe.GetData(context->GetAsString(), defaultQuery));
  dataSet.First();

  // Everything is read before anything is stored, so a failing read leaves
  // all five strings as they were.
  std::string soap = ColumnText(dataSet, "SOAP_ADDR");
  std::string wsdl = ColumnText(dataSet, "WSDL_ADDR");
  std::string commercial = Trim(ColumnText(dataSet, "COMMERCIAL"));
  std::string passwordKey = Trim(ColumnText(dataSet, "PASSWORDKEY"));
  std::string connectByDb = Trim(ColumnText(dataSet, "CONNECTUMNBYDB"));

  _MemberSysSoapURL_ZEL = std::move(soap);
  _MemberSysWSDLURL_ZEL = std::move(wsdl);
  _MemberCommercial_ZEL = std::move(commercial);
  _MemberPassWordKey_ZEL = std::move(passwordKey);
  _MemberConnectUmnByDB_ZEL = std::move(connectByDb);
}
