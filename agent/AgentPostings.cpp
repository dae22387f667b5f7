// The agent's postings, validation and printing: every error inside the
// guarded steps is shown to the operator once and becomes the failure value;
// a back end's refusal is the same value without a warning. Every posting
// that goes to a back end is journaled (agent/PostingJournal.h).

#include <exception>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "agent/AgentInternal.h"
#include "agent/PostingJournal.h"
#include "agent/TMemberSysAgentImpl_ZEL.h"
#include "core/CoreState.h"
#include "core/uCoreMemberSys_ZEL.h"
#include "host/Database.h"
#include "host/MemberAccount.h"
#include "host/QuorlContext.h"
#include "host/WarningMessage.h"
#include "huitouke/uHuiTouKe_ZEL.h"
#include "memberdata/uMemberUserInfoXmlDM_ZEL.h"
#include "platform/Application.h"
#include "platform/ClientDataSet.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "platform/Lists.h"
#include "platform/Process.h"
#include "soap/TMemberSysSoapAgent_ZEL.h"

namespace {

using quorl::JournalBackend;
using quorl::JournalEntry;
using quorl::JournalState;

constexpr int kAccepted = 1;
constexpr const char* kPlatformAccepted = "A00006";

template <class Result, class Body>
Result Guarded(const char* message, Result failure, Body&& body) {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    ShowWarningMessage(message, quorl::kAgentWarningCaption);
    return failure;
  }
}

// Set while the journal fails, so the operator is told once, not at every sale.
bool journalFailureShown = false;

void JournalFailed(const std::exception_ptr& error) {
  if (journalFailureShown) return;
  journalFailureShown = true;
  std::string why = "unknown error";
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    why = e.what();
  } catch (...) {
  }
  ShowWarningMessage(quorl::Utf8ToGbk("过账日志无法写入（过账照常进行）：") + why,
                     quorl::kAgentWarningCaption);
}

// One posting's journal entry. Journaling never changes a result and never
// stops a posting: a journal that cannot be written is reported once and the
// posting goes on without it.
class JournalRecord {
 public:
  JournalRecord(bool enabled, const char* operation, JournalBackend backend, JournalEntry entry)
      : backend_(backend) {
    if (!enabled) return;
    entry.operation = operation;
    entry.backend = backend;
    try {
      journal_ = std::make_unique<quorl::PostingJournal>(quorl::PostingJournal::DefaultPath());
      id_ = journal_->Begin(entry);
      journalFailureShown = false;
    } catch (...) {
      journal_.reset();
      JournalFailed(std::current_exception());
    }
  }

  // Called right before the request leaves: a failure before this point
  // cannot have reached the back end.
  void Sending() { sending_ = true; }

  void Outcome(JournalState state, const std::string& error = std::string()) {
    if (!journal_) return;
    try {
      journal_->Finish(id_, state, error);
    } catch (...) {
      JournalFailed(std::current_exception());
    }
    journal_.reset();
  }

  void Failed(const std::exception_ptr& error) {
    std::string text = "unknown error";
    JournalState state = sending_ ? JournalState::kFailedUncertain : JournalState::kFailedNotSent;
    try {
      std::rethrow_exception(error);
    } catch (const EIdSocketError& e) {
      text = e.Message();
      if (!e.RequestSent()) state = JournalState::kFailedNotSent;
    } catch (const quorl::EDatabaseOutcomeUnknown& e) {
      text = e.Message();
    } catch (const std::exception& e) {
      text = e.what();
      // The member-account service runs in one transaction that is rolled
      // back on every error but a lost COMMIT.
      if (backend_ == JournalBackend::kHostDatabase) state = JournalState::kFailedNotSent;
    } catch (...) {
    }
    Outcome(state, text);
  }

  bool sending() const { return sending_; }

 private:
  JournalBackend backend_;
  std::unique_ptr<quorl::PostingJournal> journal_;
  int64_t id_ = 0;
  bool sending_ = false;
};

