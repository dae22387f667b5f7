#include "huitouke/uHuiTouKe_ZEL.h"

#include <array>
#include <cmath>
#include <span>

#include "core/uCoreMemberSys_ZEL.h"
#include "host/QuorlClientDataSet.h"
#include "huitouke/HtkAnswer.h"
#include "huitouke/md5.h"
#include "platform/ClientDataSet.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "platform/Http.h"
#include "platform/Lists.h"

namespace {

using quorl::htk::JsonList;
using quorl::htk::JsonNumber;
using quorl::htk::JsonObject;
using quorl::htk::JsonText;
using quorl::htk::JsonWholeNumber;
using quorl::htk::RequireMember;

constexpr const char* kSuccessCode = "A00006";
constexpr int kRecordsPerPage = 25;
// Only the first 12 of the 32 digest digits fit the password field.
constexpr int kPasswordField = 12;

struct FieldSpec {
  const char* name;
  TFieldType type;
  int size;
};

constexpr FieldSpec kCardInfoFields[] = {
    {"member_id", TFieldType::ftString, 8},   {"realname", TFieldType::ftString, 12},
    {"username", TFieldType::ftString, 12},   {"password", TFieldType::ftString, 12},
    {"mobile", TFieldType::ftString, 20},     {"email", TFieldType::ftString, 36},
    {"gender", TFieldType::ftString, 2},      {"birthday", TFieldType::ftString, 24},
    {"reg_date", TFieldType::ftString, 24},   {"tel", TFieldType::ftString, 20},
    {"card_no", TFieldType::ftString, 20},    {"user_balance", TFieldType::ftFloat, 0},
    {"user_point", TFieldType::ftString, 32}, {"user_status", TFieldType::ftString, 8},
    {"memberType", TFieldType::ftString, 8},  {"MemberTypeName", TFieldType::ftString, 16},
};

constexpr FieldSpec kStoredConsumeFields[] = {
    {"card_no", TFieldType::ftString, 16},       {"type", TFieldType::ftString, 1},
    {"saving_add", TFieldType::ftString, 16},    {"saving_sub", TFieldType::ftString, 16},
    {"saving_reward", TFieldType::ftString, 16}, {"point_add", TFieldType::ftString, 16},
    {"point_sub", TFieldType::ftString, 16},     {"bank_amount", TFieldType::ftString, 16},
    {"time", TFieldType::ftDateTime, 0},         {"UserCode", TFieldType::ftString, 12},
    {"CNAME", TFieldType::ftString, 32},
};

void CreateTable(TClientDataSet& table, std::span<const FieldSpec> fields) {
  table.FieldDefs.Clear();
  for (const FieldSpec& f : fields) table.FieldDefs.Add(f.name, f.type, f.size);
  table.CreateDataSet();
}

// The field of the same name as the JSON member, filled with its text.
void CopyText(TClientDataSet& table, const TvxJSONobject& from, const char* fieldName,
              std::u16string_view member) {
  table.FieldByName(fieldName)->SetAsString(JsonText(*RequireMember(from, member), member));
}

std::string PasswordDigest(const std::string& password) {
  return MD5Print(MD5String(password)).substr(0, kPasswordField);
}

// "gender": 1 is female, 0 male. Text holding one of those numbers counts the
// same; any other value (2, other text, a Boolean) leaves the field empty.
std::string GenderText(const TvxJSONbase& value) {
  const Variant v = value.GetValue();
  if (v.IsClearOrNull()) throw Exception("platform answer: member \"gender\" is null");
  double d = 0;
  if (v.IsNumeric()) {
    d = v.AsDouble();
  } else if (!v.IsText() || !quorl::TryStrToFloat(v.AsString(), d)) {
    return std::string();
  }
  if (d == 1) return "\xC5\xAE";  // 女 in GBK
  if (d == 0) return "\xC4\xD0";  // 男 in GBK
  return std::string();
}

// "member" counts only when it holds something: null, {}, [] or "" is no
// member, and the lookup goes on without member fields. Any other value that
// is not an object is a broken answer.
const TvxJSONobject* PresentMember(TvxJSONbase* value) {
  if (value == nullptr) return nullptr;
  switch (value->SelfType()) {
    case jsNull:
      return nullptr;
    case jsObject:
    case jsList:
      if (value->GetCount() == 0) return nullptr;
      break;
    case jsString:
      if (static_cast<const TvxJSONstring*>(value)->Value().empty()) return nullptr;
      break;
    default:
      break;
  }
  return &JsonObject(*value, u"member");
}

void FillMemberFields(TClientDataSet& table, const TvxJSONobject* member, bool memberPassword) {
  if (member == nullptr) return;
  CopyText(table, *member, "member_id", u"member_id");
  CopyText(table, *member, "realname", u"realname");
  CopyText(table, *member, "username", u"username");
  if (memberPassword) {
    const std::string password = JsonText(*RequireMember(*member, u"password"), u"password");
    table.FieldByName("password")->SetAsString(PasswordDigest(password));
  }
  CopyText(table, *member, "mobile", u"mobile");
  CopyText(table, *member, "email", u"email");
  table.FieldByName("gender")->SetAsString(GenderText(*RequireMember(*member, u"gender")));
  CopyText(table, *member, "birthday", u"birthday");
  CopyText(table, *member, "reg_date", u"reg_date");
  CopyText(table, *member, "tel", u"tel");
}

void FillCardFields(TClientDataSet& table, const TvxJSONobject& card, bool cardPassword) {
  CopyText(table, card, "card_no", u"card_no");
  CopyText(table, card, "user_point", u"user_point");
  CopyText(table, card, "user_status", u"user_status");
  table.FieldByName("user_balance")
      ->SetAsFloat(JsonNumber(*RequireMember(card, u"user_balance"), u"user_balance"));
  // A rank of 2 and a rank of "2.0" both read back as "2".
  const double rank = JsonNumber(*RequireMember(card, u"user_rank"), u"user_rank");
  table.FieldByName("memberType")->SetAsString(quorl::FloatToStr(rank));
  CopyText(table, card, "MemberTypeName", u"user_rank_name");
  if (cardPassword) {
    const std::string password = JsonText(*RequireMember(card, u"user_password"), u"user_password");
    table.FieldByName("password")->SetAsString(PasswordDigest(password));
  }
}

// One record of a "view_invoice" page, stored as one row.
void AppendStoredConsumeRow(TClientDataSet& table, const TvxJSONobject& record, TQuorlClientDataSet* users) {
  table.Append();
  static constexpr std::pair<const char*, const char16_t*> kTextMembers[] = {
      {"card_no", u"card_no"},
      {"type", u"type"},
      {"saving_add", u"saving_add"},
      {"saving_sub", u"saving_sub"},
      {"saving_reward", u"saving_reward"},
      {"point_add", u"point_add"},
      {"point_sub", u"point_sub"},
      {"bank_amount", u"bank_amount"},
  };
  for (const auto& [field, member] : kTextMembers) CopyText(table, record, field, member);

  const TvxJSONbase* time = RequireMember(record, u"time");
  if (time->SelfType() != jsNull) {
    const auto* text = dynamic_cast<const TvxJSONstring*>(time);
    if (text == nullptr) throw Exception("platform answer: member \"time\" is not a date-and-time text");
    const std::string value = quorl::Utf16ToGbk(text->Value());
    double when = 0;
    if (!quorl::TryStrToDateTime(value, when))
      throw EConvertError("'" + value + "' is not a valid date and time");
    table.FieldByName("time")->SetAsDateTime(when);
  }

  const std::string empNo = JsonText(*RequireMember(record, u"emp_no"), u"emp_no");
  table.FieldByName("UserCode")->SetAsString(empNo);
  if (users == nullptr || users->FindField("UserCode") == nullptr || users->FindField("CNAME") == nullptr)
    throw EDatabaseError("the users dataset lacks the field UserCode or CNAME");
  std::string name;
  if (users->Locate("UserCode", Variant(empNo))) name = users->FieldByName("CNAME")->AsString();
  table.FieldByName("CNAME")->SetAsString(name);
  table.Post();
}

}  // namespace

