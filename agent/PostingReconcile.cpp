// Settling uncertain journal entries by asking each back end what it holds.
// Nothing here ever posts: an entry that cannot be settled stays uncertain,
// because guessing "not charged" and posting again is how members pay twice.

#include <cmath>
#include <ctime>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "agent/PostingJournal.h"
#include "core/uCoreMemberSys_ZEL.h"
#include "host/MemberAccount.h"
#include "host/QuorlClientDataSet.h"
#include "host/QuorlContext.h"
#include "huitouke/uHuiTouKe_ZEL.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "soap/TMemberSysSoapAgent_ZEL.h"

namespace quorl {

namespace {

struct Verdict {
  JournalSettlement settlement = JournalSettlement::kUnsettled;
  std::string note;
};

Verdict Charged(std::string note) { return {JournalSettlement::kCharged, std::move(note)}; }
Verdict NotCharged(std::string note) { return {JournalSettlement::kNotCharged, std::move(note)}; }
Verdict Unsettled(std::string note) { return {JournalSettlement::kUnsettled, std::move(note)}; }

// An amount in yuan as exact cents: digits, at most one point, nothing finer
// than a cent but zeros. nullopt for anything else.
std::optional<int64_t> CentsOf(const std::string& text) {
  const std::string t = Trim(text);
  int64_t whole = 0;
  int64_t cents = 0;
  size_t i = 0;
  bool digits = false;
  for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i, digits = true) {
    if (whole > 100000000000LL) return std::nullopt;
    whole = whole * 10 + (t[i] - '0');
  }
  if (i < t.size() && t[i] == '.') {
    int places = 0;
    for (++i; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i, ++places, digits = true) {
      if (places < 2) {
        cents = cents * 10 + (t[i] - '0');
      } else if (t[i] != '0') {
        return std::nullopt;
      }
    }
    if (places == 1) cents *= 10;
  }
  if (!digits || i != t.size()) return std::nullopt;
  return whole * 100 + cents;
}

// Seconds of a "yyyy-mm-dd hh:nn:ss" local time text, counted like the
// platform's date-times (local time taken as if it were UTC).
std::optional<int64_t> SecondsOf(const std::string& text) {
  std::tm tm{};
  const char* end = strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &tm);
  if (end == nullptr || *end != '\0') return std::nullopt;
  return static_cast<int64_t>(timegm(&tm));
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    out.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) return out;
    start = comma + 1;
  }
}

Verdict AskWebService(TMemberSysSoapAgent_ZEL& soap, const JournalEntry& e) {
  if (e.orderCode.empty() || e.member.empty())
    return Unsettled("the entry names no order code or member to ask the web service about");
  const int answer = soap.Service->CheckConsumeMoney(GbkToUtf16(e.orderCode), GbkToUtf16(e.member),
                                                     GbkToUtf16(e.operatorCode), std::u16string());
  if (answer == 1) return Charged("the web service holds the consumption of order " + e.orderCode);
  return NotCharged("the web service holds no consumption of order " + e.orderCode + " (answer " +
                    std::to_string(answer) + ")");
}

Verdict AskHostDatabase(const std::string& context, const JournalEntry& e) {
  if (e.orderCode.empty()) return Unsettled("the entry names no order code");
  const std::vector<std::string> orders = SplitList(e.orderCode);
  const std::vector<std::string> amounts = SplitList(e.amount);
  size_t ours = 0;
  size_t absent = 0;
  for (size_t i = 0; i < orders.size(); ++i) {
    const StoredConsumption stored = FindStoredConsumption(context, orders[i]);
    if (!stored.found) {
      ++absent;
      continue;
    }
    // Under the same code another till may have posted another consumption,
    // which refused this one.
    const std::optional<int64_t> cents =
        amounts.size() == orders.size() ? CentsOf(amounts[i]) : std::optional<int64_t>();
    if (!cents || *cents == stored.amountCents) ++ours;
  }
  if (ours == orders.size()) return Charged("the host database holds the consumption of " + e.orderCode);
  if (ours == 0 && absent == orders.size())
    return NotCharged("the host database holds no consumption of " + e.orderCode);
  if (ours == 0) return NotCharged("the order code holds another consumption: this one was refused");
  // One transaction posts the whole packet: a part of it stored means the
  // database was changed by someone else since.
  return Unsettled("only part of the orders " + e.orderCode + " are stored as this entry sent them");
}

