// Typed view of the check-ticket document that the web service's
// getSurplus, getSurplusByImage and getMemberInfo answer with:
//
//   <data>
//     <dataitem memberID=".." memberNum=".." ... Base64Image=".."/>
//     <book><activity_name/><date_start/><status/><date_check/></book>
//   </data>
//
// Every property is UTF-16 text, neither converted nor checked. A "dataitem"
// property reads/writes the attribute of that exact name; a "book" property
// reads/writes the text of the child element of that name. Reading never
// changes the document: an absent attribute, element, "dataitem" or "book"
// reads as empty text. Writing creates what is missing ("dataitem", "book",
// the attribute or element).
//
// The returned views keep their document alive. Errors: EXMLDocError for
// text that does not parse or is not well-formed (XmlWellFormed.h), and for
// a document element not named "data";
// EFOpenError for a file that cannot be read.
#pragma once

#include <string>

#include "core/PackageExport.h"
#include "platform/XmlNode.h"

struct IXMLDataitemType;
struct IXMLBookType;

struct QUORL_PACKAGE_API IXMLDataType : virtual IXMLNode {
  static constexpr TGUID IID = TGUID::Parse("{6B00E90C-ED36-4ECE-AA07-D05DDF3A9CEF}");
  virtual quorl::IntfPtr<IXMLDataitemType> Get_Dataitem() = 0;
  virtual quorl::IntfPtr<IXMLBookType> Get_Book() = 0;
};

struct QUORL_PACKAGE_API IXMLDataitemType : virtual IXMLNode {
  static constexpr TGUID IID = TGUID::Parse("{03CC92B8-B8D5-4B31-A390-C6E485388D20}");
  virtual std::u16string Get_MemberID() = 0;
  virtual std::u16string Get_MemberNum() = 0;
  virtual std::u16string Get_MemberValid() = 0;
  virtual std::u16string Get_MemberName() = 0;
  virtual std::u16string Get_MemberType() = 0;
  virtual std::u16string Get_CertificateType() = 0;
  virtual std::u16string Get_CertificateNum() = 0;
  virtual std::u16string Get_PhoneNum() = 0;
  virtual std::u16string Get_MobileNum() = 0;
  virtual std::u16string Get_SAddress() = 0;
  virtual std::u16string Get_SEmail() = 0;
  virtual std::u16string Get_memberBalance() = 0;
  virtual std::u16string Get_SurplusCount() = 0;
  virtual std::u16string Get_iEntryNumber() = 0;
  virtual std::u16string Get_SImageType() = 0;
  virtual std::u16string Get_Base64Image() = 0;
  virtual void Set_MemberID(const std::u16string& Value) = 0;
  virtual void Set_MemberNum(const std::u16string& Value) = 0;
  virtual void Set_MemberValid(const std::u16string& Value) = 0;
  virtual void Set_MemberName(const std::u16string& Value) = 0;
  virtual void Set_MemberType(const std::u16string& Value) = 0;
  virtual void Set_CertificateType(const std::u16string& Value) = 0;
  virtual void Set_CertificateNum(const std::u16string& Value) = 0;
  virtual void Set_PhoneNum(const std::u16string& Value) = 0;
  virtual void Set_MobileNum(const std::u16string& Value) = 0;
  virtual void Set_SAddress(const std::u16string& Value) = 0;
  virtual void Set_SEmail(const std::u16string& Value) = 0;
  virtual void Set_memberBalance(const std::u16string& Value) = 0;
  virtual void Set_SurplusCount(const std::u16string& Value) = 0;
  virtual void Set_iEntryNumber(const std::u16string& Value) = 0;
  virtual void Set_SImageType(const std::u16string& Value) = 0;
  virtual void Set_Base64Image(const std::u16string& Value) = 0;
};

struct QUORL_PACKAGE_API IXMLBookType : virtual IXMLNode {
  static constexpr TGUID IID = TGUID::Parse("{96B96089-9B73-41F3-B219-24D8AB732599}");
  virtual std::u16string Get_Activity_name() = 0;
  virtual std::u16string Get_Date_start() = 0;
  virtual std::u16string Get_Status() = 0;
  virtual std::u16string Get_Date_check() = 0;
  virtual void Set_Activity_name(const std::u16string& Value) = 0;
  virtual void Set_Date_start(const std::u16string& Value) = 0;
  virtual void Set_Status(const std::u16string& Value) = 0;
  virtual void Set_Date_check(const std::u16string& Value) = 0;
};

