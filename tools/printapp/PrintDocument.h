// The consumption print document (doc/print-document.md) as the print
// application reads it.
//
// ParsePrintDocument takes the file's bytes (code page 936), converts them to
// UTF-8 once (bytes that are not GBK become '?') and returns every value as
// UTF-8 text, unchanged. Values are found by name, so a document cut short
// after a failure still reads: what is missing stays empty. Errors
// (not well-formed, a DOCTYPE, another document element, too large) throw
// PrintDocumentError with a one-line message.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quorl::printapp {

// Print.xml is a few kilobytes; anything past this is not one of ours.
inline constexpr std::size_t kMaxPrintDocumentBytes = 4 * 1024 * 1024;

class PrintDocumentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ConsumeLine {
  std::string CL_PriceLevel;
  std::string CL_WarePrice;
  std::string CL_WareNum;
  std::string CL_CostSum;
};

struct PrintDocument {
  std::string MC_Time;
  std::string MC_PriceSum;
  std::string MC_CostType;
  std::string MC_Cost;
  std::string MC_MemberID;
  std::string MC_Discount;
  std::string MC_bPost;
  std::string MC_Address;
  std::string MC_UserName;
  std::string MC_PhoneNumber;
  std::string MC_PostMemo;
  std::string MC_Creater;
  std::string MC_WareCode;
  std::string MC_WareName;
  std::string MC_WareTime;
  std::string MC_PlaceName;
  std::string MC_OrderCode;
  std::string MC_OrderSource;
  std::string MC_SaleClassName;
  std::string MC_InvoiceHead;
  std::string MC_Isonecard;
  std::string MC_Group;
  std::string MC_ProduceGroup;
  std::vector<ConsumeLine> Consume;  // in document order
};

PrintDocument ParsePrintDocument(std::string_view gbkBytes);

// Reads and parses the file. A missing, unreadable or oversized file, or one
// that is not a regular file, throws PrintDocumentError naming the path.
PrintDocument ReadPrintDocument(const std::string& path);

}  // namespace quorl::printapp
