// The consumption document of TMemberUserInfoXmlDM_ZEL: the text posted to
// the web service and the print file the print application reads.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "memberdata/uMemberUserInfoXmlDM_ZEL.h"
#include "platform/Application.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace {

const char kPrintFolder[] = "MemberPrint_vrisk/";
const char kPrintFile[] = "Print.xml";

struct NamedValue {
  const char* name;
  std::string TMemberInfoRecord_VRISK::*field;
};

// Document order; MC_CostType comes before MC_Cost although the record
// declares them the other way round.
constexpr NamedValue kConsumeValues[] = {
    {"MC_Time", &TMemberInfoRecord_VRISK::MC_Time},
    {"MC_PriceSum", &TMemberInfoRecord_VRISK::MC_PriceSum},
    {"MC_CostType", &TMemberInfoRecord_VRISK::MC_CostType},
    {"MC_Cost", &TMemberInfoRecord_VRISK::MC_Cost},
    {"MC_MemberID", &TMemberInfoRecord_VRISK::MC_MemberID},
    {"MC_Discount", &TMemberInfoRecord_VRISK::MC_Discount},
    {"MC_bPost", &TMemberInfoRecord_VRISK::MC_bPost},
    {"MC_Address", &TMemberInfoRecord_VRISK::MC_Address},
    {"MC_UserName", &TMemberInfoRecord_VRISK::MC_UserName},
    {"MC_PhoneNumber", &TMemberInfoRecord_VRISK::MC_PhoneNumber},
    {"MC_PostMemo", &TMemberInfoRecord_VRISK::MC_PostMemo},
    {"MC_Creater", &TMemberInfoRecord_VRISK::MC_Creater},
    {"MC_WareCode", &TMemberInfoRecord_VRISK::MC_WareCode},
    {"MC_WareName", &TMemberInfoRecord_VRISK::MC_WareName},
    {"MC_WareTime", &TMemberInfoRecord_VRISK::MC_WareTime},
    {"MC_PlaceName", &TMemberInfoRecord_VRISK::MC_PlaceName},
    {"MC_OrderCode", &TMemberInfoRecord_VRISK::MC_OrderCode},
    {"MC_OrderSource", &TMemberInfoRecord_VRISK::MC_OrderSource},
    {"MC_SaleClassName", &TMemberInfoRecord_VRISK::MC_SaleClassName},
    {"MC_InvoiceHead", &TMemberInfoRecord_VRISK::MC_InvoiceHead},
    {"MC_Isonecard", &TMemberInfoRecord_VRISK::MC_Isonecard},
    {"MC_Group", &TMemberInfoRecord_VRISK::MC_Group},
    {"MC_ProduceGroup", &TMemberInfoRecord_VRISK::MC_ProduceGroup},
};

struct TicketValue {
  const char* name;
  std::string TTicketInfoRecord_VRISK::*field;
};

constexpr TicketValue kTicketValues[] = {
    {"CL_PriceLevel", &TTicketInfoRecord_VRISK::CL_PriceLevel},
    {"CL_WarePrice", &TTicketInfoRecord_VRISK::CL_WarePrice},
    {"CL_WareNum", &TTicketInfoRecord_VRISK::CL_WareNum},
    {"CL_CostSum", &TTicketInfoRecord_VRISK::CL_CostSum},
};

// The C0 controls other than tab, line feed and carriage return cannot be
// carried by XML 1.0 at all, not even as references, and one of them makes
// the document ill-formed for both readers; they are dropped. GBK trail bytes
// are never below 0x40, so such a byte is always a character of its own.
std::string WithoutForbiddenControls(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (const char ch : value) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') out.push_back(ch);
  }
  return out;
}

// One named value: a child element whose text is the value, written also
// when empty so the reader always finds every name.
void WriteValue(pugi::xml_node parent, const char* name, const std::string& value) {
  parent.append_child(name).text().set(WithoutForbiddenControls(value).c_str());
}

void SetDeclaredEncoding(pugi::xml_document& document, const char* encoding) {
  pugi::xml_node decl = document.first_child();
  if (decl.type() != pugi::node_declaration) {
    decl = document.prepend_child(pugi::node_declaration);
  }
  if (!decl.attribute("version")) decl.prepend_attribute("version") = "1.0";
  pugi::xml_attribute enc = decl.attribute("encoding");
  if (!enc) enc = decl.insert_attribute_after("encoding", decl.attribute("version"));
  enc = encoding;
}

