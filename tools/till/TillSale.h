// The sale the till builds before it posts: ticket lines in whole cents, the
// order numbering, and the texts the three back ends are sent. Kept apart
// from the window so the arithmetic is tested without one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorl::till {

// Money is counted in cents: a sum of decimal prices in double would drift.
using Cents = int64_t;

// "12", "12.5", "12.50" (a '.' and at most two decimals, no sign, at most
// nine whole digits) as cents; nullopt for anything else.
std::optional<Cents> ParseCents(const std::string& text);
// Cents as "12.50".
std::string FormatCents(Cents cents);

struct SaleLine {
  std::string priceLevel;  // UTF-8
  Cents unitPrice = 0;
  int quantity = 0;
  Cents Total() const { return unitPrice * quantity; }
};

Cents SaleTotal(const std::vector<SaleLine>& lines);

// The till's order code: PREFIX-YYYYMMDD-NNNN, the number counting up per
// till (kept in the settings file) and padded to four digits.
std::string OrderCode(const std::string& prefix, const std::string& yyyymmdd, int number);

// The form lines of a platform posting: the first two are placeholders the
// agent overwrites with the merchant and the store.
std::vector<std::string> PlatformLines(const std::string& cardNo, const std::string& orderCode, Cents amount,
                                       const std::string& operatorCode);

}  // namespace quorl::till
