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

/// The "data" element: the document element of the check-ticket document.
struct QUORL_PACKAGE_API IXMLDataType : virtual IXMLNode {
  /// interface identifier
  static constexpr TGUID IID = TGUID::Parse("{6B00E90C-ED36-4ECE-AA07-D05DDF3A9CEF}");
  /// The "dataitem" child; a pending one (read as empty) when absent.
  virtual quorl::IntfPtr<IXMLDataitemType> Get_Dataitem() = 0;
  /// The "book" child; a pending one (read as empty) when absent.
  virtual quorl::IntfPtr<IXMLBookType> Get_Book() = 0;
};

/// The "dataitem" element: one member's values as attributes.
struct QUORL_PACKAGE_API IXMLDataitemType : virtual IXMLNode {
  /// interface identifier
  static constexpr TGUID IID = TGUID::Parse("{03CC92B8-B8D5-4B31-A390-C6E485388D20}");
  /// Reads MemberID: the "dataitem" attribute of that name; empty when absent.
  virtual std::u16string Get_MemberID() = 0;
  /// Reads MemberNum: the "dataitem" attribute of that name; empty when absent.
  virtual std::u16string Get_MemberNum() = 0;
  /// Reads MemberValid: the "dataitem" attribute of that name; empty when absent.
  virtual std::u16string Get_MemberValid() = 0;
  /// Reads MemberName: the "dataitem" attribute of that name; empty when absent.
  virtual std::u16string Get_MemberName() = 0;
  /// Reads MemberType: the "dataitem" attribute of that name; empty when absent.
  virtual std::u16string Get_MemberType() = 0;
  /// Reads CertificateType: the "dataitem" attribute of that name; empty when absent.
  virtual std::u16string Get_CertificateType() = 0;
  /// Reads CertificateNum: the "dataitem" attribute of that name; empty when absent.
  virtual std::u16string Get_CertificateNum() = 0;
  /// Reads PhoneNum: the "dataitem" attribute of that name; empty when absent.
  virtual std::u16string Get_PhoneNum() = 0;
  /// Reads MobileNum: the "dataitem" attribute of that name; empty when absent.
  virtual std::u16string Get_MobileNum() = 0;
  /// Reads SAddress: the "dataitem" attribute of that name; empty when absent.
  virtual std::u16string Get_SAddress() = 0;
  /// Reads SEmail: the "dataitem" attribute of that name; empty when absent.
  virtual std::u16string Get_SEmail() = 0;
  /// Reads memberBalance: the "dataitem" attribute of that name; empty when absent.
  virtual std::u16string Get_memberBalance() = 0;
  /// Reads SurplusCount: the "dataitem" attribute of that name; empty when absent.
  virtual std::u16string Get_SurplusCount() = 0;
  /// Reads iEntryNumber: the "dataitem" attribute of that name; empty when absent.
  virtual std::u16string Get_iEntryNumber() = 0;
  /// Reads SImageType: the "dataitem" attribute of that name; empty when absent.
  virtual std::u16string Get_SImageType() = 0;
  /// Reads Base64Image: the "dataitem" attribute of that name; empty when absent.
  virtual std::u16string Get_Base64Image() = 0;
  /// Writes MemberID: the "dataitem" attribute of that name, created when missing.
  virtual void Set_MemberID(const std::u16string& Value) = 0;
  /// Writes MemberNum: the "dataitem" attribute of that name, created when missing.
  virtual void Set_MemberNum(const std::u16string& Value) = 0;
  /// Writes MemberValid: the "dataitem" attribute of that name, created when missing.
  virtual void Set_MemberValid(const std::u16string& Value) = 0;
  /// Writes MemberName: the "dataitem" attribute of that name, created when missing.
  virtual void Set_MemberName(const std::u16string& Value) = 0;
  /// Writes MemberType: the "dataitem" attribute of that name, created when missing.
  virtual void Set_MemberType(const std::u16string& Value) = 0;
  /// Writes CertificateType: the "dataitem" attribute of that name, created when missing.
  virtual void Set_CertificateType(const std::u16string& Value) = 0;
  /// Writes CertificateNum: the "dataitem" attribute of that name, created when missing.
  virtual void Set_CertificateNum(const std::u16string& Value) = 0;
  /// Writes PhoneNum: the "dataitem" attribute of that name, created when missing.
  virtual void Set_PhoneNum(const std::u16string& Value) = 0;
  /// Writes MobileNum: the "dataitem" attribute of that name, created when missing.
  virtual void Set_MobileNum(const std::u16string& Value) = 0;
  /// Writes SAddress: the "dataitem" attribute of that name, created when missing.
  virtual void Set_SAddress(const std::u16string& Value) = 0;
  /// Writes SEmail: the "dataitem" attribute of that name, created when missing.
  virtual void Set_SEmail(const std::u16string& Value) = 0;
  /// Writes memberBalance: the "dataitem" attribute of that name, created when missing.
  virtual void Set_memberBalance(const std::u16string& Value) = 0;
  /// Writes SurplusCount: the "dataitem" attribute of that name, created when missing.
  virtual void Set_SurplusCount(const std::u16string& Value) = 0;
  /// Writes iEntryNumber: the "dataitem" attribute of that name, created when missing.
  virtual void Set_iEntryNumber(const std::u16string& Value) = 0;
  /// Writes SImageType: the "dataitem" attribute of that name, created when missing.
  virtual void Set_SImageType(const std::u16string& Value) = 0;
  /// Writes Base64Image: the "dataitem" attribute of that name, created when missing.
  virtual void Set_Base64Image(const std::u16string& Value) = 0;
};