Verdict AskPlatform(THuiTouKe_ZEL& platform, const JournalEntry& e, const std::vector<JournalEntry>& all) {
  const std::optional<int64_t> cents = CentsOf(e.amount);
  const std::optional<int64_t> started = SecondsOf(e.startedAt);
  if (e.cardNo.empty() || !cents || !started)
    return Unsettled("the entry names no card, amount or time to look for on the platform");
  const std::string day = e.startedAt.substr(0, 10);

  TQuorlClientDataSet users;
  users.FieldDefs.Add("UserCode", TFieldType::ftString, 12);
  users.FieldDefs.Add("CNAME", TFieldType::ftString, 32);
  users.CreateDataSet();
  TClientDataSet records;
  records.SetData(platform.GetStoredConsumeData(e.cardNo, "", day, day, &users));
  if (records.IsEmpty())
    return Unsettled("the platform lists no movement of card " + e.cardNo + " on " + day +
                     " (or could not be asked)");

  // The platform keeps no order code with a movement: a purchase of this
  // amount on this card by this operator from the moment of the attempt on
  // counts, less those that other journal entries of the same kind explain.
  // Clocks of till and platform may differ a little.
  constexpr int64_t kClockSlack = 120;
  auto sameKind = [&](const std::string& card, const std::string& amount, const std::string& op) {
    return card == e.cardNo && CentsOf(amount) == cents && (e.operatorCode.empty() || op == e.operatorCode);
  };
  int64_t movements = 0;
  for (records.First(); !records.Eof(); records.Next()) {
    const double when = records.FieldByName("time")->AsDateTime();
    const auto seconds = static_cast<int64_t>(std::llround((when - 25569.0) * 86400.0));
    if (seconds + kClockSlack < *started) continue;
    if (sameKind(records.FieldByName("card_no")->AsString(), records.FieldByName("saving_sub")->AsString(),
                 records.FieldByName("UserCode")->AsString()))
      ++movements;
  }
  // Counted by order code: an order posted again is accepted without a
  // second movement.
  std::set<std::string> explained;
  for (const JournalEntry& other : all) {
    if (other.id == e.id || other.orderCode == e.orderCode || other.backend != JournalBackend::kPlatform)
      continue;
    const bool charged =
        other.state == JournalState::kAccepted || other.settlement == JournalSettlement::kCharged;
    const std::optional<int64_t> when = SecondsOf(other.startedAt);
    if (charged && when && *when + kClockSlack >= *started && other.startedAt.compare(0, 10, day) == 0 &&
        sameKind(other.cardNo, other.amount, other.operatorCode))
      explained.insert(other.orderCode);
  }
  if (movements > static_cast<int64_t>(explained.size()))
    return Charged("the platform lists a purchase of " + e.amount + " on card " + e.cardNo + " since " +
                   e.startedAt);
  return NotCharged("the platform lists no purchase of " + e.amount + " on card " + e.cardNo + " since " +
                    e.startedAt + " that another posting does not explain");
}

std::string Why(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
  }
  return "unknown error";
}

}  // namespace

std::vector<ReconcileOutcome> ReconcileJournal(PostingJournal& journal, const ReconcileOptions& options) {
  const std::vector<JournalEntry> all = journal.List();
  const std::string context = options.hostContext.empty() && _QuorlContext() != nullptr
                                  ? _QuorlContext()->GetAsString()
                                  : options.hostContext;
  const std::optional<int64_t> now = SecondsOf(JournalTimeNow());

  // The platform client takes its identifiers from the address strings,
  // which only the address lookup fills; the web-service client runs it too.
  bool addressesRead = false;
  std::unique_ptr<TMemberSysSoapAgent_ZEL> soap;
  std::unique_ptr<THuiTouKe_ZEL> platform;
  std::vector<ReconcileOutcome> out;
  for (const JournalEntry& entry : all) {
    if (entry.settlement == JournalSettlement::kCharged || entry.settlement == JournalSettlement::kNotCharged)
      continue;
    if (entry.state == JournalState::kSending) {
      const std::optional<int64_t> started = SecondsOf(entry.startedAt);
      if (now && started && *now - *started < options.sendingGraceSeconds) continue;
    } else if (entry.state != JournalState::kFailedUncertain) {
      continue;
    }

    Verdict verdict;
    try {
      switch (entry.backend) {
        case JournalBackend::kWebService:
          if (!soap) soap = std::make_unique<TMemberSysSoapAgent_ZEL>();
          verdict = AskWebService(*soap, entry);
          break;
        case JournalBackend::kHostDatabase:
          verdict = AskHostDatabase(context, entry);
          break;
        case JournalBackend::kPlatform:
          if (!platform) {
            if (!addressesRead && !soap) _GetMemberSysWSURL();
            addressesRead = true;
            platform = std::make_unique<THuiTouKe_ZEL>();
          }
          verdict = AskPlatform(*platform, entry, all);
          break;
      }
    } catch (...) {
      verdict = Unsettled("could not ask the back end: " + Why(std::current_exception()));
    }
    journal.Settle(entry.id, verdict.settlement, verdict.note);
    ReconcileOutcome o;
    o.entry = entry;
    o.entry.settlement = verdict.settlement;
    o.entry.settleNote = verdict.note;
    o.settled = verdict.settlement != JournalSettlement::kUnsettled;
    out.push_back(std::move(o));
  }
  return out;
}

}  // namespace quorl
