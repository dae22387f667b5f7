#include "tools/till/TillHost.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>

#include "agent/IMemberSysAgent_ZEL.h"
#include "agent/PackageUnits.h"
#include "agent/PostingJournal.h"
#include "agent/TMemberSysAgentImpl_ZEL.h"
#include "host/QuorlContext.h"
#include "host/WarningMessage.h"
#include "platform/Application.h"
#include "platform/ClientDataSet.h"
#include "platform/CodePage.h"
#include "platform/Lists.h"

namespace quorl::till {

namespace {

std::string Host(const std::string& utf8) { return quorl::Utf8ToGbk(utf8); }
std::string Out(const std::string& gbk) { return quorl::GbkToUtf8(gbk); }
std::u16string Wide(const std::string& utf8) { return quorl::Utf8ToUtf16(utf8); }

Member FromRecord(const TMemberUserInfoRecord_ZEL& r) {
  Member m;
  m.id = Out(r.MemberID);
  m.cardNo = Out(r.MemberNum);
  m.name = Out(r.MemberName);
  m.className = Out(r.MemberTypeName.empty() ? r.CardTypeName : r.MemberTypeName);
  // The back ends write amounts differently ("351.5", "351.50"): shown alike.
  const auto cents = ParseCents(Out(r.MemberBalance));
  m.balance = cents ? FormatCents(*cents) : Out(r.MemberBalance);
  m.points = Out(r.Points);
  m.cardStatus = Out(r.CardStatus);
  m.mobile = Out(r.MobileNum);
  m.certificateNum = Out(r.CertificateNum);
  return m;
}

TQueryUserInfoConditionRecord_ZEL ConditionOf(const Search& search, const std::string& mode) {
  TQueryUserInfoConditionRecord_ZEL c;
  c.SkipMemberID = c.SkipMemberNum = c.SkipMemberName = c.SkipCertificateType = true;
  c.SkipCertificateNum = c.SkipPhoneNum = c.SkipMobileNum = true;
  const std::string value = Host(search.value);
  // The platform searches one key, whatever it is.
  const SearchBy by = mode == "H" ? SearchBy::kCard : search.by;
  switch (by) {
    case SearchBy::kCard:
      c.MemberNum = value;
      c.SkipMemberNum = false;
      break;
    case SearchBy::kMobile:
      c.MobileNum = value;
      c.SkipMobileNum = false;
      break;
    case SearchBy::kName:
      c.MemberName = value;
      c.SkipMemberName = false;
      break;
    case SearchBy::kCertificate:
      c.CertificateNum = value;
      c.SkipCertificateNum = false;
      break;
  }
  c.Password = Host(search.password);
  c.SkipPassword = search.password.empty();
  return c;
}

Variant ServerPacket(const Sale& sale) {
  TClientDataSet data;
  data.FieldDefs.Add("ORDER_CODE", TFieldType::ftString, 40);
  data.FieldDefs.Add("MEMBER_CARD_NO", TFieldType::ftString, 32);
  data.FieldDefs.Add("AMOUNT", TFieldType::ftFloat);
  data.CreateDataSet();
  data.Append();
  data.FieldByName("ORDER_CODE")->SetAsString(Host(sale.orderCode));
  data.FieldByName("MEMBER_CARD_NO")->SetAsString(Host(sale.member.cardNo));
  // Whole cents as a double are exact enough for the service's rounding.
  data.FieldByName("AMOUNT")->SetAsFloat(static_cast<double>(SaleTotal(sale.lines)) / 100.0);
  data.Post();
  return data.Data();
}

std::string CsvField(std::string text) {
  // Member names and texts come from the back ends; none may become a formula.
  if (!text.empty()) {
    const char c = text[0];
    const bool number = c == '-' && text.size() > 1 && text[1] >= '0' && text[1] <= '9';
    if (c == '=' || c == '+' || c == '@' || c == '\t' || c == '\r' || (c == '-' && !number))
      text.insert(0, "'");
  }
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

TillHost::TillHost(WarningDisplay display) : display_(std::move(display)) {
  quorl::SetWarningHandler([this](const std::string& message, const std::string& caption) {
    ++warningsShown_;
    lastWarning_ = Out(message);
    if (display_) display_(Out(caption), lastWarning_);
  });
}

TillHost::~TillHost() {
  Finalize();
  quorl::SetWarningHandler(nullptr);
}

void TillHost::Apply(const TillSettings& settings) {
  // The context object reads the session when the package loads: unload
  // first so the new node, group and database take effect.
  Finalize();
  settings_ = settings;
  quorl::SetApplicationDirectory(settings.appDir);
  quorl::SetHostSession(
      quorl::MakeContextString(Host(settings.node), Host(settings.group), Host(settings.database)));
  Initialize();
}

std::vector<Member> TillHost::Lookup(const Search& search) {
  const quorl::IntfPtr<IMemberSysAgent_ZEL> agent = MemberSysAgentIntf();
  const std::unique_ptr<TMemberUserInfoList_ZEL> list(
      agent->GetUserInfo(ConditionOf(search, settings_.mode), Host(settings_.mode)));
  std::vector<Member> members;
  if (!list) return members;
  for (int i = 0; i < list->Count(); ++i) members.push_back(FromRecord(*list->GetItems(i)));
  return members;
}

PostResult TillHost::Post(const Sale& sale) {
  const int warningsBefore = warningsShown_;
  // The ticket list owns nothing: its records live here for the calls.
  const std::string amount = FormatCents(SaleTotal(sale.lines));
  std::vector<TTicketInfoRecord_VRISK> tickets;
  tickets.reserve(sale.lines.size());
  for (const SaleLine& l : sale.lines)
    tickets.push_back(
        {Host(l.priceLevel), FormatCents(l.unitPrice), std::to_string(l.quantity), FormatCents(l.Total())});
  TTicketInfoRecordList_VRISK list;
  for (TTicketInfoRecord_VRISK& t : tickets) list.Add(&t);
  TMemberInfoRecord_VRISK r;
  r.MC_Time = NowText();
  r.MC_PriceSum = amount;
  r.MC_Cost = amount;
  r.MC_CostType = Host("会员卡");
  r.MC_MemberID = Host(sale.member.id);
  r.MC_UserName = Host(sale.member.name);
  r.MC_PhoneNumber = Host(sale.member.mobile);
  r.MC_Creater = Host(settings_.operatorCode);
  r.MC_OrderCode = Host(sale.orderCode);
  r.MC_Group = Host(settings_.group);
  r.MC_WareName = Host(sale.wareName);
  r.MC_Isonecard = "0";
  r.Tickets = &list;

  bool accepted = false;
  const quorl::IntfPtr<IMemberSysAgent_ZEL> agent = MemberSysAgentIntf();
  if (settings_.mode == "Y" || settings_.mode == "H") {
    // These postings write no print document: printing with them would hand
    // out whatever receipt Print.xml still holds, another customer's. The
    // receipt of this sale is written and printed after acceptance instead.
    if (settings_.mode == "Y") {
      accepted =
          agent->ComsumeInfoPost_ByServer(ServerPacket(sale), Host(settings_.operatorCode), true, false);
    } else {
      TStringList lines;
      for (const std::string& l :
           PlatformLines(sale.member.cardNo, sale.orderCode, SaleTotal(sale.lines), settings_.operatorCode))
        lines.Add(Host(l));
      accepted = !agent->ComsumeInfoPost_ByHTK(&lines, std::string(), true, false).empty();
    }
    // Without post the web-service operation only writes the document and
    // prints it; it sends and journals nothing.
    if (accepted && sale.print) agent->ComsumeInfoPost(&r, false, true);
  } else {
    accepted = agent->ComsumeInfoPost(&r, true, sale.print);
  }
  PostResult result;
  if (accepted)
    result.outcome = PostOutcome::kAccepted;
  else if (warningsShown_ != warningsBefore) {
    result.outcome = PostOutcome::kFailed;
    result.warning = lastWarning_;
  } else {
    result.outcome = PostOutcome::kRefused;
  }
  return result;
}

BalanceReport TillHost::Report(const std::string& group, const std::string& user, const std::string& begin,
                               const std::string& end) {
  const quorl::IntfPtr<IMemberSysAgent_ZEL> agent = MemberSysAgentIntf();
  const Variant packet = agent->getMemberBalanceReport(Wide(group), Wide(user), Wide(begin), Wide(end));
  BalanceReport report;
  if (packet.IsEmpty()) return report;
  TClientDataSet data;
  data.SetData(packet);
  for (int f = 0; f < data.FieldCount(); ++f) report.table.header.push_back(Out(data.Fields(f)->FieldName()));
  TField* amount = data.FindField("PayAmount");
  for (data.First(); !data.Eof(); data.Next()) {
    std::vector<std::string> row;
    for (int f = 0; f < data.FieldCount(); ++f) {
      TField* field = data.Fields(f);
      row.push_back(field == amount && !field->IsNull() ? FormatCents(std::llround(field->AsFloat() * 100))
                                                        : Out(field->AsString()));
    }
    if (amount != nullptr && !amount->IsNull()) report.total += std::llround(amount->AsFloat() * 100);
    report.table.rows.push_back(std::move(row));
  }
  report.ok = true;
  return report;
}

bool TillHost::Reprint() {
  const std::string document = quorl::ApplicationDirectory() + quorl::kPrintFolderName + "Print.xml";
  if (!std::filesystem::exists(document)) return false;
  const quorl::IntfPtr<IMemberSysAgent_ZEL> agent = MemberSysAgentIntf();
  // Printing is not on the interface; the agent class offers it.
  auto* impl = dynamic_cast<TMemberSysAgentImpl_ZEL*>(agent.get());
  if (impl == nullptr) return false;
  impl->PrintComsumeInfo(std::u16string());
  return true;
}

std::string TillHost::LastReceiptPdf() const {
  const QDir receipts(
      QString::fromStdString(quorl::ApplicationDirectory() + quorl::kPrintFolderName + "receipts"));
  const QFileInfoList pdfs = receipts.entryInfoList({"*.pdf"}, QDir::Files, QDir::Time);
  return pdfs.isEmpty() ? std::string() : pdfs.first().absoluteFilePath().toStdString();
}

TextTable TillHost::Journal(const std::string& since) {
  quorl::PostingJournal journal(quorl::PostingJournal::DefaultPath());
  TextTable t;
  t.header = {"编号", "开始", "操作", "后端", "订单", "会员", "卡号", "金额", "状态", "结算", "说明"};
  for (const quorl::JournalEntry& e : journal.List(Host(since))) {
    t.rows.push_back(
        {std::to_string(e.id), Out(e.startedAt), Out(e.operation), quorl::JournalBackendName(e.backend),
         Out(e.orderCode), Out(e.member), Out(e.cardNo), Out(e.amount), quorl::JournalStateName(e.state),
         quorl::JournalSettlementName(e.settlement), Out(e.error.empty() ? e.settleNote : e.error)});
  }
  return t;
}

std::vector<std::string> TillHost::Reconcile() {
  quorl::PostingJournal journal(quorl::PostingJournal::DefaultPath());
  std::vector<std::string> lines;
  int unsettled = 0;
  const std::vector<quorl::ReconcileOutcome> outcomes = quorl::ReconcileJournal(journal);
  for (const quorl::ReconcileOutcome& o : outcomes) {
    if (!o.settled) ++unsettled;
    lines.push_back("#" + std::to_string(o.entry.id) + " " + Out(o.entry.orderCode) + ": " +
                    quorl::JournalSettlementName(o.entry.settlement) + " (" + Out(o.entry.settleNote) + ")");
  }
  lines.push_back("待对账 " + std::to_string(outcomes.size()) + " 笔，已结清 " +
                  std::to_string(outcomes.size() - unsettled) + " 笔，仍不确定 " + std::to_string(unsettled) +
                  " 笔");
  return lines;
}

std::string NowText() { return QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss").toStdString(); }
std::string TodayCompact() { return QDate::currentDate().toString("yyyyMMdd").toStdString(); }
std::string TodayText() { return QDate::currentDate().toString("yyyy-MM-dd").toStdString(); }

std::string ToCsv(const TextTable& table) {
  std::string csv;
  auto line = [&csv](const std::vector<std::string>& fields) {
    for (size_t i = 0; i < fields.size(); ++i) csv += (i ? "," : "") + CsvField(fields[i]);
    csv += "\r\n";
  };
  line(table.header);
  for (const auto& row : table.rows) line(row);
  return csv;
}

}  // namespace quorl::till
