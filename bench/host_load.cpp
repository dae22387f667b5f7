// Load test of the host database: several till processes post purchases at
// once against one member pool, on SQLite and on PostgreSQL (a throwaway
// cluster), with deliberate duplicates (two tills post the same order) and
// overdrafts (the pool holds less money than the purchases ask for).
// Afterwards every balance must equal its opening balance less the rows
// charged to it, every order must be charged once or not at all, and every
// till that posted an order must have been given the same answer.
//
//   host_load [--tills N] [--purchases N] [--engine sqlite|postgresql|both]
//
// Prints purchases per second per engine; exits 1 when a check fails.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/Database.h"
#include "host/HostDatabase.h"
#include "host/MemberAccount.h"
#include "host/QuorlContext.h"
#include "platform/ClientDataSet.h"
#include "tests/host/HostTestSupport.h"
#include "tests/host/PgCluster.h"

namespace {

constexpr int kCards = 64;

struct Line {
  std::string order;
  int card;
  int64_t cents;
};

// One purchase: one packet of one or two rows.
struct Purchase {
  std::string key;
  std::vector<Line> lines;
};

uint64_t Hash(const std::string& s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  return h;
}

std::string CardNo(int card) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "66%08d", card);
  return buf;
}

// What till `till` posts as its purchase `j`. Every fourth purchase is shared
// with the partner till (0 with 1, 2 with 3...), which posts the very same
// packet; some packets charge two cards.
Purchase Plan(int till, int j, int tills) {
  const int partner = till ^ 1;
  Purchase p;
  if (j % 4 == 0 && partner < tills)
    p.key = "D" + std::to_string(std::min(till, partner)) + "-" + std::to_string(j);
  else
    p.key = "U" + std::to_string(till) + "-" + std::to_string(j);
  const uint64_t h = Hash(p.key);
  const bool twoCards = j % 8 == 5 || j % 16 == 8;
  const int card = static_cast<int>(h % kCards);
  const int64_t cents = 500 + static_cast<int64_t>((h >> 16) % 4000);
  if (!twoCards) {
    p.lines.push_back({p.key, card, cents});
  } else {
    const int other = (card + 1 + static_cast<int>((h >> 40) % (kCards - 1))) % kCards;
    p.lines.push_back({p.key + "a", card, cents});
    p.lines.push_back({p.key + "b", other, 500 + static_cast<int64_t>((h >> 28) % 2000)});
  }
  return p;
}

Variant ToPacket(const Purchase& p) {
  TClientDataSet ds;
  ds.FieldDefs.Add("ORDER_CODE", TFieldType::ftString, 40);
  ds.FieldDefs.Add("MEMBER_CARD_NO", TFieldType::ftString, 32);
  ds.FieldDefs.Add("AMOUNT", TFieldType::ftString, 20);
  ds.CreateDataSet();
  for (const Line& l : p.lines) {
    ds.Append();
    ds.FieldByName("ORDER_CODE")->SetAsString(l.order);
    ds.FieldByName("MEMBER_CARD_NO")->SetAsString(CardNo(l.card));
    char amount[32];
    std::snprintf(amount, sizeof amount, "%lld.%02lld", static_cast<long long>(l.cents / 100),
                  static_cast<long long>(l.cents % 100));
    ds.FieldByName("AMOUNT")->SetAsString(amount);
    ds.Post();
  }
  return ds.Data();
}

// Opening balances: between 40% and 120% of what the purchases would take
// from an average card, so that many cards run dry before the end.
std::vector<int64_t> OpeningBalances(int tills, int purchases) {
  const int64_t demand = static_cast<int64_t>(tills) * purchases * 2600 / kCards;
  std::vector<int64_t> out;
  for (int k = 0; k < kCards; ++k) out.push_back(demand * (40 + (k * 37) % 81) / 100);
  return out;
}

