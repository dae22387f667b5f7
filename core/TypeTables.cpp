// The customer and certificate type tables of the core unit.

#include <memory>
#include <string>

#include "core/CoreState.h"
#include "core/uCoreMemberSys_ZEL.h"
#include "host/DBPipe.h"
#include "host/QuorlContext.h"
#include "platform/ClientDataSet.h"

namespace {

constexpr const char* kCertificateTypeQuery =
    "select IDENTTYPEID, IDENTTYPENAME, CERTIFICATETYPE from QUORL_MEMBER_IDENTTYPE where NODECODE = "
    "'%s' order by IDENTTYPEID";

// GBK: 会员, 用户, 普通购票者.
constexpr const char* kCustomerMember = "\xBB\xE1\xD4\xB1";
constexpr const char* kCustomerUser = "\xD3\xC3\xBB\xA7";
constexpr const char* kCustomerTicketBuyer = "\xC6\xD5\xCD\xA8\xB9\xBA\xC6\xB1\xD5\xDF";

TCustomerTypeInfoArr_ZEL& CustomerTable() {
  static TCustomerTypeInfoArr_ZEL table;
  return table;
}

TCertificateTypeInfoArr_ZEL& CertificateTable() {
  static TCertificateTypeInfoArr_ZEL table;
  return table;
}

// Kept between calls so repeated loads while the table is empty reuse one
// connection; freed at unload.
std::unique_ptr<TCADBPipe>& PipeSlot() {
  static std::unique_ptr<TCADBPipe> pipe;
  return pipe;
}

template <class Table>
std::string DisplayName(const Table& table, const std::string& code) {
  for (const auto& row : table)
    if (row.Code == code) return row.Name;
  return std::string();
}

}  // namespace

TCustomerTypeInfoArr_ZEL& _GetCustomerTypeInfoArr_ZEL() {
  TCustomerTypeInfoArr_ZEL& table = CustomerTable();
  if (table.empty()) {
    table = {{"1", kCustomerMember}, {"2", kCustomerUser}, {"3", kCustomerTicketBuyer}};
  }
  return table;
}

TCertificateTypeInfoArr_ZEL& _GetCertificateTypeInfoArr_ZEL() {
  TCertificateTypeInfoArr_ZEL& table = CertificateTable();
  if (!table.empty()) return table;

  TQuorlContext* context = _QuorlContext();
  context->SetAsString(context->GetAsString());
  // The node code is escaped like the address queries' values: an apostrophe
  // in it would otherwise end the SQL literal.
  const std::string sql =
      quorl::FormatSql(kCertificateTypeQuery, {quorl::EscapeSqlText(context->NodeCode())});

  std::unique_ptr<TCADBPipe>& pipe = PipeSlot();
  if (!pipe) pipe = std::make_unique<TCADBPipe>();

  TClientDataSet dataSet;
  dataSet.SetData(pipe->GetData(context->GetAsString(), sql));

  // Filled aside and swapped in at the end: a failure half-way leaves the
  // table empty, so the next call tries again.
  TCertificateTypeInfoArr_ZEL rows;
  rows.reserve(static_cast<size_t>(dataSet.RecordCount()));
  for (dataSet.First(); !dataSet.Eof(); dataSet.Next()) {
    TCertificateTypeInfoRecord_ZEL row;
    row.Code = dataSet.FieldByName("CERTIFICATETYPE")->AsString();
    row.Name = dataSet.FieldByName("IDENTTYPENAME")->AsString();
    rows.push_back(std::move(row));
  }
  table.swap(rows);
  return table;
}

std::string GetCustomerTypeDisplayName(const std::string& code) {
  return DisplayName(_GetCustomerTypeInfoArr_ZEL(), code);
}

std::string GetCertificateTypeDisplayName(const std::string& code) {
  return DisplayName(_GetCertificateTypeInfoArr_ZEL(), code);
}

namespace quorl {

bool HasTypeTablePipe() { return PipeSlot() != nullptr; }

void ReleaseTypeTables() {
  PipeSlot().reset();
  CustomerTable().clear();
  CertificateTable().clear();
}

}  // namespace quorl