namespace quorl {

std::string SignPlatformRequest(const std::string& signedValues, const std::string& key) {
  return MD5Print(MD5String(signedValues + key));
}

std::string PlatformTimeStamp() { return std::to_string(CurrentClock().LocalSecondsSinceEpoch()); }

}  // namespace quorl

THuiTouKe_ZEL::THuiTouKe_ZEL() : http_(std::make_unique<TIdHTTP>()) {
  const std::string& commercial = _MemberCommercial_ZEL;
  const size_t bar = commercial.find('|');
  if (bar == std::string::npos) {
    storeId_ = quorl::Trim(commercial);
  } else {
    merchantId_ = commercial.substr(0, bar);
    storeId_ = quorl::Trim(std::string_view(commercial).substr(bar + 1));
  }
}

THuiTouKe_ZEL::~THuiTouKe_ZEL() = default;

bool THuiTouKe_ZEL::SearchType(const std::string& Key) const {
  return Key.size() == 11 || Key.find('@') != std::string::npos;
}

std::string THuiTouKe_ZEL::MemberInterface(const std::string& Params, const std::string& Method) {
  TStringList lines;
  lines.SetText(Params);
  std::string signedValues;
  for (int i = 0; i < lines.Count(); ++i) signedValues += lines.ValueFromIndex(i);
  lines.Add("sign=" + quorl::SignPlatformRequest(signedValues, _MemberPassWordKey_ZEL));

  const std::string body = http_->Post(_MemberSysSoapURL_ZEL + Method, lines);
  const quorl::htk::PlatformAnswer answer = quorl::htk::ParsePlatformAnswer(body, Method);
  // Code and result are added as variants; only two texts add up to text, so
  // anything else in either member is an error rather than a number sum.
  std::string out;
  for (const char16_t* name : {u"code", u"result"}) {
    const TvxJSONbase* value = RequireMember(*answer.object, name);
    const auto* text = dynamic_cast<const TvxJSONstring*>(value);
    if (text == nullptr)
      throw Exception(Method + ": member \"" + quorl::htk::MemberName(name) + "\" of the answer is not text");
    out += quorl::Utf16ToGbk(text->Value());
  }
  return out;
}