/// The "book" element: one activity as child elements.
struct QUORL_PACKAGE_API IXMLBookType : virtual IXMLNode {
  /// interface identifier
  static constexpr TGUID IID = TGUID::Parse("{96B96089-9B73-41F3-B219-24D8AB732599}");
  /// Reads Activity_name: the text of the "book" child element of that name; empty when absent.
  virtual std::u16string Get_Activity_name() = 0;
  /// Reads Date_start: the text of the "book" child element of that name; empty when absent.
  virtual std::u16string Get_Date_start() = 0;
  /// Reads Status: the text of the "book" child element of that name; empty when absent.
  virtual std::u16string Get_Status() = 0;
  /// Reads Date_check: the text of the "book" child element of that name; empty when absent.
  virtual std::u16string Get_Date_check() = 0;
  /// Writes Activity_name: the text of the "book" child element of that name, created when missing.
  virtual void Set_Activity_name(const std::u16string& Value) = 0;
  /// Writes Date_start: the text of the "book" child element of that name, created when missing.
  virtual void Set_Date_start(const std::u16string& Value) = 0;
  /// Writes Status: the text of the "book" child element of that name, created when missing.
  virtual void Set_Status(const std::u16string& Value) = 0;
  /// Writes Date_check: the text of the "book" child element of that name, created when missing.
  virtual void Set_Date_check(const std::u16string& Value) = 0;
};

/// Binds "data": its "dataitem" and "book" children are typed by the classes below.
class QUORL_PACKAGE_API TXMLDataType : public TXMLNode, public IXMLDataType {
 public:
  TXMLDataType();  ///< An unbound node; documents bind it (Getdata and the functions below).
  /// IInterface, IXMLNode and this binding's interface.
  HRESULT QueryInterface(const TGUID& iid, void** obj) override { return TXMLNode::QueryInterface(iid, obj); }
  int32_t AddRef() override { return TXMLNode::AddRef(); }    ///< Counted (TInterfacedObject).
  int32_t Release() override { return TXMLNode::Release(); }  ///< Counted; frees the node at 0.

  /// The "dataitem" child; a pending one (read as empty) when absent.
  quorl::IntfPtr<IXMLDataitemType> Get_Dataitem() override;
  /// The "book" child; a pending one (read as empty) when absent.
  quorl::IntfPtr<IXMLBookType> Get_Book() override;

 protected:
  void* GetInterface(const TGUID& iid) override;
};

/// Binds "dataitem" (IXMLDataitemType).
class QUORL_PACKAGE_API TXMLDataitemType : public TXMLNode, public IXMLDataitemType {
 public:
  /// IInterface, IXMLNode and this binding's interface.
  HRESULT QueryInterface(const TGUID& iid, void** obj) override { return TXMLNode::QueryInterface(iid, obj); }
  int32_t AddRef() override { return TXMLNode::AddRef(); }    ///< Counted (TInterfacedObject).
  int32_t Release() override { return TXMLNode::Release(); }  ///< Counted; frees the node at 0.

