// Reading the platform's JSON answers: the envelope and the typed reads of
// members that the platform client needs. Every reader raises Exception (or
// EVariantError for a text that is no number) naming the member, so a caller
// that swallows errors can still be debugged and a caller that raises gives a
// clear message.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "json/uVxJSON.h"

namespace quorl::htk {

// A parsed answer: the tree (owned) and its root, which is an object.
struct PlatformAnswer {
  std::unique_ptr<TvxJSONbase> root;
  TvxJSONobject* object = nullptr;
};

// Parses body (UTF-8) with TvxJSON::ParseText. Raises Exception "<what>: the
// answer is not JSON" / "...is not a JSON object".
PlatformAnswer ParsePlatformAnswer(std::string_view body, std::string_view what);

// The value of the first member `name` of obj; raises when there is none.
TvxJSONbase* RequireMember(const TvxJSONobject& obj, std::u16string_view name);

// The value as 8-bit host text: a string converted to GBK, a number in
// decimal with up to 15 significant digits and no trailing zeros, a Boolean
// "True"/"False". Null, a list or an object raise.
std::string JsonText(const TvxJSONbase& value, std::u16string_view name);

// The value as a number: a number, or a text that converts to one (a Boolean
// by the platform's rule, true = -1). Null, a list, an object or a text that
// is no number raise.
double JsonNumber(const TvxJSONbase& value, std::u16string_view name);

// The value as a 32-bit whole number, converted as a variant converts to
// Integer: a fraction rounds half to even (2.5 gives 2, 3.5 gives 4), a
// numeric text the same, a Boolean true gives -1. Null, a list, an object, a
// text that is no number or a value outside the 32-bit range raise.
int32_t JsonWholeNumber(const TvxJSONbase& value, std::u16string_view name);

// Downcasts that raise when the value is of another kind.
TvxJSONobject& JsonObject(TvxJSONbase& value, std::u16string_view name);
TvxJSONlist& JsonList(TvxJSONbase& value, std::u16string_view name);

// The text of "code" when it is a JSON string (GBK). Null, a list or an
// object give empty text (they equal no code); a number or a Boolean cannot
// be compared with text and raise, as does a missing "code".
std::string AnswerCode(const TvxJSONobject& answer);

// The member's name as 8-bit text, for messages.
std::string MemberName(std::u16string_view name);

}  // namespace quorl::htk