// Runs a posting's guarded steps with its journal entry: the outcome is
// recorded before the warning is shown, so an operator who turns the till off
// at the warning leaves the entry settled as far as it can be.
template <class Result, class Body>
Result JournaledPosting(JournalRecord* record, Result failure, Body&& body) {
  return Guarded(quorl::kPostingFailedMessage, failure, [&]() -> Result {
    try {
      return std::forward<Body>(body)();
    } catch (...) {
      if (record != nullptr) record->Failed(std::current_exception());
      throw;
    }
  });
}

// The consumption rows of a member-account packet, for the journal only: a
// packet the service cannot read leaves the fields it lacks empty.
JournalEntry EntryOfPacket(const Variant& data, const std::string& operatorCode) {
  JournalEntry e;
  e.operatorCode = operatorCode;
  try {
    TClientDataSet ds;
    ds.SetData(data);
    auto append = [](std::string& to, std::string_view value) {
      if (!to.empty()) to += ',';
      to += value;
    };
    const char* names[] = {"ORDER_CODE", "MEMBER_ID", "MEMBER_CARD_NO", "AMOUNT", "POINTS"};
    std::string* targets[] = {&e.orderCode, &e.member, &e.cardNo, &e.amount, &e.points};
    for (ds.First(); !ds.Eof(); ds.Next())
      for (size_t i = 0; i < std::size(names); ++i)
        if (TField* f = ds.FindField(names[i])) append(*targets[i], quorl::Trim(f->AsString()));
  } catch (...) {
  }
  return e;
}

JournalEntry EntryOfPlatformLines(const TStringList* lines) {
  JournalEntry e;
  if (lines == nullptr) return e;
  const std::pair<std::string_view, std::string JournalEntry::*> fields[] = {
      {"card_no", &JournalEntry::cardNo},      {"order_no", &JournalEntry::orderCode},
      {"money", &JournalEntry::amount},        {"points", &JournalEntry::points},
      {"emp_no", &JournalEntry::operatorCode},
  };
  for (int i = 0; i < lines->Count(); ++i) {
    const std::string& line = lines->Get(i);
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    for (const auto& [name, field] : fields)
      if (std::string_view(line).substr(0, eq) == name) e.*field = line.substr(eq + 1);
  }
  return e;
}

}  // namespace

bool TMemberSysAgentImpl_ZEL::ComsumeInfoPost(TMemberInfoRecord_VRISK* ConsumeInfo, bool IsPost,
                                              bool IsPrint) {
  // Building the document (and the print file) is not guarded: the host
  // sees that error itself.
  if (ConsumeInfo == nullptr) throw Exception("ComsumeInfoPost: no consumption record");
  const std::u16string document = xmlDataModule_->SaveToXmlString(*ConsumeInfo);
  std::optional<JournalRecord> record;
  if (IsPost) {
    JournalEntry e;
    e.orderCode = ConsumeInfo->MC_OrderCode;
    e.member = ConsumeInfo->MC_MemberID;
    e.amount = ConsumeInfo->MC_Cost.empty() ? ConsumeInfo->MC_PriceSum : ConsumeInfo->MC_Cost;
    e.operatorCode = ConsumeInfo->MC_Creater;
    record.emplace(Configuration().postingJournal, "ComsumeInfoPost", JournalBackend::kWebService,
                   std::move(e));
  }
  bool accepted = !IsPost;
  const bool result = JournaledPosting(record ? &*record : nullptr, false, [&] {
    if (IsPost) {
      record->Sending();
      accepted = soapAgent_->Service->ComsumeInfoPost(document) == kAccepted;
      record->Outcome(accepted ? JournalState::kAccepted : JournalState::kRefused);
      if (!accepted) return false;
    }
    if (IsPrint) PrintComsumeInfo(std::u16string());
    return true;
  });
  // The print file now holds a receipt for a sale that was not paid: a later
  // print (by server, by order, or a reprint) must not hand it out.
  if (!accepted) {
    Guarded(quorl::kPostingFailedMessage, false, [] {
      quorl::WithdrawPrintDocument();
      return true;
    });
  }
  return result;
}

