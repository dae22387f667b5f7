// The service-address lookup of the core unit.

#include <atomic>
#include <charconv>
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
#include "platform/IniFile.h"
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
  // One reading of the file, so every value comes from the file as it was at
  // one moment.
  const IniSnapshot ini(ApplicationDirectory() + kAddressIniFileName);
  const auto value = [&ini](const char* key, const std::string& defaultValue) {
    return ini.ReadString("WSDLCONFIGURE", key, defaultValue);
  };
  WsdlConfiguration c;
  c.addressType = value("ADDRESSTYPE", c.addressType);
  c.stallLimit = {PositiveNumber(value("HTTPSTALLBYTES", "")), PositiveNumber(value("HTTPSTALLSECONDS", ""))};
  c.ticketManageNamespace = value("TICKETMANAGENAMESPACE", "");
  c.ticketManageURL = value("TICKETMANAGEURL", "");
  c.ticketManageWSDL = value("TICKETMANAGEWSDL", "");
  // Journaling is on unless the file says 0 (or no, off, false).
  const std::string journal = Trim(value("POSTINGJOURNAL", ""));
  c.postingJournal = !(journal == "0" || SameTextAscii(journal, "no") || SameTextAscii(journal, "off") ||
                       SameTextAscii(journal, "false"));
  c.tls.caFile = Trim(value("TLSCAFILE", ""));
  c.tls.caPath = Trim(value("TLSCAPATH", ""));
  c.tls.clientCert = Trim(value("TLSCLIENTCERT", ""));
  c.tls.clientKey = Trim(value("TLSCLIENTKEY", ""));
  c.tls.passPhraseFile = Trim(value("TLSCLIENTKEYPASSFILE", ""));
  if (std::string v = Trim(value("TLSMINVERSION", "")); !v.empty()) c.tls.minVersion = v;
  return c;
}

unsigned long quorl::WsdlConfigurationReads() { return configurationReads; }

quorl::WsdlConfiguration quorl::LoadWsdlConfiguration() {
  WsdlConfiguration c = ReadWsdlConfiguration();
  SetHttpStallLimit(c.stallLimit);
  SetHttpTlsSettings(c.tls);
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
  SetHttpTlsSettings(configuration.tls);

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
