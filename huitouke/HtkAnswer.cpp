#include "huitouke/HtkAnswer.h"

#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace quorl::htk {

namespace {

[[noreturn]] void Fail(std::u16string_view name, const std::string& problem) {
  throw Exception("platform answer: member \"" + MemberName(name) + "\" " + problem);
}

// Scalars hand out their content as a variant; null and containers give a
// Null variant, which is exactly the set of values that holds no text.
Variant ScalarValue(const TvxJSONbase& value, std::u16string_view name) {
  Variant v = value.GetValue();
  if (v.IsClearOrNull()) Fail(name, value.SelfType() == jsNull ? "is null" : "is not a value");
  return v;
}

}  // namespace

std::string MemberName(std::u16string_view name) { return Utf16ToGbk(name); }

PlatformAnswer ParsePlatformAnswer(std::string_view body, std::string_view what) {
  PlatformAnswer answer;
  answer.root.reset(TvxJSON::ParseText(body));
  if (!answer.root) throw Exception(std::string(what) + ": the answer is not JSON");
  answer.object = dynamic_cast<TvxJSONobject*>(answer.root.get());
  if (answer.object == nullptr) throw Exception(std::string(what) + ": the answer is not a JSON object");
  return answer;
}

TvxJSONbase* RequireMember(const TvxJSONobject& obj, std::u16string_view name) {
  TvxJSONbase* value = obj.OldGetField(name);
  if (value == nullptr) Fail(name, "is missing");
  return value;
}

std::string JsonText(const TvxJSONbase& value, std::u16string_view name) {
  if (const auto* number = dynamic_cast<const TvxJSONnumber*>(&value)) return FloatToStr(number->Value());
  return ScalarValue(value, name).AsString();
}

double JsonNumber(const TvxJSONbase& value, std::u16string_view name) {
  if (const auto* number = dynamic_cast<const TvxJSONnumber*>(&value))
    return static_cast<double>(number->Value());
  const Variant v = ScalarValue(value, name);
  try {
    return v.AsDouble();
  } catch (const Exception& e) {
    Fail(name, "is not a number (" + e.Message() + ")");
  }
}

int32_t JsonWholeNumber(const TvxJSONbase& value, std::u16string_view name) {
  // The variant's own conversion, so a count of 2.5 reads as the host reads
  // it (2, half to even) instead of failing the whole answer.
  const Variant v = ScalarValue(value, name);
  try {
    return v.AsInteger();
  } catch (const Exception& e) {
    Fail(name, "is not a whole number (" + e.Message() + ")");
  }
}

TvxJSONobject& JsonObject(TvxJSONbase& value, std::u16string_view name) {
  auto* obj = dynamic_cast<TvxJSONobject*>(&value);
  if (obj == nullptr) Fail(name, "is not an object");
  return *obj;
}

TvxJSONlist& JsonList(TvxJSONbase& value, std::u16string_view name) {
  auto* list = dynamic_cast<TvxJSONlist*>(&value);
  if (list == nullptr) Fail(name, "is not a list");
  return *list;
}

std::string AnswerCode(const TvxJSONobject& answer) {
  const TvxJSONbase* code = RequireMember(answer, u"code");
  const Variant v = code->GetValue();
  if (v.IsClearOrNull()) return std::string();
  if (!v.IsText()) Fail(u"code", "is not text");
  return v.AsString();
}

}  // namespace quorl::htk
