#include "memberdata/uMemberUserInfoXmlDM_ZEL.h"

#include <string_view>
#include <typeinfo>
#include <utility>

#include "core/uCoreMemberSys_ZEL.h"
#include "memberdata/GbkXml.h"
#include "memberdata/MemberInfoReader.h"
#include "memberdata/uCoreMemberSysErrorRes_ZEL.h"
#include "platform/ClientDataSet.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace {

// Statuses of the platform, in the host code page.
const std::string kPlatformStatusNormal = "\xD5\xFD\xB3\xA3";  // "正常"
const std::string kPlatformStatusLost = "\xB9\xD2\xCA\xA7";    // "挂失"

std::string MemberIdOf(std::string text) {
  return quorl::memberinfo::IsInt32Text(text) ? std::move(text) : std::string("-1");
}

// The members of text read in one pass, without a document; null when the
// text needs the document reader (see MemberInfoReader.h). A module of a
// derived type always reads through the document, item by item, so that an
// ExtractFromDataItemNode of its own sees CurrentNode as it always did.
std::unique_ptr<TMemberUserInfoList_ZEL> ReadStreaming(const TMemberUserInfoXmlDM_ZEL& module,
                                                       std::string_view text,
                                                       std::vector<signed char>& hints) {
  if (typeid(module) != typeid(TMemberUserInfoXmlDM_ZEL)) return nullptr;
  auto fresh = std::make_unique<TMemberUserInfoList_ZEL>();
  if (!quorl::memberinfo::ReadMemberListStreaming(text, *fresh, hints)) return nullptr;
  quorl::memberinfo::FillCertificateNames(*fresh);
  return fresh;
}

}  // namespace

TMemberUserInfoXmlDM_ZEL::TMemberUserInfoXmlDM_ZEL(const std::string& xmlText)
    : Document(std::make_unique<pugi::xml_document>()),
      UserInfoList(std::make_unique<TMemberUserInfoList_ZEL>()),
      XmlText(xmlText),
      RootName("data"),
      ItemName("dataitem") {
  if (!XmlText.empty()) RefreshList();
}

// Members are freed in reverse order: UserInfoList (and its records), then Document.
TMemberUserInfoXmlDM_ZEL::~TMemberUserInfoXmlDM_ZEL() = default;

void TMemberUserInfoXmlDM_ZEL::SetXmlString(const std::string& text) {
  if (text != XmlText) SetXmlString(std::string(text));
}

void TMemberUserInfoXmlDM_ZEL::SetXmlString(std::string&& text) {
  if (text == XmlText) return;
  // The document is built only for a text the one-pass reader leaves to it;
  // RootNode stays null while the current text has none.
  if (std::unique_ptr<TMemberUserInfoList_ZEL> fresh = ReadStreaming(*this, text, attributeSlotHint_)) {
    XmlText = std::move(text);
    Document->reset();
    RootNode = CurrentNode = pugi::xml_node();
    UserInfoList = std::move(fresh);
    listHandedOut_ = false;
    return;
  }
  // A text that fails must not become current: otherwise handing it in again
  // would count as unchanged and silently answer with the previous members.
  std::string previousText = std::exchange(XmlText, std::move(text));
  std::unique_ptr<pugi::xml_document> previousDocument =
      std::exchange(Document, std::make_unique<pugi::xml_document>());
  const pugi::xml_node previousRoot = RootNode;
  try {
    LoadXmlFromString();
    RefreshList();
  } catch (...) {
    Document = std::move(previousDocument);
    RootNode = previousRoot;
    CurrentNode = pugi::xml_node();
    XmlText = std::move(previousText);
    throw;
  }
}

void TMemberUserInfoXmlDM_ZEL::LoadXmlFromString() {
  RootNode = pugi::xml_node();
  CurrentNode = pugi::xml_node();
  const pugi::xml_node root = quorl::LoadGbkXml(*Document, XmlText);
  if (RootName != root.name()) throw EXMLDocError(_SE_InvalidXMLFormat_ZEL);
  RootNode = root;
}

