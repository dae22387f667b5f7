#include "memberdata/uMemberCardCheckTicket_KETHO.h"

#include <fstream>
#include <iterator>

#include "memberdata/XmlWellFormed.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "platform/Utf8.h"

namespace {

constexpr char16_t kDataTag[] = u"data";

// A file's text with its markup in ASCII bytes, for the well-formedness
// check: UTF-32 and UTF-16, told apart by byte-order mark or by how '<' is
// written (the order in which the parser tells them), become UTF-8; any
// other file already writes its markup in ASCII.
std::string MarkupText(const std::string& bytes) {
  const auto starts = [&bytes](std::string_view prefix) { return bytes.starts_with(prefix); };
  using namespace std::string_view_literals;
  size_t width = 0;
  bool bigEndian = false;
  if (starts("\0\0\xFE\xFF"sv) || starts("\0\0\0<"sv)) {
    width = 4;
    bigEndian = true;
  } else if (starts("\xFF\xFE\0\0"sv) || starts("<\0\0\0"sv)) {
    width = 4;
  } else if (starts("\xFE\xFF"sv) || starts("\0<"sv)) {
    width = 2;
    bigEndian = true;
  } else if (starts("\xFF\xFE"sv) || starts("<\0"sv)) {
    width = 2;
  } else {
    return bytes;
  }
  std::u16string text;
  text.reserve(bytes.size() / width);
  for (size_t i = 0; i + width <= bytes.size(); i += width) {
    uint32_t unit = 0;
    for (size_t k = 0; k < width; ++k) {
      const auto byte = static_cast<unsigned char>(bytes[i + (bigEndian ? k : width - 1 - k)]);
      unit = unit << 8 | byte;
    }
    quorl::AppendUtf16(text, unit > 0x10FFFF ? quorl::kReplacementChar : unit);
  }
  return quorl::Utf16ToUtf8(text);
}

}  // namespace

TXMLDataType::TXMLDataType() {
  RegisterChildNode("dataitem", &quorl::NodeClassOf<TXMLDataitemType>);
  RegisterChildNode("book", &quorl::NodeClassOf<TXMLBookType>);
}

void* TXMLDataType::GetInterface(const TGUID& iid) {
  if (iid == IXMLDataType::IID) return static_cast<IXMLDataType*>(this);
  return TXMLNode::GetInterface(iid);
}

quorl::IntfPtr<IXMLDataitemType> TXMLDataType::Get_Dataitem() {
  return quorl::As<IXMLDataitemType>(ChildNodes(u"dataitem").get());
}

quorl::IntfPtr<IXMLBookType> TXMLDataType::Get_Book() {
  return quorl::As<IXMLBookType>(ChildNodes(u"book").get());
}

void* TXMLDataitemType::GetInterface(const TGUID& iid) {
  if (iid == IXMLDataitemType::IID) return static_cast<IXMLDataitemType*>(this);
  return TXMLNode::GetInterface(iid);
}

std::u16string TXMLDataitemType::Get_MemberID() { return GetAttribute(u"memberID"); }
std::u16string TXMLDataitemType::Get_MemberNum() { return GetAttribute(u"memberNum"); }
std::u16string TXMLDataitemType::Get_MemberValid() { return GetAttribute(u"memberValid"); }
std::u16string TXMLDataitemType::Get_MemberName() { return GetAttribute(u"memberName"); }
std::u16string TXMLDataitemType::Get_MemberType() { return GetAttribute(u"memberType"); }
std::u16string TXMLDataitemType::Get_CertificateType() { return GetAttribute(u"certificateType"); }
std::u16string TXMLDataitemType::Get_CertificateNum() { return GetAttribute(u"certificateNum"); }
std::u16string TXMLDataitemType::Get_PhoneNum() { return GetAttribute(u"phoneNum"); }
std::u16string TXMLDataitemType::Get_MobileNum() { return GetAttribute(u"mobileNum"); }
std::u16string TXMLDataitemType::Get_SAddress() { return GetAttribute(u"sAddress"); }
std::u16string TXMLDataitemType::Get_SEmail() { return GetAttribute(u"sEmail"); }
std::u16string TXMLDataitemType::Get_memberBalance() { return GetAttribute(u"memberBalance"); }
std::u16string TXMLDataitemType::Get_SurplusCount() { return GetAttribute(u"surplusCount"); }
std::u16string TXMLDataitemType::Get_iEntryNumber() { return GetAttribute(u"iEntryNumber"); }
std::u16string TXMLDataitemType::Get_SImageType() { return GetAttribute(u"sImageType"); }
std::u16string TXMLDataitemType::Get_Base64Image() { return GetAttribute(u"Base64Image"); }