void CreatePool(const std::string& location, const std::vector<int64_t>& balances) {
  quorl::CreateHostDatabase(location, false);
  std::ostringstream sql;
  sql << "INSERT INTO QUORL_MEMBER_GROUP (GROUP_CODE, GROUP_NAME) VALUES ('L01', 'load');";
  for (int k = 0; k < kCards; ++k) {
    sql << "INSERT INTO QUORL_MEMBER (MEMBER_ID, FULL_NAME, GROUP_CODE) VALUES (" << 9000 + k << ", 'm" << k
        << "', 'L01');";
    sql << "INSERT INTO QUORL_MEMBER_CARD (MEMBER_CARD_NO, MEMBER_ID, BALANCE_CENTS) VALUES ('" << CardNo(k)
        << "', " << 9000 + k << ", " << balances[static_cast<size_t>(k)] << ");";
  }
  quorl::ExecuteSqlScript(location, sql.str());
}

// A till process: posts its purchases and writes "key result" lines
// (1 posted, 0 refused, E error) to its result file. A service object per
// purchase, as a host creates it; the connection under it is kept.
int RunTill(int till, int purchases, int tills, const std::string& context, const std::string& resultFile) {
  std::ofstream out(resultFile);
  int errors = 0;
  for (int j = 0; j < purchases; ++j) {
    const Purchase p = Plan(till, j, tills);
    std::string result;
    try {
      TCAMemberAccount account;
      result = std::to_string(account.ComsumeInfoPost(ToPacket(p), "T" + std::to_string(till), context));
    } catch (const std::exception& e) {
      result = "E";
      if (errors++ < 3) std::cerr << "till " << till << ": " << e.what() << "\n";
    }
    out << p.key << ' ' << result << '\n';
  }
  out.flush();
  return out ? 0 : 1;
}

struct Outcome {
  double seconds = 0;
  bool ok = true;
};

bool Check(bool condition, const std::string& what, int& failures) {
  if (!condition && failures++ < 10) std::cerr << "  FAILED: " << what << "\n";
  return condition;
}

