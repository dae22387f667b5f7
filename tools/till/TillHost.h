// The till's side of the package: host set-up (application folder, host
// session, warning handler, Initialize/Finalize) and every package call the
// window makes, with the package's GBK text turned into UTF-8 at the border.
// Only the package's installed headers are used, as any host would.
//
// Every call runs on the caller's (GUI) thread and blocks until the back end
// answers: the package starts no threads and expects none.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/till/TillSale.h"
#include "tools/till/TillSettings.h"

namespace quorl {
struct JournalEntry;
}

namespace quorl::till {

// A member as the till shows it (UTF-8).
struct Member {
  std::string id;
  std::string cardNo;
  std::string name;
  std::string className;  // member type name, else card type name
  std::string balance;
  std::string points;
  std::string cardStatus;
  std::string mobile;
  std::string certificateNum;
};

// What the operator searches by. In platform mode (H) every criterion is
// the platform's one search key (card, mobile or e-mail) with a password.
enum class SearchBy { kCard, kMobile, kName, kCertificate };

struct Search {
  SearchBy by = SearchBy::kCard;
  std::string value;
  std::string password;  // platform mode: the password; from the swipe dialog: its digest
};

enum class PostOutcome { kAccepted, kRefused, kFailed };

struct PostResult {
  PostOutcome outcome = PostOutcome::kFailed;
  std::string warning;  // the package's warning on a failure (UTF-8)
};

struct Sale {
  std::string orderCode;
  std::vector<SaleLine> lines;
  Member member;
  std::string wareName;
  bool print = false;
};

// A table of texts (UTF-8): the report and the journal.
struct TextTable {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};

struct BalanceReport {
  bool ok = false;  // false: the package has shown its warning
  TextTable table;
  Cents total = 0;
};

class TillHost {
 public:
  // Shows one warning modally and returns when the operator has closed it.
  using WarningDisplay = std::function<void(const std::string& caption, const std::string& text)>;

  explicit TillHost(WarningDisplay display);
  // Releases the package (Finalize) and the warning handler.
  ~TillHost();
  TillHost(const TillHost&) = delete;
  TillHost& operator=(const TillHost&) = delete;

  // Points the package at the settings' folder, host database, node and
  // group and (re)loads it: the package reads the session when it loads.
  void Apply(const TillSettings& settings);
  const TillSettings& Settings() const { return settings_; }
  // Spends the current order number (after an accepted sale).
  void AdvanceOrder() { ++settings_.nextOrder; }

  // GetUserInfo in the settings' mode. Raises what the package raises.
  std::vector<Member> Lookup(const Search& search);
  // Posts through the operation of the settings' mode: the web service
  // (N), the host's member accounts (Y) or the platform (H).
  PostResult Post(const Sale& sale);
  BalanceReport Report(const std::string& group, const std::string& user, const std::string& begin,
                       const std::string& end);
  // Starts the print application on the last print document again; false
  // (and nothing started) when there is none.
  bool Reprint();
  // The newest receipt PDF of the print application; empty when none.
  std::string LastReceiptPdf() const;

  // The posting journal of the application folder since `since` (a date
  // prefix); raises when it cannot be read.
  TextTable Journal(const std::string& since);
  // Settles the uncertain entries; returns one line per entry settled and a
  // summary line.
  std::vector<std::string> Reconcile();

  int WarningsShown() const { return warningsShown_; }

 private:
  TillSettings settings_;
  WarningDisplay display_;
  int warningsShown_ = 0;
  std::string lastWarning_;
};

// Local time as "yyyy-mm-dd hh:nn:ss" and today as "yyyymmdd" / "yyyy-mm-dd".
std::string NowText();
std::string TodayCompact();
std::string TodayText();

// The report table as CSV (UTF-8, CRLF, fields quoted where they must be).
// A text cell that a spreadsheet would run as a formula (=, +, @, or - not
// starting a number) is written with a leading apostrophe.
std::string ToCsv(const TextTable& table);

}  // namespace quorl::till
