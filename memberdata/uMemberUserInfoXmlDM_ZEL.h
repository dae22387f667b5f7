// The member-info data module: turns the answers of the three member back
// ends into member lists, and writes the consumption print document.
//
//  - Web service: SetXmlString(text) parses a member-info answer
//      <data><dataitem memberID=".." memberNum=".." .../>...</data>
//    (8-bit host text, GBK) into UserInfoList; GetUserInfoList hands out a
//    copy. Attribute texts come out as the very GBK bytes of the answer;
//    character references (&#20013;) become GBK. A declared encoding inside
//    the text is ignored: the text is host text whatever it declares.
//  - Member-account server: ExtractFromData(packet) maps its rows.
//  - HuiTouKe platform: ExtractFromHTK(packet) maps the rows GetCardInfo built.
//  - SaveToXmlString(consumption) builds the consumption document, returns it
//    as UTF-16 text and writes the print file (MemberConsumeDocument.cpp).
//
// Ownership: every list (and record) returned is owned by the caller, who
// frees it with delete; it shares nothing with the module.
//
// Failures (nothing is caught here):
//  - a document element other than "data", or a child of "data" that is not
//    a "dataitem" element: Exception with _SE_InvalidXMLFormat_ZEL
//    ("Parse Error: Invalid XML Format!");
//  - text that is not well-formed XML: EXMLDocError with the parser's message;
//  - a column missing from a packet: EDatabaseError (field not found);
//  - a failing certificate type table load: the database error.
// A text that fails does not become current: XmlText, the document and
// UserInfoList stay those of the last good text, so handing the failed text
// in again fails again.
//
// One module belongs to one agent and is used from one thread.
#pragma once

#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "core/MemberRecords.h"
#include "platform/Variant.h"

class TMemberUserInfoXmlDM_ZEL {
 public:
  // Parses xmlText when it is not empty (and raises as SetXmlString does).
  explicit TMemberUserInfoXmlDM_ZEL(const std::string& xmlText = std::string());
  virtual ~TMemberUserInfoXmlDM_ZEL();
  TMemberUserInfoXmlDM_ZEL(const TMemberUserInfoXmlDM_ZEL&) = delete;
  TMemberUserInfoXmlDM_ZEL& operator=(const TMemberUserInfoXmlDM_ZEL&) = delete;

  // Parses text and rebuilds UserInfoList, unless text equals XmlText byte
  // for byte (then nothing happens).
  void SetXmlString(const std::string& text);
  void SetXmlString(std::string&& text);  // the same, taking the text over
  // Parses XmlText into Document and sets RootNode; raises on a bad text or
  // a document element not named RootName.
  void LoadXmlFromString();
  // Rebuilds UserInfoList from the children of RootNode. On failure the list
  // keeps what it held before.
  void RefreshList();
  // A new record read from CurrentNode (a "dataitem" element); caller owns it.
  virtual TMemberUserInfoRecord_ZEL* ExtractFromDataItemNode();
  // A new list holding the members of the current text, in order. The
  // caller owns the list and its records; the module keeps none of them
  // (UserInfoList is left empty and is read again from the current document
  // when the list is asked for once more).
  TMemberUserInfoList_ZEL* GetUserInfoList();
  // A new list, one record per row of a member-account server packet.
  virtual TMemberUserInfoList_ZEL* ExtractFromData(const Variant& data);
  // A new list, one record per row of the platform's card-list packet.
  virtual TMemberUserInfoList_ZEL* ExtractFromHTK(const Variant& data);

  // Builds the consumption document (UTF-16 text declaring "UTF-8") and
  // writes the print file Print.xml (declaring "GB2312", code page 936) in
  // the folder MemberPrint_vrisk/ under quorl::ApplicationDirectory(). The
  // file is written in every case, also after a build failure (with what was
  // built); it is replaced atomically. A missing folder or a failed write
  // raises EFOpenError naming the path. The module's member-info document
  // and list are not touched.
  std::u16string SaveToXmlString(const TMemberInfoRecord_VRISK& record);
  // Fills document: declaration (version "1.0", encoding "UTF-8"), element
  // "MemberConsume" with the 23 values and one "Consume" per ticket line.
  // Each value is a child element whose text is the field's GBK text. A
  // record without ticket list, or a null ticket, raises Exception after
  // the values written so far.
  void GetNativeXmlFromList(const TMemberInfoRecord_VRISK& record, pugi::xml_document& document);

  const std::string& GetXmlText() const { return XmlText; }

 protected:
  std::unique_ptr<pugi::xml_document> Document;
  std::unique_ptr<TMemberUserInfoList_ZEL> UserInfoList;
  std::string XmlText;
  pugi::xml_node RootNode;
  std::string RootName;
  pugi::xml_node CurrentNode;
  std::string ItemName;

 private:
  // Which mapping slot each attribute position held in the previous item:
  // answers repeat one attribute order, so the guess nearly always hits.
  std::vector<signed char> attributeSlotHint_;
  // UserInfoList was given to a caller by GetUserInfoList (see there).
  bool listHandedOut_ = false;
};

namespace quorl {

// Removes the print file Print.xml from the print folder, so that the next
// print cannot print a document whose posting was refused or failed. A file
// that is not there is fine; one that stays raises EFOpenError naming it.
void WithdrawPrintDocument();

}  // namespace quorl
