// Internals shared by the parts of uVxJSON (values, parser, generator). Not
// part of the unit's contract; included only by json/*.cpp and its tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "json/uVxJSON.h"
#include "platform/Utf8.h"

namespace quorl {

struct JsonAccess {
  static JsonShape Shape(const TvxJSONbase* v) { return v->shape_; }
  static bool IsContainer(const TvxJSONbase* v) {
    const JsonShape s = v->shape_;
    return s == JsonShape::List || s == JsonShape::Object || s == JsonShape::CustomList;
  }
  using ChildVector = std::vector<TvxJSONbase*, ArenaAllocator<TvxJSONbase*>>;
  static ChildVector& Children(TvxJSONcustomlist* l) { return l->children_; }
  static const ChildVector& Children(const TvxJSONcustomlist* l) { return l->children_; }
  static TvxJSONbase*& PairValue(TvxJSONobjectmethod* p) { return p->value_; }
  static ArenaText& PairName(TvxJSONobjectmethod* p) { return p->name_; }
  static ArenaText& Text(TvxJSONstring* s) { return s->value_; }
  static long double& Number(TvxJSONnumber* n) { return n->value_; }
  static bool& Boolean(TvxJSONboolean* b) { return b->value_; }
  static TvxBalTree& Index(TvxJSONobject* o) { return o->index_; }
};

// Destroys a value and everything under it without recursing on the depth.
void DestroyValue(TvxJSONbase* value) noexcept;
// Destroys every value in `work` and everything under them; `work` is used as
// the work stack and is empty afterwards.
void DestroyValues(std::vector<TvxJSONbase*>& work) noexcept;
// Destroys the children of a container being destroyed (the sequence is left
// empty).
void DestroyChildren(JsonAccess::ChildVector& children) noexcept;

// UTF-8 -> UTF-16, appended to `out`. Invalid sequences become U+FFFD (one per
// maximal invalid subpart); 3-byte encodings of surrogate halves give that
// code unit back, so a pair written as two \u escapes survives.
void AppendUtf8AsUtf16(std::string_view utf8, std::u16string& out);
// The same into `out`, which must have room for utf8.size() code units;
// returns the number of code units written.
inline size_t DecodeJsonUtf8(std::string_view utf8, char16_t* out) {
  return DecodeUtf8ToUtf16<Utf8Surrogates::Accept>(utf8, out);
}

// Converts a lexeme of the JSON number grammar (optional sign, digits,
// optional fraction, optional exponent), correctly rounded. False when the
// value is out of the long double range: it overflows, or a lexeme with a
// non-zero digit underflows to zero.
bool ParseJsonNumber(const char* begin, const char* end, long double& out);
// mantissa x 10^exponent when that is computed exactly rounded by the quick
// route (mantissa below 10^19, |exponent| at most 27); false otherwise.
bool ExactNumber(uint64_t mantissa, int64_t exponent, bool negative, long double& out);
// Numbers are written by FormatFloat15 (platform/FloatText.h), as FloatToStr
// writes them.

}  // namespace quorl