void TMemberUserInfoXmlDM_ZEL::RefreshList() {
  if (!RootNode && !XmlText.empty()) {
    // The current text was read without a document: read it again the same way.
    if (std::unique_ptr<TMemberUserInfoList_ZEL> fresh = ReadStreaming(*this, XmlText, attributeSlotHint_)) {
      UserInfoList = std::move(fresh);
      listHandedOut_ = false;
      return;
    }
    LoadXmlFromString();
  }
  auto fresh = std::make_unique<TMemberUserInfoList_ZEL>();
  for (pugi::xml_node child = RootNode.first_child(); child; child = child.next_sibling()) {
    CurrentNode = child;
    if (child.type() != pugi::node_element || ItemName != child.name())
      throw EXMLDocError(_SE_InvalidXMLFormat_ZEL);
    std::unique_ptr<TMemberUserInfoRecord_ZEL> rec(ExtractFromDataItemNode());
    fresh->Add(rec.get());
    rec.release();
  }
  UserInfoList = std::move(fresh);
  listHandedOut_ = false;
}

TMemberUserInfoRecord_ZEL* TMemberUserInfoXmlDM_ZEL::ExtractFromDataItemNode() {
  using namespace quorl::memberinfo;
  SlotValues values{};
  uint32_t escapedSlots = 0;
  size_t position = 0;
  for (pugi::xml_attribute a = CurrentNode.first_attribute(); a; a = a.next_attribute(), ++position) {
    if (position >= attributeSlotHint_.size()) {
      // Bounded by the largest item seen; a hostile item with many
      // attributes costs one byte per attribute, like its own markup.
      attributeSlotHint_.push_back(-1);
    }
    const int slot = SlotOf(a.name(), attributeSlotHint_[position]);
    if (slot < 0) continue;
    attributeSlotHint_[position] = static_cast<signed char>(slot);
    if (values[slot].data() != nullptr) continue;  // duplicates were refused on load
    values[slot] = a.value();
    if (values[slot].find('&') != std::string_view::npos) escapedSlots |= 1u << slot;
  }
  std::unique_ptr<TMemberUserInfoRecord_ZEL> rec(NewRecordFromValues(values, escapedSlots));
  rec->CertificateType.Name = GetCertificateTypeDisplayName(rec->CertificateType.Code);
  return rec.release();
}

// The caller gets the module's list itself and the module keeps an empty
// one, so no record ever has two owners and nothing is copied. Asked again
// for the same text, the module reads the items anew from the document it
// kept; a repeated answer thus yields its members every time.
TMemberUserInfoList_ZEL* TMemberUserInfoXmlDM_ZEL::GetUserInfoList() {
  if (listHandedOut_) RefreshList();
  std::unique_ptr<TMemberUserInfoList_ZEL> result =
      std::exchange(UserInfoList, std::make_unique<TMemberUserInfoList_ZEL>());
  listHandedOut_ = true;
  return result.release();
}