void TXMLDataitemType::Set_MemberID(const std::u16string& Value) { SetAttribute(u"memberID", Value); }
void TXMLDataitemType::Set_MemberNum(const std::u16string& Value) { SetAttribute(u"memberNum", Value); }
void TXMLDataitemType::Set_MemberValid(const std::u16string& Value) { SetAttribute(u"memberValid", Value); }
void TXMLDataitemType::Set_MemberName(const std::u16string& Value) { SetAttribute(u"memberName", Value); }
void TXMLDataitemType::Set_MemberType(const std::u16string& Value) { SetAttribute(u"memberType", Value); }
void TXMLDataitemType::Set_CertificateType(const std::u16string& Value) {
  SetAttribute(u"certificateType", Value);
}
void TXMLDataitemType::Set_CertificateNum(const std::u16string& Value) {
  SetAttribute(u"certificateNum", Value);
}
void TXMLDataitemType::Set_PhoneNum(const std::u16string& Value) { SetAttribute(u"phoneNum", Value); }
void TXMLDataitemType::Set_MobileNum(const std::u16string& Value) { SetAttribute(u"mobileNum", Value); }
void TXMLDataitemType::Set_SAddress(const std::u16string& Value) { SetAttribute(u"sAddress", Value); }
void TXMLDataitemType::Set_SEmail(const std::u16string& Value) { SetAttribute(u"sEmail", Value); }
void TXMLDataitemType::Set_memberBalance(const std::u16string& Value) {
  SetAttribute(u"memberBalance", Value);
}
void TXMLDataitemType::Set_SurplusCount(const std::u16string& Value) { SetAttribute(u"surplusCount", Value); }
void TXMLDataitemType::Set_iEntryNumber(const std::u16string& Value) { SetAttribute(u"iEntryNumber", Value); }
void TXMLDataitemType::Set_SImageType(const std::u16string& Value) { SetAttribute(u"sImageType", Value); }
void TXMLDataitemType::Set_Base64Image(const std::u16string& Value) { SetAttribute(u"Base64Image", Value); }

void* TXMLBookType::GetInterface(const TGUID& iid) {
  if (iid == IXMLBookType::IID) return static_cast<IXMLBookType*>(this);
  return TXMLNode::GetInterface(iid);
}

std::u16string TXMLBookType::Get_Activity_name() { return ChildNodes(u"activity_name")->Text(); }
std::u16string TXMLBookType::Get_Date_start() { return ChildNodes(u"date_start")->Text(); }
std::u16string TXMLBookType::Get_Status() { return ChildNodes(u"status")->Text(); }
std::u16string TXMLBookType::Get_Date_check() { return ChildNodes(u"date_check")->Text(); }

void TXMLBookType::Set_Activity_name(const std::u16string& Value) {
  ChildNodes(u"activity_name")->SetText(Value);
}
void TXMLBookType::Set_Date_start(const std::u16string& Value) { ChildNodes(u"date_start")->SetText(Value); }
void TXMLBookType::Set_Status(const std::u16string& Value) { ChildNodes(u"status")->SetText(Value); }
void TXMLBookType::Set_Date_check(const std::u16string& Value) { ChildNodes(u"date_check")->SetText(Value); }

quorl::IntfPtr<IXMLDataType> Getdata(const quorl::IntfPtr<IXMLDocument>& Doc) {
  if (!Doc) throw EXMLDocError("No XML document given");
  return quorl::As<IXMLDataType>(Doc->GetDocBinding(kDataTag, &quorl::NodeClassOf<TXMLDataType>).get());
}

quorl::IntfPtr<IXMLDataType> Loaddata(const std::u16string& FileName) {
  // The platform reads the file first, so a missing file or a text it cannot
  // parse keeps the platform's own error; the check then reads it again.
  quorl::IntfPtr<IXMLDocument> doc = quorl::LoadXmlDocument(FileName);
  const std::string path = quorl::Utf16ToUtf8(FileName);
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.is_open() || in.bad()) throw EFOpenError("Cannot read file \"" + quorl::Utf8ToGbk(path) + "\"");
  quorl::CheckWellFormedXml(MarkupText(bytes));
  return Getdata(doc);
}

quorl::IntfPtr<IXMLDataType> Newdata() {
  quorl::IntfPtr<IXMLDocument> doc = quorl::NewXmlDocument();
  doc->SetVersion(u"1.0");
  return Getdata(doc);
}

quorl::IntfPtr<IXMLDataType> LoadDataFromXML(const std::u16string& XMLData) {
  quorl::IntfPtr<IXMLDocument> doc = quorl::LoadXmlData(XMLData);
  quorl::CheckWellFormedXml(quorl::Utf16ToUtf8(XMLData));
  return Getdata(doc);
}
