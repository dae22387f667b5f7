// The simulated platform's data: members, cards and account movements in one
// SQLite file (UTF-8 text, money in cents). Thread-safe: the HTTP server
// answers on several threads, every operation holds one lock.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/Database.h"

namespace quorl::htksim {

struct Member {
  int64_t memberId = 0;
  std::string realname, username, password, mobile, email;
  int64_t gender = 2;  // 1 female, 0 male, anything else unknown
  std::string birthday, regDate, tel;
};

struct Card {
  std::string cardNo;
  int64_t memberId = 0;
  std::string password;
  int64_t balanceCents = 0;
  int64_t points = 0;
  std::string status;  // "正常" is the only status a card can pay with
  double rank = 1;
  std::string rankName;
};

struct Movement {
  std::string cardNo, type;
  int64_t savingAddCents = 0, savingSubCents = 0, savingRewardCents = 0;
  int64_t pointAdd = 0, pointSub = 0, bankAmountCents = 0;
  std::string time;  // "yyyy-mm-dd hh:nn:ss"
  std::string empNo;
};

struct MovementPage {
  int64_t count = 0;  // records matching the query, over all pages
  std::vector<Movement> rows;
};

// kAlreadyPosted: the order is stored with the same card, money and points;
// kOrderConflict: it is stored as another consumption.
enum class ConsumeOutcome {
  kCharged,
  kAlreadyPosted,
  kOrderConflict,
  kUnknownCard,
  kCardNotUsable,
  kInsufficientBalance
};

struct ConsumeResult {
  ConsumeOutcome outcome = ConsumeOutcome::kUnknownCard;
  int64_t balanceCents = 0;  // after the charge (or as it stands)
  int64_t points = 0;
};

class SimStore {
 public:
  // Opens (creating when missing) the database at path (UTF-8) and its
  // tables. EDatabaseError when it cannot; every operation raises it when
  // the database fails.
  explicit SimStore(const std::string& path);
  ~SimStore();
  SimStore(const SimStore&) = delete;
  SimStore& operator=(const SimStore&) = delete;

  // Seed movements: 60 records for card 8600000001 in early 2024, so that a
  // query over the quarter spans three pages of 25.
  static constexpr int kSeedMovements = 60;

  // Adds the demo members, cards and movements unless members exist already.
  // movements is the number of movements of card 8600000001; a large number
  // lets a client's limits on long histories be tried.
  void Seed(int movements = kSeedMovements);

  std::optional<Member> MemberByMobile(const std::string& mobile);
  std::optional<Member> MemberByEmail(const std::string& email);  // ignoring ASCII case
  std::optional<Member> MemberById(int64_t memberId);
  std::optional<Card> CardByNo(const std::string& cardNo);
  std::vector<Card> CardsOf(int64_t memberId);

  // Charges moneyCents to the card and adds points, once per orderNo: a known
  // order changes nothing and reports kAlreadyPosted when it was this card,
  // money and points, kOrderConflict otherwise. The check and the charge hold
  // one lock and one transaction. The movement is stored with the time and
  // operator given.
  ConsumeResult Consume(const std::string& cardNo, const std::string& orderNo, int64_t moneyCents,
                        int64_t points, const std::string& empNo, const std::string& storeId,
                        const std::string& time);

  // Movements of a card, oldest first. type "" or "0" means every type;
  // sdate/edate are inclusive text bounds ("" = open), compared with the
  // stored "yyyy-mm-dd hh:nn:ss". page counts from 1.
  MovementPage Movements(const std::string& cardNo, const std::string& type, const std::string& sdate,
                         const std::string& edate, int64_t page, int64_t perPage);

 private:
  std::unique_ptr<DatabaseConnection> db_;
  std::mutex mutex_;
};

}  // namespace quorl::htksim