  /// Reads MemberID: the "dataitem" attribute of that name; empty when absent.
  std::u16string Get_MemberID() override;
  /// Reads MemberNum: the "dataitem" attribute of that name; empty when absent.
  std::u16string Get_MemberNum() override;
  /// Reads MemberValid: the "dataitem" attribute of that name; empty when absent.
  std::u16string Get_MemberValid() override;
  /// Reads MemberName: the "dataitem" attribute of that name; empty when absent.
  std::u16string Get_MemberName() override;
  /// Reads MemberType: the "dataitem" attribute of that name; empty when absent.
  std::u16string Get_MemberType() override;
  /// Reads CertificateType: the "dataitem" attribute of that name; empty when absent.
  std::u16string Get_CertificateType() override;
  /// Reads CertificateNum: the "dataitem" attribute of that name; empty when absent.
  std::u16string Get_CertificateNum() override;
  /// Reads PhoneNum: the "dataitem" attribute of that name; empty when absent.
  std::u16string Get_PhoneNum() override;
  /// Reads MobileNum: the "dataitem" attribute of that name; empty when absent.
  std::u16string Get_MobileNum() override;
  /// Reads SAddress: the "dataitem" attribute of that name; empty when absent.
  std::u16string Get_SAddress() override;
  /// Reads SEmail: the "dataitem" attribute of that name; empty when absent.
  std::u16string Get_SEmail() override;
  /// Reads memberBalance: the "dataitem" attribute of that name; empty when absent.
  std::u16string Get_memberBalance() override;
  /// Reads SurplusCount: the "dataitem" attribute of that name; empty when absent.
  std::u16string Get_SurplusCount() override;
  /// Reads iEntryNumber: the "dataitem" attribute of that name; empty when absent.
  std::u16string Get_iEntryNumber() override;
  /// Reads SImageType: the "dataitem" attribute of that name; empty when absent.
  std::u16string Get_SImageType() override;
  /// Reads Base64Image: the "dataitem" attribute of that name; empty when absent.
  std::u16string Get_Base64Image() override;
  /// Writes MemberID: the "dataitem" attribute of that name, created when missing.
  void Set_MemberID(const std::u16string& Value) override;
  /// Writes MemberNum: the "dataitem" attribute of that name, created when missing.
  void Set_MemberNum(const std::u16string& Value) override;
  /// Writes MemberValid: the "dataitem" attribute of that name, created when missing.
  void Set_MemberValid(const std::u16string& Value) override;
  /// Writes MemberName: the "dataitem" attribute of that name, created when missing.
  void Set_MemberName(const std::u16string& Value) override;
  /// Writes MemberType: the "dataitem" attribute of that name, created when missing.
  void Set_MemberType(const std::u16string& Value) override;
  /// Writes CertificateType: the "dataitem" attribute of that name, created when missing.
  void Set_CertificateType(const std::u16string& Value) override;
  /// Writes CertificateNum: the "dataitem" attribute of that name, created when missing.
  void Set_CertificateNum(const std::u16string& Value) override;
  /// Writes PhoneNum: the "dataitem" attribute of that name, created when missing.
  void Set_PhoneNum(const std::u16string& Value) override;
  /// Writes MobileNum: the "dataitem" attribute of that name, created when missing.
  void Set_MobileNum(const std::u16string& Value) override;
  /// Writes SAddress: the "dataitem" attribute of that name, created when missing.
  void Set_SAddress(const std::u16string& Value) override;
  /// Writes SEmail: the "dataitem" attribute of that name, created when missing.
  void Set_SEmail(const std::u16string& Value) override;
  /// Writes memberBalance: the "dataitem" attribute of that name, created when missing.
  void Set_memberBalance(const std::u16string& Value) override;
  /// Writes SurplusCount: the "dataitem" attribute of that name, created when missing.
  void Set_SurplusCount(const std::u16string& Value) override;
  /// Writes iEntryNumber: the "dataitem" attribute of that name, created when missing.
  void Set_iEntryNumber(const std::u16string& Value) override;
  /// Writes SImageType: the "dataitem" attribute of that name, created when missing.
  void Set_SImageType(const std::u16string& Value) override;
  /// Writes Base64Image: the "dataitem" attribute of that name, created when missing.
  void Set_Base64Image(const std::u16string& Value) override;

 protected:
  void* GetInterface(const TGUID& iid) override;
};

/// Binds "book" (IXMLBookType).
class QUORL_PACKAGE_API TXMLBookType : public TXMLNode, public IXMLBookType {
 public:
  /// IInterface, IXMLNode and this binding's interface.
  HRESULT QueryInterface(const TGUID& iid, void** obj) override { return TXMLNode::QueryInterface(iid, obj); }
  int32_t AddRef() override { return TXMLNode::AddRef(); }    ///< Counted (TInterfacedObject).
  int32_t Release() override { return TXMLNode::Release(); }  ///< Counted; frees the node at 0.

  /// Reads Activity_name: the text of the "book" child element of that name; empty when absent.
  std::u16string Get_Activity_name() override;
  /// Reads Date_start: the text of the "book" child element of that name; empty when absent.
  std::u16string Get_Date_start() override;
  /// Reads Status: the text of the "book" child element of that name; empty when absent.
  std::u16string Get_Status() override;
  /// Reads Date_check: the text of the "book" child element of that name; empty when absent.
  std::u16string Get_Date_check() override;
  /// Writes Activity_name: the text of the "book" child element of that name, created when missing.
  void Set_Activity_name(const std::u16string& Value) override;
  /// Writes Date_start: the text of the "book" child element of that name, created when missing.
  void Set_Date_start(const std::u16string& Value) override;
  /// Writes Status: the text of the "book" child element of that name, created when missing.
  void Set_Status(const std::u16string& Value) override;
  /// Writes Date_check: the text of the "book" child element of that name, created when missing.
  void Set_Date_check(const std::u16string& Value) override;

 protected:
  void* GetInterface(const TGUID& iid) override;
};

/// The view of "data" in doc; a document without element gets "data".
QUORL_PACKAGE_API quorl::IntfPtr<IXMLDataType> Getdata(const quorl::IntfPtr<IXMLDocument>& Doc);
/// The view of "data" of the document read from a file.
QUORL_PACKAGE_API quorl::IntfPtr<IXMLDataType> Loaddata(const std::u16string& FileName);
/// A new document with XML version "1.0" and an empty element "data".
QUORL_PACKAGE_API quorl::IntfPtr<IXMLDataType> Newdata();
/// The view of "data" of the document parsed from XMLData.
QUORL_PACKAGE_API quorl::IntfPtr<IXMLDataType> LoadDataFromXML(const std::u16string& XMLData);
