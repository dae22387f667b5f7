#include "tools/printapp/PrintDocument.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <pugixml.hpp>

#include "platform/CodePage.h"

namespace quorl::printapp {
namespace {

struct NamedValue {
  const char* name;
  std::string PrintDocument::*field;
};

constexpr NamedValue kValues[] = {
    {"MC_Time", &PrintDocument::MC_Time},
    {"MC_PriceSum", &PrintDocument::MC_PriceSum},
    {"MC_CostType", &PrintDocument::MC_CostType},
    {"MC_Cost", &PrintDocument::MC_Cost},
    {"MC_MemberID", &PrintDocument::MC_MemberID},
    {"MC_Discount", &PrintDocument::MC_Discount},
    {"MC_bPost", &PrintDocument::MC_bPost},
    {"MC_Address", &PrintDocument::MC_Address},
    {"MC_UserName", &PrintDocument::MC_UserName},
    {"MC_PhoneNumber", &PrintDocument::MC_PhoneNumber},
    {"MC_PostMemo", &PrintDocument::MC_PostMemo},
    {"MC_Creater", &PrintDocument::MC_Creater},
    {"MC_WareCode", &PrintDocument::MC_WareCode},
    {"MC_WareName", &PrintDocument::MC_WareName},
    {"MC_WareTime", &PrintDocument::MC_WareTime},
    {"MC_PlaceName", &PrintDocument::MC_PlaceName},
    {"MC_OrderCode", &PrintDocument::MC_OrderCode},
    {"MC_OrderSource", &PrintDocument::MC_OrderSource},
    {"MC_SaleClassName", &PrintDocument::MC_SaleClassName},
    {"MC_InvoiceHead", &PrintDocument::MC_InvoiceHead},
    {"MC_Isonecard", &PrintDocument::MC_Isonecard},
    {"MC_Group", &PrintDocument::MC_Group},
    {"MC_ProduceGroup", &PrintDocument::MC_ProduceGroup},
};

std::string Value(const pugi::xml_node& parent, const char* name) { return parent.child(name).text().get(); }

}  // namespace

PrintDocument ParsePrintDocument(std::string_view gbkBytes) {
  if (gbkBytes.size() > kMaxPrintDocumentBytes)
    throw PrintDocumentError("larger than " + std::to_string(kMaxPrintDocumentBytes) + " bytes");

  // The declaration names GB2312, but the writer's code page is GBK: decode
  // as GBK ourselves and hand pugixml UTF-8, ignoring the declared name.
  const std::string utf8 = GbkToUtf8(gbkBytes);
  pugi::xml_document xml;
  const pugi::xml_parse_result parsed = xml.load_buffer(
      utf8.data(), utf8.size(), pugi::parse_default | pugi::parse_doctype, pugi::encoding_utf8);
  if (!parsed) {
    const auto offset =
        std::min(static_cast<std::size_t>(std::max<std::ptrdiff_t>(parsed.offset, 0)), utf8.size());
    const auto line = 1 + std::count(utf8.begin(), utf8.begin() + static_cast<std::ptrdiff_t>(offset), '\n');
    throw PrintDocumentError(std::string("not well-formed XML (") + parsed.description() + ") at line " +
                             std::to_string(line));
  }
  for (const pugi::xml_node& node : xml.children())
    if (node.type() == pugi::node_doctype) throw PrintDocumentError("a DOCTYPE is not accepted");

  const pugi::xml_node root = xml.document_element();
  if (std::strcmp(root.name(), "MemberConsume") != 0)
    throw PrintDocumentError(std::string("document element is <") + root.name() +
                             ">, expected <MemberConsume>");

  PrintDocument doc;
  for (const NamedValue& v : kValues) doc.*v.field = Value(root, v.name);
  for (const pugi::xml_node& line : root.children("Consume")) {
    doc.Consume.push_back({Value(line, "CL_PriceLevel"), Value(line, "CL_WarePrice"),
                           Value(line, "CL_WareNum"), Value(line, "CL_CostSum")});
  }
  return doc;
}

PrintDocument ReadPrintDocument(const std::string& path) {
  // Non-blocking open: a FIFO or device left under the name must not stall us.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) throw PrintDocumentError(path + ": " + std::strerror(errno));
  std::string data;
  std::string error;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    error = "not a regular file";
  } else {
    char chunk[65536];
    // Read one byte past the limit so a file that grew after fstat is caught.
    while (data.size() <= kMaxPrintDocumentBytes) {
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        error = std::strerror(errno);
        break;
      }
      if (n == 0) break;
      data.append(chunk, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  if (!error.empty()) throw PrintDocumentError(path + ": " + error);
  try {
    return ParsePrintDocument(data);
  } catch (const PrintDocumentError& e) {
    throw PrintDocumentError(path + ": " + e.what());
  }
}

}  // namespace quorl::printapp
