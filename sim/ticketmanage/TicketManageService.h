// The simulated TicketManage service: the eleven operations on the
// simulator's database. Texts in and out are UTF-8; the SOAP layer around it
// is SoapEndpoint.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/ticketmanage/SimDatabase.h"

namespace quorl::sim {

// An error the caller made (unknown operation, bad argument): answered as a
// SOAP fault with faultcode Client.
class ClientFault : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct OperationInfo {
  std::string name;
  std::vector<std::string> params;
  bool intResult = false;
};

// The port type as this service publishes it, in slot order.
const std::vector<OperationInfo>& TicketManageOperations();
const OperationInfo* FindOperation(const std::string& name);

struct OperationResult {
  bool isInt = false;
  int32_t number = 0;
  std::string text;  // UTF-8
};

class TicketManageService {
 public:
  explicit TicketManageService(DatabaseConnection& db) : db_(db) {}

  // Runs operation with its parts by name (a missing part reads as empty).
  // Throws ClientFault for an unknown operation or unusable argument and
  // EDatabaseError when the database fails.
  OperationResult Call(const std::string& operation, const std::map<std::string, std::string>& parts);

  // Money as the service writes it: cents to "12.50".
  static std::string FormatCents(int64_t cents);
  // "12", "12.5", "12.50" to cents; false for negative, malformed or more
  // than two decimals.
  static bool ParseCents(const std::string& text, int64_t& cents);
  // A date or date-time ("2024-01-31", "2024/01/31 10:00", "2024-01-31T10:00:05")
  // as "YYYY-MM-DD HH:MM:SS"; a date alone takes endOfDay's time. Empty when
  // the text is not such a date.
  static std::string NormalizeTime(const std::string& text, bool endOfDay);

 private:
  std::string MemberInfo(const std::map<std::string, std::string>& p, bool withGroup);
  std::string CheckTicket(const std::string& memberNum, bool withImage);
  std::string TokenUserInfo(const std::string& token);
  std::string ValidMember(const std::map<std::string, std::string>& p);
  std::string SyncOrderData(const std::string& document);
  int32_t ComsumeInfoPost(const std::string& document);
  int32_t CheckConsumeMoney(const std::map<std::string, std::string>& p);
  std::string BalancerReport(const std::map<std::string, std::string>& p);
  std::string MemberDocument(const QueryResult& rows);

  DatabaseConnection& db_;
};

}  // namespace quorl::sim