TMemberUserInfoList_ZEL* TMemberUserInfoXmlDM_ZEL::ExtractFromData(const Variant& data) {
  TClientDataSet ds;
  ds.SetData(data);
  auto list = std::make_unique<TMemberUserInfoList_ZEL>();
  if (ds.IsEmpty()) return list.release();
  // Looked up once: a missing column fails the call as reading it would.
  TField* const memberId = ds.FieldByName("MEMBER_ID");
  TField* const cardNo = ds.FieldByName("MEMBER_CARD_NO");
  TField* const status = ds.FieldByName("STATUS");
  TField* const fullName = ds.FieldByName("FULL_NAME");
  TField* const classId = ds.FieldByName("MEMBER_CLASS_ID");
  TField* const className = ds.FieldByName("MEMBER_CLASS_NAME");
  TField* const cardClassId = ds.FieldByName("MEMBER_CARD_CLASS_ID");
  TField* const cardClassName = ds.FieldByName("MEMBER_CARD_CLASS_NAME");
  TField* const certificateType = ds.FieldByName("Certificate_Type");
  TField* const idNo = ds.FieldByName("id_no");
  TField* const telNo = ds.FieldByName("tel_no");
  TField* const mobileNo = ds.FieldByName("mobile_no");
  TField* const address = ds.FieldByName("contact_address");
  TField* const email = ds.FieldByName("register_email");
  TField* const balance = ds.FieldByName("balance");
  TField* const payPassword = ds.FieldByName("pay_password");
  TField* const groupCode = ds.FieldByName("group_code");
  TField* const cardStatus = ds.FieldByName("cardstatus");
  TField* const rechargeRate = ds.FieldByName("recharge_rate");
  TField* const points = ds.FieldByName("Points");
  TField* const isOneCard = ds.FieldByName("is_one_card");
  TField* const rewardRate = ds.FieldByName("pointsrewardrate");
  TField* const consumeMoney = ds.FieldByName("consume_money");

  for (ds.First(); !ds.Eof(); ds.Next()) {
    auto rec = std::make_unique<TMemberUserInfoRecord_ZEL>();
    rec->MemberID = MemberIdOf(memberId->AsString());
    rec->MemberNum = cardNo->AsString();
    rec->MemberValid = GetIsValidMemberType_ZEL(status->AsString());
    rec->MemberName = fullName->AsString();
    rec->MemberType = classId->AsString();
    rec->MemberTypeName = className->AsString();
    rec->CardType = cardClassId->AsString();
    rec->CardTypeName = cardClassName->AsString();
    rec->CertificateType.Code = certificateType->AsString();
    rec->CertificateType.Name = GetCertificateTypeDisplayName(rec->CertificateType.Code);
    rec->CertificateNum = idNo->AsString();
    rec->PhoneNum = telNo->AsString();
    rec->MobileNum = mobileNo->AsString();
    rec->Address = address->AsString();
    rec->Email = email->AsString();
    rec->MemberBalance = balance->AsString();
    rec->PayPassword = payPassword->AsString();
    rec->MemberGroupCode = groupCode->AsString();
    rec->CardStatus = cardStatus->AsString();
    rec->IsFeesMember = rechargeRate->AsString() == "0" ? "N" : "Y";
    rec->Points = points->AsString();
    if (rec->Points.empty()) rec->Points = "0";
    rec->IsOneCard = isOneCard->AsString() == "t";
    rec->ConsumePoints = rewardRate->AsString();
    rec->ConsumeMoney = consumeMoney->AsString();
    list->Add(rec.get());
    rec.release();
  }
  return list.release();
}

TMemberUserInfoList_ZEL* TMemberUserInfoXmlDM_ZEL::ExtractFromHTK(const Variant& data) {
  TClientDataSet ds;
  ds.SetData(data);
  auto list = std::make_unique<TMemberUserInfoList_ZEL>();
  if (ds.IsEmpty()) return list.release();
  TField* const memberId = ds.FieldByName("member_id");
  TField* const cardNo = ds.FieldByName("card_no");
  TField* const userStatus = ds.FieldByName("user_status");
  TField* const realName = ds.FieldByName("realname");
  TField* const tel = ds.FieldByName("tel");
  TField* const mobile = ds.FieldByName("mobile");
  TField* const email = ds.FieldByName("email");
  TField* const balance = ds.FieldByName("user_balance");
  TField* const password = ds.FieldByName("password");
  TField* const memberType = ds.FieldByName("MemberType");
  TField* const memberTypeName = ds.FieldByName("MemberTypeName");
  TField* const points = ds.FieldByName("user_point");

  for (ds.First(); !ds.Eof(); ds.Next()) {
    auto rec = std::make_unique<TMemberUserInfoRecord_ZEL>();
    const std::string statusText = userStatus->AsString();
    const bool normal = statusText == kPlatformStatusNormal;
    rec->MemberID = memberId->AsString();
    rec->MemberNum = cardNo->AsString();
    rec->MemberValid = normal;
    rec->MemberName = realName->AsString();
    rec->PhoneNum = tel->AsString();
    rec->MobileNum = mobile->AsString();
    rec->Email = email->AsString();
    rec->MemberBalance = balance->AsString();
    rec->PayPassword = password->AsString();
    rec->IsFeesMember = normal ? "Y" : "N";
    rec->MemberType = memberType->AsString();
    rec->MemberTypeName = memberTypeName->AsString();
    rec->CardStatus = normal                              ? std::string("2")
                      : statusText == kPlatformStatusLost ? std::string("3")
                                                          : statusText;
    rec->Points = points->AsString();
    if (rec->Points.empty()) rec->Points = "0";
    rec->IsOneCard = false;
    list->Add(rec.get());
    rec.release();
  }
  return list.release();
}