// Binds "data": its "dataitem" and "book" children are typed by the classes below.
class QUORL_PACKAGE_API TXMLDataType : public TXMLNode, public IXMLDataType {
 public:
  TXMLDataType();
  HRESULT QueryInterface(const TGUID& iid, void** obj) override { return TXMLNode::QueryInterface(iid, obj); }
  int32_t AddRef() override { return TXMLNode::AddRef(); }
  int32_t Release() override { return TXMLNode::Release(); }

  quorl::IntfPtr<IXMLDataitemType> Get_Dataitem() override;
  quorl::IntfPtr<IXMLBookType> Get_Book() override;

 protected:
  void* GetInterface(const TGUID& iid) override;
};

class QUORL_PACKAGE_API TXMLDataitemType : public TXMLNode, public IXMLDataitemType {
 public:
  HRESULT QueryInterface(const TGUID& iid, void** obj) override { return TXMLNode::QueryInterface(iid, obj); }
  int32_t AddRef() override { return TXMLNode::AddRef(); }
  int32_t Release() override { return TXMLNode::Release(); }

  std::u16string Get_MemberID() override;
  std::u16string Get_MemberNum() override;
  std::u16string Get_MemberValid() override;
  std::u16string Get_MemberName() override;
  std::u16string Get_MemberType() override;
  std::u16string Get_CertificateType() override;
  std::u16string Get_CertificateNum() override;
  std::u16string Get_PhoneNum() override;
  std::u16string Get_MobileNum() override;
  std::u16string Get_SAddress() override;
  std::u16string Get_SEmail() override;
  std::u16string Get_memberBalance() override;
  std::u16string Get_SurplusCount() override;
  std::u16string Get_iEntryNumber() override;
  std::u16string Get_SImageType() override;
  std::u16string Get_Base64Image() override;
  void Set_MemberID(const std::u16string& Value) override;
  void Set_MemberNum(const std::u16string& Value) override;
  void Set_MemberValid(const std::u16string& Value) override;
  void Set_MemberName(const std::u16string& Value) override;
  void Set_MemberType(const std::u16string& Value) override;
  void Set_CertificateType(const std::u16string& Value) override;
  void Set_CertificateNum(const std::u16string& Value) override;
  void Set_PhoneNum(const std::u16string& Value) override;
  void Set_MobileNum(const std::u16string& Value) override;
  void Set_SAddress(const std::u16string& Value) override;
  void Set_SEmail(const std::u16string& Value) override;
  void Set_memberBalance(const std::u16string& Value) override;
  void Set_SurplusCount(const std::u16string& Value) override;
  void Set_iEntryNumber(const std::u16string& Value) override;
  void Set_SImageType(const std::u16string& Value) override;
  void Set_Base64Image(const std::u16string& Value) override;

 protected:
  void* GetInterface(const TGUID& iid) override;
};

class QUORL_PACKAGE_API TXMLBookType : public TXMLNode, public IXMLBookType {
 public:
  HRESULT QueryInterface(const TGUID& iid, void** obj) override { return TXMLNode::QueryInterface(iid, obj); }
  int32_t AddRef() override { return TXMLNode::AddRef(); }
  int32_t Release() override { return TXMLNode::Release(); }

  std::u16string Get_Activity_name() override;
  std::u16string Get_Date_start() override;
  std::u16string Get_Status() override;
  std::u16string Get_Date_check() override;
  void Set_Activity_name(const std::u16string& Value) override;
  void Set_Date_start(const std::u16string& Value) override;
  void Set_Status(const std::u16string& Value) override;
  void Set_Date_check(const std::u16string& Value) override;

 protected:
  void* GetInterface(const TGUID& iid) override;
};

// The view of "data" in doc; a document without element gets "data".
QUORL_PACKAGE_API quorl::IntfPtr<IXMLDataType> Getdata(const quorl::IntfPtr<IXMLDocument>& Doc);
// The view of "data" of the document read from a file.
QUORL_PACKAGE_API quorl::IntfPtr<IXMLDataType> Loaddata(const std::u16string& FileName);
// A new document with XML version "1.0" and an empty element "data".
QUORL_PACKAGE_API quorl::IntfPtr<IXMLDataType> Newdata();
// The view of "data" of the document parsed from XMLData.
QUORL_PACKAGE_API quorl::IntfPtr<IXMLDataType> LoadDataFromXML(const std::u16string& XMLData);
