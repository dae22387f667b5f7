// The service-address lookup of the core unit.

#include <charconv>
#include <string>

#include "core/CoreState.h"
#include "core/uCoreMemberSys_ZEL.h"
#include "host/DBPipe.h"
#include "host/QuorlContext.h"
#include "platform/Application.h"
#include "platform/ClientDataSet.h"
#include "platform/CodePage.h"
#include "platform/IniFile.h"

namespace {

// Both templates end with one blank; the text is kept exactly as the address
// table's other readers know it.
constexpr const char* kGroupAddressQuery =
    "select WSDL_ADDR, SOAP_ADDR,COMMERCIAL,PASSWORDKEY,CONNECTUMNBYDB from QUORL_SOAPSERVER_ADDRESS "
    "where NODECODE = '%s' and ADDRESSTYPE = '%s' and GROUPCODE = '%s' ";
constexpr const char* kDefaultAddressQuery =
    "select WSDL_ADDR, SOAP_ADDR,COMMERCIAL,PASSWORDKEY,CONNECTUMNBYDB from QUORL_SOAPSERVER_ADDRESS "
    "where NODECODE = '%s' and ADDRESSTYPE = '%s' and ISDEFAULT = 'Y' ";

// Opened, read and closed once per query, so each query sees the file as it
// is at that moment.
std::string ReadAddressType() {
  const TIniFile ini(quorl::ApplicationDirectory() + quorl::kAddressIniFileName);
  return ini.ReadString("WSDLCONFIGURE", "ADDRESSTYPE", "G");
}

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

quorl::WsdlConfiguration quorl::LoadWsdlConfiguration() {
  const TIniFile ini(ApplicationDirectory() + kAddressIniFileName);
  constexpr const char* kSection = "WSDLCONFIGURE";
  WsdlConfiguration c;
  c.stallLimit = {PositiveNumber(ini.ReadString(kSection, "HTTPSTALLBYTES", "")),
                  PositiveNumber(ini.ReadString(kSection, "HTTPSTALLSECONDS", ""))};
  c.ticketManageNamespace = ini.ReadString(kSection, "TICKETMANAGENAMESPACE", "");
  c.ticketManageURL = ini.ReadString(kSection, "TICKETMANAGEURL", "");
  c.ticketManageWSDL = ini.ReadString(kSection, "TICKETMANAGEWSDL", "");
  SetHttpStallLimit(c.stallLimit);
  c.stallLimit = GetHttpStallLimit();
  return c;
}

void _GetMemberSysWSURL() {
  using quorl::EscapeSqlText;
  TQuorlContext* context = _QuorlContext();

  // Values are escaped: the templates put them between apostrophes, and an
  // apostrophe inside a node or group code would otherwise end the literal.
  const std::string nodeCode = context->NodeCode();
  const std::string groupCode = quorl::As<IGroupCodeProvider>(context)->GetGroupCode();
  const std::string groupQuery =
      quorl::FormatSql(kGroupAddressQuery,
                       {EscapeSqlText(nodeCode), EscapeSqlText(ReadAddressType()), EscapeSqlText(groupCode)});
  const std::string defaultQuery =
      quorl::FormatSql(kDefaultAddressQuery, {EscapeSqlText(nodeCode), EscapeSqlText(ReadAddressType())});

  // Read with the addresses, so a changed limit applies to the clients of
  // the agent being created (and the platform clients made after it).
  quorl::LoadWsdlConfiguration();

  TCADBPipe pipe;
  TClientDataSet dataSet;
  dataSet.SetData(pipe.GetData(context->GetAsString(), groupQuery));
  if (dataSet.IsEmpty()) dataSet.SetData(pipe.GetData(context->GetAsString(), defaultQuery));
  dataSet.First();

  // Everything is read before anything is stored, so a failing read leaves
  // all five strings as they were.
  std::string soap = ColumnText(dataSet, "SOAP_ADDR");
  std::string wsdl = ColumnText(dataSet, "WSDL_ADDR");
  std::string commercial = quorl::Trim(ColumnText(dataSet, "COMMERCIAL"));
  std::string passwordKey = quorl::Trim(ColumnText(dataSet, "PASSWORDKEY"));
  std::string connectByDb = quorl::Trim(ColumnText(dataSet, "CONNECTUMNBYDB"));

  _MemberSysSoapURL_ZEL = std::move(soap);
  _MemberSysWSDLURL_ZEL = std::move(wsdl);
  _MemberCommercial_ZEL = std::move(commercial);
  _MemberPassWordKey_ZEL = std::move(passwordKey);
  _MemberConnectUmnByDB_ZEL = std::move(connectByDb);
}
