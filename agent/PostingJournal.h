// The posting journal: every attempt of the agent's four posting operations,
// written to an SQLite file in the application folder before the request
// leaves and updated with its outcome. When an answer is lost after the back
// end charged, the entry stays "failed-uncertain" and ReconcileJournal settles
// it later by asking the back end what it holds, never by posting again.
//
// Texts crossing this interface are the package's 8-bit GBK text; the file
// stores UTF-8. Times are the machine's local time, "yyyy-mm-dd hh:nn:ss".
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/PackageExport.h"

namespace quorl {

class DatabaseConnection;

/// The file's name in the application folder.
inline constexpr const char* kPostingJournalFileName = "PostingJournal.db";

/// What became of one attempt. kSending is written before the request
/// leaves: an entry still sending after the till stopped may have been
/// charged, like a failed-uncertain one.
enum class JournalState { kSending, kAccepted, kRefused, kFailedUncertain, kFailedNotSent };

/// How reconciliation settled a failed-uncertain entry.
enum class JournalSettlement { kNone, kCharged, kNotCharged, kUnsettled };

/// The back end an operation posts to.
enum class JournalBackend { kWebService, kHostDatabase, kPlatform };

/// The words the file and the host program use for the values above:
/// "sending", "accepted", "refused", "failed-uncertain", "failed-not-sent";
/// "", "charged", "not-charged", "uncertain"; "webservice", "hostdb",
/// "platform". Parse* give nullopt for any other word.
QUORL_PACKAGE_API const char* JournalStateName(JournalState state);
/// The state of that name.
QUORL_PACKAGE_API std::optional<JournalState> ParseJournalState(const std::string& name);
/// The settlement's name (static text).
QUORL_PACKAGE_API const char* JournalSettlementName(JournalSettlement settlement);
/// The back end's name (static text).
QUORL_PACKAGE_API const char* JournalBackendName(JournalBackend backend);

/// One posting attempt as the journal holds it.
struct QUORL_PACKAGE_API JournalEntry {
  int64_t id = 0;          ///< the entry's number, rising
  std::string startedAt;   ///< when the entry was written, before the request left
  std::string finishedAt;  ///< empty while sending
  std::string operation;   ///< the agent's operation, e.g. "ComsumeInfoPost_ByHTK"
  JournalBackend backend = JournalBackend::kWebService;  ///< the back end posted to
  std::string orderCode;                                 ///< several orders of one packet: joined with ","
  std::string member;                                    ///< member identifier as the request named it
  std::string cardNo;                                    ///< card number as the request named it
  std::string amount;        ///< as the request wrote it; empty when the request does not say
  std::string points;        ///< as the request wrote it; empty when it does not say
  std::string operatorCode;  ///< operator as the request named it
  JournalState state = JournalState::kSending;  ///< where the attempt stands
  std::string error;  ///< the failure's text (never a password: the package's messages hold none)
  /// what reconciliation found, for an uncertain entry
  JournalSettlement settlement = JournalSettlement::kNone;
  std::string settledAt;   ///< when it was settled; empty while not
  std::string settleNote;  ///< why it is charged, not charged, or still uncertain
};

/// One journal file. Every method raises Exception (EDatabaseError) when the
/// file cannot be opened, read or written; the agent catches that itself.
class QUORL_PACKAGE_API PostingJournal {
 public:
  /// Opens (creating when missing) the journal file at path (host text, as
  /// the package's other paths).
  explicit PostingJournal(const std::string& path);
  ~PostingJournal();
  PostingJournal(const PostingJournal&) = delete;
  PostingJournal& operator=(const PostingJournal&) = delete;

  /// The journal of the application folder (ApplicationDirectory()).
  static std::string DefaultPath();

  /// Writes a new entry in state kSending, stamped now; returns its id.
  int64_t Begin(const JournalEntry& entry);
  /// Records the outcome of entry id, stamped now.
  void Finish(int64_t id, JournalState state, const std::string& error);
  /// Records how reconciliation settled entry id, stamped now.
  void Settle(int64_t id, JournalSettlement settlement, const std::string& note);

  /// Entries started at or after `since` (a time text as above, or a prefix
  /// such as "2026-12-08"; empty: all) in the given state (all when none),
  /// oldest first.
  std::vector<JournalEntry> List(const std::string& since = std::string(),
                                 std::optional<JournalState> state = std::nullopt);

 private:
  std::unique_ptr<DatabaseConnection> db_;
};

/// Local time now (through the clock seam), "yyyy-mm-dd hh:nn:ss".
QUORL_PACKAGE_API std::string JournalTimeNow();

/// Where the back ends are to be asked. Empty context: the host session's.
struct QUORL_PACKAGE_API ReconcileOptions {
  std::string hostContext;  ///< the host database's context string (GBK)
  /// Entries still "sending" that started less than this many seconds ago
  /// may be in flight on this till and are left alone.
  int64_t sendingGraceSeconds = 300;  ///< an entry sending longer than this counts as uncertain
};

/// What reconciling one entry found.
struct QUORL_PACKAGE_API ReconcileOutcome {
  JournalEntry entry;    ///< as settled
  bool settled = false;  ///< false when the back end could not say yet
};

/// Settles every failed-uncertain entry (and every entry left sending longer
/// than the grace period) by asking its back end, never by posting: the web
/// service through CheckConsumeMoney, the host database by the consumption
/// stored under the order code, the platform through the card's stored
/// consumption records of that day. Each settled entry becomes charged or
/// not-charged; one that cannot be settled is marked uncertain with the
/// reason and is tried again next time. Raises only when the journal itself
/// cannot be read or written.
QUORL_PACKAGE_API std::vector<ReconcileOutcome> ReconcileJournal(PostingJournal& journal,
                                                                 const ReconcileOptions& options = {});

}  // namespace quorl
