// The host's member-account service: member look-up and consumption posting
// against the member tables of the host database (doc/host-database.md).
// Created for each call and freed after it; holds no state between calls.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Variant.h"

class TCAMemberAccount {
 public:
  TCAMemberAccount();

  // Members matching every non-empty criterion (exact match; groupCode
  // filters the member's group; empty criteria are ignored), as a Variant
  // holding a dataset packet with the member-account columns (MEMBER_ID ...
  // consume_money). No match gives the columns and no rows. The context
  // (UTF-16) names the database. Raises EDatabaseError on database failure.
  Variant GetUserInfo(const std::u16string& context, const std::u16string& memberId,
                      const std::u16string& memberNum, const std::u16string& memberName,
                      const std::u16string& certificateType, const std::u16string& certificateNum,
                      const std::u16string& phone, const std::u16string& mobile,
                      const std::u16string& groupCode);

  // Posts the consumptions of `data` (a dataset packet, one row per
  // consumption: ORDER_CODE, MEMBER_ID or MEMBER_CARD_NO, AMOUNT, POINTS) for
  // the operator `text`, all rows in one transaction. An order code already
  // stored is not charged again and counts as posted. Returns 1 when posted,
  // 0 when refused (unknown member, balance too low, malformed packet); a
  // refusal charges nothing for any row. Raises EDatabaseError on database
  // failure (also nothing charged).
  int ComsumeInfoPost(const Variant& data, const std::string& text, const std::string& context);

  // Posts the pending order `orderArg1` (order code) of the pending-order
  // table for the operator `orderArg2`, as ComsumeInfoPost does (once only).
  // 1 when posted or already posted, 0 when refused or no such order.
  int ComsumeInfoPost_OrderHandle(const std::string& context, const std::string& orderArg1,
                                  const std::string& orderArg2);
};

namespace quorl {
// What the host database holds under one order code. Texts are GBK.
struct StoredConsumption {
  bool found = false;
  std::string cardNo;
  int64_t memberId = 0;
  int64_t amountCents = 0;
  int64_t points = 0;
  std::string operatorCode;
  std::string postedAt;
};
// Reads the consumption stored under `gbkOrderCode` in the database the
// context names. Raises EDatabaseError when the database cannot be read.
StoredConsumption FindStoredConsumption(const std::string& gbkContext, const std::string& gbkOrderCode);
}  // namespace quorl