// pugixml writes a carriage return in text as it is, and a reader's line-end
// handling would turn it into a line feed; a reference comes back as itself.
// The markup's own line ends are LF and the library escapes attribute values
// itself, so every raw CR reaching this writer belongs to a value.
struct StringWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, size_t size) override {
    std::string_view rest(static_cast<const char*>(data), size);
    for (size_t cr; (cr = rest.find('\r')) != std::string_view::npos; rest.remove_prefix(cr + 1)) {
      out.append(rest.substr(0, cr));
      out.append("&#13;");
    }
    out.append(rest);
  }
};

// The texts are host (GBK) bytes already; writing them as "UTF-8" passes
// them through untouched, so the result is GBK markup.
std::string SerializeGbk(const pugi::xml_document& document) {
  StringWriter w;
  document.save(w, "  ", pugi::format_indent | pugi::format_no_declaration, pugi::encoding_utf8);
  return std::move(w.out);
}

[[noreturn]] void ThrowFileError(const std::string& what, const std::string& path, int err) {
  throw EFOpenError(what + " \"" + path + "\": " + std::strerror(err));
}

// Writes a temporary file beside the target and renames it over the target,
// so the print application never reads a half-written document.
void ReplaceFileAtomically(const std::string& folder, const std::string& path, const std::string& bytes) {
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    throw EFOpenError("Cannot create file \"" + path + "\": the print folder \"" + folder +
                      "\" does not exist");
  }
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) ThrowFileError("Cannot create file", path, errno);
  int err = 0;
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0 && err == 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno != EINTR) err = errno;
      continue;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  // mkstemp creates the file private; the print application may run under
  // another account, so it gets the usual permissions of a document.
  if (err == 0 && ::fchmod(fd, 0644) != 0) err = errno;
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(temp.c_str());
    ThrowFileError("Cannot write file", path, err);
  }
  // Makes the rename itself durable; a failure here loses nothing written.
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

}  // namespace

void TMemberUserInfoXmlDM_ZEL::GetNativeXmlFromList(const TMemberInfoRecord_VRISK& record,
                                                    pugi::xml_document& document) {
  SetDeclaredEncoding(document, "UTF-8");
  pugi::xml_node root = document.document_element();
  if (root) {
    root.set_name("MemberConsume");
  } else {
    root = document.append_child("MemberConsume");
  }
  for (const NamedValue& v : kConsumeValues) WriteValue(root, v.name, record.*(v.field));

  if (record.Tickets == nullptr) throw Exception("The consumption record has no ticket list");
  const TTicketInfoRecordList_VRISK& tickets = *record.Tickets;
  for (int i = 0; i < tickets.Count(); ++i) {
    const TTicketInfoRecord_VRISK* ticket = tickets.GetItems(i);
    if (ticket == nullptr)
      throw Exception("Ticket line " + std::to_string(i) + " of the consumption record is empty");
    pugi::xml_node consume = root.append_child("Consume");
    for (const TicketValue& v : kTicketValues) WriteValue(consume, v.name, ticket->*(v.field));
  }
}

std::u16string TMemberUserInfoXmlDM_ZEL::SaveToXmlString(const TMemberInfoRecord_VRISK& record) {
  pugi::xml_document document;
  std::u16string text;
  std::exception_ptr buildError;
  try {
    GetNativeXmlFromList(record, document);
    text = quorl::GbkToUtf16(SerializeGbk(document));
  } catch (...) {
    buildError = std::current_exception();
  }
  // The print file is written whatever happened above, with what was built.
  SetDeclaredEncoding(document, "GB2312");
  const std::string folder = quorl::ApplicationDirectory() + kPrintFolder;
  try {
    ReplaceFileAtomically(folder, folder + kPrintFile, SerializeGbk(document));
  } catch (...) {
    // The build error, when there is one, is the cause worth reporting.
    if (!buildError) throw;
  }
  if (buildError) std::rethrow_exception(buildError);
  return text;
}

namespace quorl {

void WithdrawPrintDocument() {
  const std::string path = ApplicationDirectory() + kPrintFolder + kPrintFile;
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) ThrowFileError("Cannot remove file", path, errno);
}

}  // namespace quorl
