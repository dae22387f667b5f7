#include "json/JsonTreeEqual.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string_view>
#include <utility>
#include <vector>

#include "json/JsonInternal.h"
#include "platform/FloatText.h"

namespace quorl {

namespace {

bool SameNumber(long double x, long double y, NumberMatch numbers) {
  if (numbers == NumberMatch::Exact) return x == y;
  char bx[kMaxFloatText];
  char by[kMaxFloatText];
  if (std::string_view(bx, FormatFloat15(x, bx)) == std::string_view(by, FormatFloat15(y, by))) return true;
  if (std::isnan(x) || std::isnan(y) || std::isinf(x) || std::isinf(y)) return false;
  const long double scale = std::max(std::fabs(x), std::fabs(y));
  return std::fabs(x - y) <= scale * 1e-14L + LDBL_TRUE_MIN;
}

}  // namespace

bool JsonTreeEqual(const TvxJSONbase* a, const TvxJSONbase* b, NumberMatch numbers) {
  std::vector<std::pair<const TvxJSONbase*, const TvxJSONbase*>> work;
  work.emplace_back(a, b);
  while (!work.empty()) {
    auto [x, y] = work.back();
    work.pop_back();
    if (x == nullptr || y == nullptr) {
      if (x != y) return false;
      continue;
    }
    const JsonShape shape = JsonAccess::Shape(x);
    if (shape != JsonAccess::Shape(y)) return false;
    switch (shape) {
      case JsonShape::Number:
        if (!SameNumber(static_cast<const TvxJSONnumber*>(x)->Value(),
                        static_cast<const TvxJSONnumber*>(y)->Value(), numbers))
          return false;
        break;
      case JsonShape::String:
        if (static_cast<const TvxJSONstring*>(x)->Value() != static_cast<const TvxJSONstring*>(y)->Value())
          return false;
        break;
      case JsonShape::Boolean:
        if (static_cast<const TvxJSONboolean*>(x)->Value() != static_cast<const TvxJSONboolean*>(y)->Value())
          return false;
        break;
      case JsonShape::Pair: {
        const auto* px = static_cast<const TvxJSONobjectmethod*>(x);
        const auto* py = static_cast<const TvxJSONobjectmethod*>(y);
        if (px->Name() != py->Name()) return false;
        work.emplace_back(px->ObjValue(), py->ObjValue());
        break;
      }
      case JsonShape::List:
      case JsonShape::Object:
      case JsonShape::CustomList: {
        const auto& cx = JsonAccess::Children(static_cast<const TvxJSONcustomlist*>(x));
        const auto& cy = JsonAccess::Children(static_cast<const TvxJSONcustomlist*>(y));
        if (cx.size() != cy.size()) return false;
        for (size_t i = cx.size(); i-- > 0;) work.emplace_back(cx[i], cy[i]);
        break;
      }
      default:
        break;
    }
  }
  return true;
}

}  // namespace quorl
