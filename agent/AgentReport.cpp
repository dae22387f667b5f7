// The balance report: the web service's report answer turned into a dataset
// packet the host shows.

#include <clocale>
#include <cstring>
#include <pugixml.hpp>

#include "agent/AgentInternal.h"
#include "agent/TMemberSysAgentImpl_ZEL.h"
#include "host/WarningMessage.h"
#include "memberdata/GbkXml.h"
#include "memberdata/uCoreMemberSysErrorRes_ZEL.h"
#include "platform/ClientDataSet.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "soap/TMemberSysSoapAgent_ZEL.h"

namespace {

constexpr int kReportTextSize = 32;

struct TextColumn {
  const char* field;
  const char* attribute;
};
constexpr TextColumn kTextColumns[] = {
    {"UserName", "userName"},       {"UserCode", "userCode"},
    {"MemberName", "membername"},   {"MemberMobileNO", "membermobileno"},
    {"PayMentName", "paymentname"},
};

void DefineReportFields(TClientDataSet& report) {
  report.FieldDefs.Add("UserID", TFieldType::ftInteger);
  for (const TextColumn& c : kTextColumns)
    report.FieldDefs.Add(c.field, TFieldType::ftString, kReportTextSize);
  report.FieldDefs.Add("PayAmount", TFieldType::ftFloat);
  report.CreateDataSet();
}

// One "dataitem" as a row. A bad operator id fails the whole report; an
// unreadable amount is 0 and the report goes on.
void AppendReportRow(TClientDataSet& report, const pugi::xml_node& item) {
  report.Append();
  const std::string id = quorl::GbkAttribute(item, "opearatedID");
  int32_t userId = 0;
  if (!quorl::TryStrToInt(id, userId)) throw EConvertError("'" + id + "' is not a valid integer value");
  report.FieldByName("UserID")->SetAsInteger(userId);
  for (const TextColumn& c : kTextColumns)
    report.FieldByName(c.field)->SetAsString(quorl::GbkAttribute(item, c.attribute));
  double amount = 0;
  const std::string text = quorl::GbkAttribute(item, "pamount");
  if (!text.empty() && !quorl::TryStrToFloatHostLocale(text, amount)) amount = 0;
  report.FieldByName("PayAmount")->SetAsFloat(amount);
  report.Post();
}

}  // namespace

namespace quorl {

Variant ReadBalanceReport(const std::string& gbkText) {
  TClientDataSet report;
  DefineReportFields(report);
  pugi::xml_document document;
  const pugi::xml_node root = LoadGbkXml(document, gbkText);
  if (std::strcmp(root.name(), "data") != 0) throw EXMLDocError(_SE_InvalidXMLFormat_ZEL);
  for (pugi::xml_node item = root.first_child(); item; item = item.next_sibling()) {
    if (item.type() != pugi::node_element || std::strcmp(item.name(), "dataitem") != 0)
      throw EXMLDocError(_SE_InvalidXMLFormat_ZEL);
    AppendReportRow(report, item);
  }
  return report.Data();
}

bool TryStrToFloatHostLocale(const std::string& text, double& out) {
  const char* separator = std::localeconv()->decimal_point;
  if (separator == nullptr || *separator == '\0' || std::strcmp(separator, ".") == 0)
    return TryStrToFloat(text, out);
  // With another separator a '.' is no decimal point: the text is no number.
  if (text.find('.') != std::string::npos) return false;
  const size_t at = text.find(separator);
  if (at == std::string::npos) return TryStrToFloat(text, out);
  const std::string normalized = text.substr(0, at) + "." + text.substr(at + std::strlen(separator));
  return TryStrToFloat(normalized, out);
}

}  // namespace quorl

Variant TMemberSysAgentImpl_ZEL::getMemberBalanceReport(const std::u16string& GroupCode,
                                                        const std::u16string& UserCode,
                                                        const std::u16string& BeginTime,
                                                        const std::u16string& EndTime) {
  try {
    const std::u16string answer =
        soapAgent_->Service->getBalancerReport(GroupCode, UserCode, BeginTime, EndTime);
    return quorl::ReadBalanceReport(quorl::WideToAnsi(answer));
  } catch (...) {
    // The operator sees one warning; the parse error texts are not for them.
    ShowWarningMessage(quorl::kReportFailedMessage, quorl::kAgentWarningCaption);
    return Variant();
  }
}