Outcome RunEngine(const std::string& name, const std::string& location, int tills, int purchases,
                  const std::string& scratch) {
  const std::vector<int64_t> opening = OpeningBalances(tills, purchases);
  CreatePool(location, opening);
  const std::string context = quorl::MakeContextString("N001", "L01", location);

  Outcome outcome;
  const auto start = std::chrono::steady_clock::now();
  std::vector<pid_t> children;
  for (int t = 0; t < tills; ++t) {
    const pid_t pid = fork();
    if (pid == 0) _exit(RunTill(t, purchases, tills, context, scratch + "/till-" + std::to_string(t)));
    if (pid < 0) {
      std::perror("fork");
      outcome.ok = false;
      break;
    }
    children.push_back(pid);
  }
  int failures = 0;
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    Check(WIFEXITED(status) && WEXITSTATUS(status) == 0, "a till process failed", failures);
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  // Every answer each till got, by purchase.
  std::map<std::string, std::vector<std::string>> answers;
  std::map<std::string, Purchase> plans;
  for (int t = 0; t < tills; ++t) {
    for (int j = 0; j < purchases; ++j) plans.emplace(Plan(t, j, tills).key, Plan(t, j, tills));
    std::ifstream in(scratch + "/till-" + std::to_string(t));
    std::string key, result;
    while (in >> key >> result) answers[key].push_back(result);
  }

  auto db = quorl::OpenDatabase(location);
  std::map<std::string, std::pair<std::string, int64_t>> charged;  // order -> card, cents
  for (const auto& row :
       db->Query("SELECT ORDER_CODE, MEMBER_CARD_NO, AMOUNT_CENTS FROM QUORL_CONSUMPTION").rows)
    charged[std::get<std::string>(row[0])] = {std::get<std::string>(row[1]), std::get<int64_t>(row[2])};

  int posted = 0, refused = 0, shared = 0;
  size_t rowsExpected = 0;
  for (const auto& [key, plan] : plans) {
    const std::vector<std::string>& got = answers[key];
    Check(got.size() == (key[0] == 'D' ? 2u : 1u), key + " answered " + std::to_string(got.size()) + " times",
          failures);
    if (got.empty()) continue;
    if (got.size() == 2) ++shared;
    for (const std::string& g : got) Check(g == got[0], key + ": tills were told different things", failures);
    Check(got[0] != "E", key + ": database error", failures);
    const bool isPosted = got[0] == "1";
    (isPosted ? posted : refused)++;
    for (const Line& l : plan.lines) {
      const auto it = charged.find(l.order);
      if (isPosted) {
        ++rowsExpected;
        Check(it != charged.end() && it->second == std::make_pair(CardNo(l.card), l.cents),
              l.order + " posted but not charged as asked", failures);
      } else {
        Check(it == charged.end(), l.order + " refused but charged", failures);
      }
    }
  }
  Check(charged.size() == rowsExpected,
        "rows charged: " + std::to_string(charged.size()) + ", expected " + std::to_string(rowsExpected),
        failures);

  std::map<std::string, int64_t> spent;
  for (const auto& [order, c] : charged) spent[c.first] += c.second;
  int dry = 0;
  for (const auto& row :
       db->Query("SELECT MEMBER_CARD_NO, BALANCE_CENTS, CONSUME_CENTS FROM QUORL_MEMBER_CARD").rows) {
    const std::string card = std::get<std::string>(row[0]);
    const int64_t balance = std::get<int64_t>(row[1]);
    const int64_t k = std::stoll(card.substr(2));
    Check(balance >= 0, card + " below zero", failures);
    Check(balance == opening[static_cast<size_t>(k)] - spent[card],
          card + ": balance does not match its charges", failures);
    Check(std::get<int64_t>(row[2]) == spent[card], card + ": total spent does not match its charges",
          failures);
    if (balance < 4500) ++dry;
  }

  const int total = tills * purchases;
  std::printf("%-10s %d purchases by %d tills in %.2f s: %.0f purchases/s\n", name.c_str(), total, tills,
              outcome.seconds, total / outcome.seconds);
  std::printf(
      "           %d orders posted, %d refused for lack of money, %d shared by two tills, "
      "%zu rows charged, %d cards run dry: %s\n",
      posted, refused, shared, charged.size(), dry, failures == 0 ? "all checks passed" : "CHECKS FAILED");
  outcome.ok = outcome.ok && failures == 0;
  return outcome;
}

}  // namespace

int main(int argc, char** argv) {
  int tills = 8, purchases = 2000;
  std::string engine = "both";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--tills") == 0)
      tills = std::atoi(argv[i + 1]);
    else if (std::strcmp(argv[i], "--purchases") == 0)
      purchases = std::atoi(argv[i + 1]);
    else if (std::strcmp(argv[i], "--engine") == 0)
      engine = argv[i + 1];
  }
  if (tills < 1 || tills > 64 || purchases < 1 || argc % 2 == 0 ||
      (engine != "both" && engine != "sqlite" && engine != "postgresql")) {
    std::cerr << "usage: host_load [--tills N] [--purchases N] [--engine sqlite|postgresql|both]\n";
    return 2;
  }

  quorl::test::TempFolder scratch;
  bool ok = true;
  try {
    if (engine != "postgresql") {
      ok = RunEngine("SQLite", scratch.File("host.db"), tills, purchases, scratch.File("")).ok && ok;
    }
    if (engine != "sqlite") {
      quorl::test::PgCluster cluster(quorl::test::PgCluster::Options{.durable = true});
      if (!cluster.ok()) {
        std::cerr << "host_load: cannot start a PostgreSQL cluster: " << cluster.error() << "\n";
        return 1;
      }
      ok = RunEngine("PostgreSQL", cluster.NewDatabase(), tills, purchases, scratch.File("")).ok && ok;
    }
  } catch (const std::exception& e) {
    std::cerr << "host_load: " << e.what() << "\n";
    return 1;
  }
  return ok ? 0 : 1;
}
