// ParseText on arbitrary bytes: no crash, no leak, no deep recursion; and the
// compact text of any result parses again to an equal tree (numbers to 15
// significant digits), whose own compact text is the same. The readable text
// reads back to the same tree as well.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "json/JsonTreeEqual.h"
#include "json/uVxJSON.h"

namespace {

// Reads every member through the object's lookups, as the platform client does.
void Exercise(TvxJSONbase* v, int depth) {
  if (v == nullptr || depth > 4) return;
  if (auto* o = dynamic_cast<TvxJSONobject*>(v)) {
    for (int32_t i = 0; i < o->GetCount() && i < 64; ++i) {
      const std::u16string name = o->GetNameOf(i);
      const int32_t first = o->IndexOfName(name);
      if (first < 0 || first > i || o->GetNameOf(first) != name) std::abort();
      Exercise(o->GetFieldByIndex(i), depth + 1);
    }
  } else if (auto* l = dynamic_cast<TvxJSONlist*>(v)) {
    for (int32_t i = 0; i < l->GetCount() && i < 64; ++i) Exercise(l->GetChild(i), depth + 1);
  } else {
    (void)v->GetValue();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<TvxJSONbase> tree(TvxJSON::ParseText(text));
  if (!tree) return 0;
  Exercise(tree.get(), 0);

  const std::string compact = TvxJSON::GenerateText(tree.get());
  std::unique_ptr<TvxJSONbase> again(TvxJSON::ParseText(compact));
  if (!again || !quorl::JsonTreeEqual(tree.get(), again.get(), quorl::NumberMatch::FifteenDigits))
    std::abort();
  if (TvxJSON::GenerateText(again.get()) != compact) std::abort();

  int32_t level = 0;
  const std::string readable = GenerateReadableText(tree.get(), level);
  if (level != 0) std::abort();
  std::unique_ptr<TvxJSONbase> third(TvxJSON::ParseText(readable));
  if (!third || !quorl::JsonTreeEqual(again.get(), third.get())) std::abort();
  return 0;
}