bool TMemberSysAgentImpl_ZEL::ComsumeInfoPost_ByServer(const Variant& Data, const std::string& Text,
                                                       bool IsPost, bool IsPrint) {
  std::optional<JournalRecord> record;
  if (IsPost)
    record.emplace(Configuration().postingJournal, "ComsumeInfoPost_ByServer", JournalBackend::kHostDatabase,
                   EntryOfPacket(Data, Text));
  return JournaledPosting(record ? &*record : nullptr, false, [&] {
    if (IsPost) {
      TCAMemberAccount account;
      const std::string context = _QuorlContext()->GetAsString();
      record->Sending();
      const bool accepted = account.ComsumeInfoPost(Data, Text, context) == kAccepted;
      record->Outcome(accepted ? JournalState::kAccepted : JournalState::kRefused);
      if (!accepted) return false;
    }
    if (IsPrint) PrintComsumeInfo(std::u16string());
    return true;
  });
}

bool TMemberSysAgentImpl_ZEL::ComsumeInfoPost_ByServer_OrderHandle(const std::string& OrderArg1,
                                                                   const std::string& OrderArg2, bool IsPost,
                                                                   bool IsPrint) {
  std::optional<JournalRecord> record;
  if (IsPost) {
    JournalEntry e;
    e.orderCode = OrderArg1;
    e.operatorCode = OrderArg2;
    record.emplace(Configuration().postingJournal, "ComsumeInfoPost_ByServer_OrderHandle",
                   JournalBackend::kHostDatabase, std::move(e));
  }
  return JournaledPosting(record ? &*record : nullptr, false, [&] {
    if (IsPost) {
      TCAMemberAccount account;
      const std::string context = _QuorlContext()->GetAsString();
      record->Sending();
      const bool accepted = account.ComsumeInfoPost_OrderHandle(context, OrderArg1, OrderArg2) == kAccepted;
      record->Outcome(accepted ? JournalState::kAccepted : JournalState::kRefused);
      if (!accepted) return false;
    }
    if (IsPrint) PrintComsumeInfo(std::u16string());
    return true;
  });
}

std::string TMemberSysAgentImpl_ZEL::ComsumeInfoPost_ByHTK(TStringList* Lines, const std::string&,
                                                           bool IsPost, bool IsPrint) {
  std::optional<JournalRecord> record;
  if (IsPost)
    record.emplace(Configuration().postingJournal, "ComsumeInfoPost_ByHTK", JournalBackend::kPlatform,
                   EntryOfPlatformLines(Lines));
  return JournaledPosting(record ? &*record : nullptr, std::string(), [&]() -> std::string {
    std::string answer;
    if (IsPost) {
      // A client of its own, so the identifiers are those of the current
      // address strings, not of when this agent was made.
      THuiTouKe_ZEL client;
      if (Lines == nullptr) throw Exception("ComsumeInfoPost_ByHTK: no request lines");
      // A list of fewer than two lines raises here, before anything is sent.
      Lines->Put(0, "sbs_id=" + client.MerchantId());
      Lines->Put(1, "store_id=" + client.StoreId());
      record->Sending();
      answer = client.MemberInterface(Lines->Text(), "ConsumeInfoPost");
      const bool accepted = answer.compare(0, 6, kPlatformAccepted) == 0;
      record->Outcome(accepted ? JournalState::kAccepted : JournalState::kRefused,
                      accepted ? std::string() : answer.substr(0, 200));
      if (!accepted) return std::string();
    }
    if (IsPrint) PrintComsumeInfo(std::u16string());
    return answer;
  });
}

bool TMemberSysAgentImpl_ZEL::CheckConsumeMoney(const std::u16string& OrderCode,
                                                const std::u16string& MemberID,
                                                const std::u16string& OperatedBy,
                                                const std::u16string& LastTicketCode) {
  return Guarded(quorl::kCheckFailedMessage, false, [&] {
    return soapAgent_->Service->CheckConsumeMoney(OrderCode, MemberID, OperatedBy, LastTicketCode) ==
           kAccepted;
  });
}

void TMemberSysAgentImpl_ZEL::PrintComsumeInfo(const std::u16string&) {
  const std::string program =
      quorl::ApplicationDirectory() + quorl::kPrintFolderName + quorl::kPrintAppFileName;
  // The print application reports its own failures; the till does not wait.
  ShellExecuteA(static_cast<HWND>(quorl::MainWindowHandle()), "open", program.c_str(), "-h", nullptr,
                SW_SHOW);
}
