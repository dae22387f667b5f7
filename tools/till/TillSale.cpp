#include "tools/till/TillSale.h"

#include <cstdio>

namespace quorl::till {

std::optional<Cents> ParseCents(const std::string& text) {
  Cents whole = 0;
  size_t i = 0;
  size_t wholeDigits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++wholeDigits) {
    if (wholeDigits == 9) return std::nullopt;
    whole = whole * 10 + (text[i] - '0');
  }
  if (wholeDigits == 0) return std::nullopt;
  Cents fraction = 0;
  if (i < text.size()) {
    if (text[i] != '.') return std::nullopt;
    ++i;
    int digits = 0;
    for (; i < text.size(); ++i, ++digits) {
      if (text[i] < '0' || text[i] > '9' || digits == 2) return std::nullopt;
      fraction = fraction * 10 + (text[i] - '0');
    }
    if (digits == 1) fraction *= 10;
  }
  return whole * 100 + fraction;
}

std::string FormatCents(Cents cents) {
  const bool negative = cents < 0;
  const Cents magnitude = negative ? -cents : cents;
  char text[32];
  std::snprintf(text, sizeof text, "%s%lld.%02lld", negative ? "-" : "",
                static_cast<long long>(magnitude / 100), static_cast<long long>(magnitude % 100));
  return text;
}

Cents SaleTotal(const std::vector<SaleLine>& lines) {
  Cents sum = 0;
  for (const SaleLine& l : lines) sum += l.Total();
  return sum;
}

std::string OrderCode(const std::string& prefix, const std::string& yyyymmdd, int number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%04d", number);
  return prefix + "-" + yyyymmdd + "-" + digits;
}

std::vector<std::string> PlatformLines(const std::string& cardNo, const std::string& orderCode, Cents amount,
                                       const std::string& operatorCode) {
  return {"sbs_id=",
          "store_id=",
          "card_no=" + cardNo,
          "order_no=" + orderCode,
          "money=" + FormatCents(amount),
          "emp_no=" + operatorCode};
}

}  // namespace quorl::till
