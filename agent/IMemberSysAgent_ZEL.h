// The member-system agent: the one interface through which the host does
// every member operation, and the factory that creates agents.
//
// Text is 8-bit host text (GBK) in std::string and UTF-16 in std::u16string,
// as each operation states. The operations run on the caller's thread and
// block until their back end answers.
//
// Failures:
//  - the lookups (GetUserInfo, GetSurplus, getSurplusByImage, getMemberInfo)
//    catch nothing: a transport error, SOAP fault, member-account error or an
//    answer that does not parse reaches the caller as an Exception;
//  - the postings, CheckConsumeMoney and getMemberBalanceReport catch every
//    error, show one warning through ShowWarningMessage (caption "警告") and
//    return false, empty text or an empty Variant. A back end that answers
//    with a refusal yields the same failure value without a warning.
#pragma once

#include <string>

#include "core/MemberRecords.h"
#include "core/PackageExport.h"
#include "memberdata/uMemberCardCheckTicket_KETHO.h"
#include "platform/Interfaces.h"
#include "platform/Variant.h"

class TStringList;

/// The operations are declared in the order the host calls them by position;
/// do not reorder them.
struct QUORL_PACKAGE_API IMemberSysAgent_ZEL : IInterface {
  /// interface identifier
  static constexpr TGUID IID = TGUID::Parse("{753400C6-4D51-469C-9928-5509FCBC181F}");

  /// Members matching Condition, asked of the back end ConnectionMode names:
  /// "Y" the host's member-account service, "N" the web service, "H" the
  /// HuiTouKe platform (exact, case-sensitive). A set Skip flag sends that
  /// criterion as empty text. The caller owns the new list and its records.
  /// Any other mode asks no back end and returns nullptr (no list).
  virtual TMemberUserInfoList_ZEL* GetUserInfo(const TQueryUserInfoConditionRecord_ZEL& Condition,
                                               const std::string& ConnectionMode) = 0;
  /// The web service's check-ticket answers for one member number, bound.
  virtual quorl::IntfPtr<IXMLDataType> GetSurplus(const std::u16string& MemberNum) = 0;
  /// As GetSurplus, through the web service's by-image operation.
  virtual quorl::IntfPtr<IXMLDataType> getSurplusByImage(const std::u16string& MemberNum) = 0;
  /// As GetSurplus, through the web service's member-info operation.
  virtual quorl::IntfPtr<IXMLDataType> getMemberInfo(const std::u16string& MemberNum) = 0;

  /// Builds the consumption document (and writes the print file
  /// MemberPrint_vrisk/Print.xml; an error there is raised, not caught), then
  /// posts it to the web service when IsPost (accepted: it answers 1) and
  /// prints when IsPrint after acceptance. Without IsPost it behaves as if
  /// the service had accepted.
  virtual bool ComsumeInfoPost(TMemberInfoRecord_VRISK* ConsumeInfo, bool IsPost, bool IsPrint) = 0;
  /// The host's member-account service: posts the pending order (both
  /// arguments passed through unchanged); accepted when it answers 1.
  virtual bool ComsumeInfoPost_ByServer_OrderHandle(const std::string& OrderArg1,
                                                    const std::string& OrderArg2, bool IsPost,
                                                    bool IsPrint) = 0;
  /// The host's member-account service: posts Data (a dataset packet) for
  /// Text; accepted when it answers 1.
  virtual bool ComsumeInfoPost_ByServer(const Variant& Data, const std::string& Text, bool IsPost,
                                        bool IsPrint) = 0;
  /// The HuiTouKe platform: lines 1 and 2 of Lines are overwritten with
  /// "sbs_id=<merchant>" and "store_id=<store>" (they stay so after the call),
  /// the rest are the method's name=value lines. Returns the platform's
  /// answer when its code is "A00006", else empty; empty too without IsPost.
  /// Text is not read.
  virtual std::string ComsumeInfoPost_ByHTK(TStringList* Lines, const std::string& Text, bool IsPost,
                                            bool IsPrint) = 0;
  /// "Hello", whatever Text holds. Touches no back end.
  virtual std::string Hello(const std::string& Text) = 0;
  /// The web service's validation of an order's consumption; true when it
  /// answers 1.
  virtual bool CheckConsumeMoney(const std::u16string& OrderCode, const std::u16string& MemberID,
                                 const std::u16string& OperatedBy, const std::u16string& LastTicketCode) = 0;
  /// The member payments taken in by UserCode between BeginTime and EndTime,
  /// as a dataset packet with the fields UserID (integer), UserName,
  /// UserCode, MemberName, MemberMobileNO, PayMentName (text, 32 bytes) and
  /// PayAmount (double). An empty Variant after a failure.
  virtual Variant getMemberBalanceReport(const std::u16string& GroupCode, const std::u16string& UserCode,
                                         const std::u16string& BeginTime, const std::u16string& EndTime) = 0;

 protected:
  ~IMemberSysAgent_ZEL() = default;
};

/// Creates a new agent (every call; there is no reuse), keeps a reference to
/// it as the package's last agent (releasing the one kept before) and returns
/// another reference. Creating an agent reads the service addresses
/// (QUORLZELCLIENT.LIC and the address table) and overwrites the five address
/// strings. Raises when that fails; the last agent kept stays the previous one.
/// The host releases every agent before it unloads the package.
QUORL_PACKAGE_API quorl::IntfPtr<IMemberSysAgent_ZEL> MemberSysAgentIntf();