Variant THuiTouKe_ZEL::GetCardInfo(const std::string& Key, const std::string& Password) {
  TClientDataSet table;
  CreateTable(table, kCardInfoFields);
  Variant result = table.Data();
  try {
    const std::string key = _MemberPassWordKey_ZEL;
    const std::string t = quorl::PlatformTimeStamp();
    const std::string password = SetEncrypt(key, Password);
    const std::string sign = quorl::SignPlatformRequest(merchantId_ + Key + password + t, key);
    TStringList fields;
    fields.Add("sbs_id=" + merchantId_);
    fields.Add("mobile=" + Key);
    fields.Add("password=" + password);
    fields.Add("t=" + t);
    fields.Add("sign=" + sign);
    const std::string base = _MemberSysSoapURL_ZEL;
    if (base.empty()) return result;

    const std::string body = http_->Post(base + "get_card_list", fields);
    const quorl::htk::PlatformAnswer answer = quorl::htk::ParsePlatformAnswer(body, "get_card_list");
    if (quorl::htk::AnswerCode(*answer.object) != kSuccessCode) return result;
    const TvxJSONbase* totalValue = answer.object->OldGetField(u"total");
    if (totalValue == nullptr) return result;
    const int32_t total = JsonWholeNumber(*totalValue, u"total");

    const TvxJSONobject* member = PresentMember(answer.object->OldGetField(u"member"));
    const bool bySearch = SearchType(Key);

    if (total == 0) {
      table.Append();
      FillMemberFields(table, member, bySearch);
      table.Post();
    } else if (total > 0) {
      TvxJSONlist& cards = JsonList(*RequireMember(*answer.object, u"data"), u"data");
      if (cards.GetCount() < total)
        throw Exception("get_card_list: \"data\" holds fewer cards than \"total\"");
      for (int32_t i = 0; i < total; ++i) {
        table.Append();
        FillMemberFields(table, member, bySearch);
        FillCardFields(table, JsonObject(*cards.GetChild(i), u"data"), !bySearch);
        table.Post();
      }
    }
    result = table.Data();
  } catch (...) {
    // Every failure gives the empty table: the lookup then finds no member.
  }
  return result;
}

