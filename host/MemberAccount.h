// The host's member-account service: member look-up and consumption posting
// against the member tables of the host database (doc/host-database.md).
// Created for each call and freed after it; holds no state between calls.
//
// Failures: every EDatabaseError the service raises means nothing of the call
// was charged (the transaction was rolled back or never began), except
// quorl::EDatabaseOutcomeUnknown, raised when the connection was lost while
// the commit was in flight: the posting may or may not have been charged, and
// FindStoredConsumption tells which once the database answers again.
#pragma once

#include <cstdint>
#include <string>

#include "host/HostExport.h"
#include "platform/Variant.h"

/// The member-account service (see the file comment): cheap to create, stateless between calls.
class QUORL_HOST_API TCAMemberAccount {
 public:
  TCAMemberAccount();

  /// Members matching every non-empty criterion (exact match; groupCode
  /// filters the member's group; empty criteria are ignored), as a Variant
  /// holding a dataset packet with the member-account columns (MEMBER_ID ...
  /// consume_money). No match gives the columns and no rows. The context
  /// (UTF-16) names the database. Raises EDatabaseError on database failure.
  Variant GetUserInfo(const std::u16string& context, const std::u16string& memberId,
                      const std::u16string& memberNum, const std::u16string& memberName,
                      const std::u16string& certificateType, const std::u16string& certificateNum,
                      const std::u16string& phone, const std::u16string& mobile,
                      const std::u16string& groupCode);

  /// Posts the consumptions of `data` (a dataset packet, one row per
  /// consumption: ORDER_CODE, MEMBER_ID or MEMBER_CARD_NO, AMOUNT, POINTS) for
  /// the operator `text`, all rows in one transaction. One order code is one
  /// consumption: a code already stored counts as posted, without a second
  /// charge, only when the stored consumption is the same (the card or member
  /// the row names, the amount, the points); otherwise the packet is refused.
  /// Returns 1 when posted, 0 when refused (unknown member, balance too low,
  /// another consumption under a row's code, malformed packet: texts longer
  /// than their columns, amounts finer than a cent; doc/host-database.md); a
  /// refusal charges nothing for any row. Raises EDatabaseError on database
  /// failure (see above).
  int ComsumeInfoPost(const Variant& data, const std::string& text, const std::string& context);

  /// Posts the pending order `orderArg1` (order code) of the pending-order
  /// table for the operator `orderArg2`, as ComsumeInfoPost does (once only).
  /// 1 when posted, or when done before and the consumption stored under its
  /// code is this order's; 0 when refused or no such order.
  int ComsumeInfoPost_OrderHandle(const std::string& context, const std::string& orderArg1,
                                  const std::string& orderArg2);
};

namespace quorl {

/// What the host database holds under one order code. Texts are GBK.
struct QUORL_HOST_API StoredConsumption {
  bool found = false;        ///< false when no consumption is stored under the order code
  std::string cardNo;        ///< card number (GBK) the consumption was charged to
  int64_t memberId = 0;      ///< member id charged
  int64_t amountCents = 0;   ///< amount charged, in cents
  int64_t points = 0;        ///< points charged
  std::string operatorCode;  ///< operator (GBK) who posted it
  std::string postedAt;      ///< when it was stored, as the database wrote it
};

/// Reads the consumption stored under `gbkOrderCode` in the database the
/// context names. Raises EDatabaseError when the database cannot be read.
QUORL_HOST_API StoredConsumption FindStoredConsumption(const std::string& gbkContext,
                                                       const std::string& gbkOrderCode);

}  // namespace quorl
