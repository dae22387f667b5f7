// The agent's postings, validation and printing: every error inside the
// guarded steps is shown to the operator once and becomes the failure value;
// a back end's refusal is the same value without a warning.

#include <utility>

#include "agent/TMemberSysAgentImpl_ZEL.h"
#include "core/uCoreMemberSys_ZEL.h"
#include "host/MemberAccount.h"
#include "host/QuorlContext.h"
#include "host/WarningMessage.h"
#include "huitouke/uHuiTouKe_ZEL.h"
#include "memberdata/uMemberUserInfoXmlDM_ZEL.h"
#include "platform/Application.h"
#include "platform/Exception.h"
#include "platform/Lists.h"
#include "platform/Process.h"
#include "soap/TMemberSysSoapAgent_ZEL.h"

namespace {

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

}  // namespace

bool TMemberSysAgentImpl_ZEL::ComsumeInfoPost(TMemberInfoRecord_VRISK* ConsumeInfo, bool IsPost,
                                              bool IsPrint) {
  // Building the document (and the print file) is not guarded: the host
  // sees that error itself.
  if (ConsumeInfo == nullptr) throw Exception("ComsumeInfoPost: no consumption record");
  const std::u16string document = xmlDataModule_->SaveToXmlString(*ConsumeInfo);
  return Guarded(quorl::kPostingFailedMessage, false, [&] {
    if (IsPost && soapAgent_->Service->ComsumeInfoPost(document) != kAccepted) return false;
    if (IsPrint) PrintComsumeInfo(std::u16string());
    return true;
  });
}

bool TMemberSysAgentImpl_ZEL::ComsumeInfoPost_ByServer(const Variant& Data, const std::string& Text,
                                                       bool IsPost, bool IsPrint) {
  return Guarded(quorl::kPostingFailedMessage, false, [&] {
    if (IsPost) {
      TCAMemberAccount account;
      if (account.ComsumeInfoPost(Data, Text, _QuorlContext()->GetAsString()) != kAccepted) return false;
    }
    if (IsPrint) PrintComsumeInfo(std::u16string());
    return true;
  });
}

bool TMemberSysAgentImpl_ZEL::ComsumeInfoPost_ByServer_OrderHandle(const std::string& OrderArg1,
                                                                   const std::string& OrderArg2, bool IsPost,
                                                                   bool IsPrint) {
  return Guarded(quorl::kPostingFailedMessage, false, [&] {
    if (IsPost) {
      TCAMemberAccount account;
      if (account.ComsumeInfoPost_OrderHandle(_QuorlContext()->GetAsString(), OrderArg1, OrderArg2) !=
          kAccepted)
        return false;
    }
    if (IsPrint) PrintComsumeInfo(std::u16string());
    return true;
  });
}

std::string TMemberSysAgentImpl_ZEL::ComsumeInfoPost_ByHTK(TStringList* Lines, const std::string&,
                                                           bool IsPost, bool IsPrint) {
  return Guarded(quorl::kPostingFailedMessage, std::string(), [&]() -> std::string {
    std::string answer;
    if (IsPost) {
      // A client of its own, so the identifiers are those of the current
      // address strings, not of when this agent was made.
      THuiTouKe_ZEL client;
      if (Lines == nullptr) throw Exception("ComsumeInfoPost_ByHTK: no request lines");
      // A list of fewer than two lines raises here, before anything is sent.
      Lines->Put(0, "sbs_id=" + client.MerchantId());
      Lines->Put(1, "store_id=" + client.StoreId());
      answer = client.MemberInterface(Lines->Text(), "ConsumeInfoPost");
    }
    if (IsPost && answer.compare(0, 6, kPlatformAccepted) != 0) return std::string();
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