Variant THuiTouKe_ZEL::GetStoredConsumeData(const std::string& CardNo, const std::string& Type,
                                            const std::string& SDate, const std::string& EDate,
                                            TQuorlClientDataSet* Users) {
  TClientDataSet table;
  CreateTable(table, kStoredConsumeFields);
  Variant result = table.Data();
  try {
    if (_MemberSysSoapURL_ZEL.empty()) return result;
    int page = 1;
    int pages = 1;
    while (page <= pages) {
      const std::string key = _MemberPassWordKey_ZEL;
      const std::string pageText = std::to_string(page);
      const std::string t = quorl::PlatformTimeStamp();
      const std::string sign =
          quorl::SignPlatformRequest(merchantId_ + CardNo + Type + SDate + EDate + pageText + t, key);
      // Unencoded, as signed; the transport escapes bytes a URL cannot carry.
      const std::string url = _MemberSysSoapURL_ZEL + "view_invoice" + "?sbs_id=" + merchantId_ +
                              "&card_no=" + CardNo + "&type=" + Type + "&sdate=" + SDate + "&edate=" + EDate +
                              "&page=" + pageText + "&t=" + t + "&sign=" + sign;
      const std::string body = http_->Get(url);
      const quorl::htk::PlatformAnswer answer = quorl::htk::ParsePlatformAnswer(body, "view_invoice");
      if (page == 1) {
        const int32_t count = JsonWholeNumber(*RequireMember(*answer.object, u"count"), u"count");
        if (count > kMaxStoredConsumeRecords)
          throw Exception("view_invoice: \"count\" " + std::to_string(count) + " is out of range");
        pages = count <= 0 ? 1 : (count + kRecordsPerPage - 1) / kRecordsPerPage;
      }
      ++page;
      if (quorl::htk::AnswerCode(*answer.object) != kSuccessCode) continue;
      TvxJSONlist& records = JsonList(*RequireMember(*answer.object, u"data"), u"data");
      if (table.RecordCount() + records.GetCount() > kMaxStoredConsumeRecords)
        throw Exception("view_invoice: more records than any query may return");
      for (int32_t i = 0; i < records.GetCount(); ++i)
        AppendStoredConsumeRow(table, JsonObject(*records.GetChild(i), u"data"), Users);
    }
    result = table.Data();
  } catch (...) {
    // Every failure, on any page, gives the empty table.
  }
  return result;
}

std::string SetEncrypt(const std::string& Key, const std::string& Text) {
  if (Key.empty() || Text.empty()) return std::string();
  std::array<uint8_t, 256> s;
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<uint8_t>(j + s[i] + static_cast<uint8_t>(Key[i % Key.size()]));
    std::swap(s[i], s[j]);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(Text.size() * 2);
  uint8_t x = 0;
  uint8_t y = 0;
  for (char c : Text) {
    x = static_cast<uint8_t>(x + 1);
    y = static_cast<uint8_t>(y + s[x]);
    std::swap(s[x], s[y]);
    const uint8_t k = s[static_cast<uint8_t>(s[x] + s[y])];
    const uint8_t b = static_cast<uint8_t>(static_cast<uint8_t>(c) ^ k);
    out += kHex[b >> 4];
    out += kHex[b & 0x0F];
  }
  return out;
}

std::string urlencode(const std::string& Text) { return HTTPEncode(quorl::GbkToUtf8(Text)); }
