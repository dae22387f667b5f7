// The value classes of uVxJSON: scalars, pairs, lists, objects.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>

#include "json/JsonInternal.h"
#include "platform/Exception.h"

using quorl::JsonAccess;
using quorl::JsonShape;

namespace quorl {

namespace {

// Moves what `v` owns onto the work stack so that deleting `v` recurses no
// further: its destructor then finds nothing left to release.
// When the stack cannot grow (no memory left), `v` keeps what it owns and its
// own destructor releases it instead.
inline void Detach(TvxJSONbase* v, std::vector<TvxJSONbase*>& work) noexcept {
  try {
    const JsonShape s = JsonAccess::Shape(v);
    if (s == JsonShape::Pair) {
      TvxJSONbase*& value = JsonAccess::PairValue(static_cast<TvxJSONobjectmethod*>(v));
      if (value != nullptr) {
        work.push_back(value);
        value = nullptr;
      }
    } else if (JsonAccess::IsContainer(v)) {
      auto& children = JsonAccess::Children(static_cast<TvxJSONcustomlist*>(v));
      work.insert(work.end(), children.begin(), children.end());
      children.clear();
    }
  } catch (...) {
  }
}

inline void Keep(std::vector<TvxJSONbase*>& work, TvxJSONbase* v) noexcept {
  try {
    work.push_back(v);
  } catch (...) {
    delete v;  // no memory for the stack: release it the direct way
  }
}

// Whether deleting `v` directly could recurse more than one level: a
// container with children, or a pair whose value is one (or is a pair).
inline bool OwnsOthers(const TvxJSONbase* v) {
  const JsonShape s = JsonAccess::Shape(v);
  if (s == JsonShape::Pair) {
    const TvxJSONbase* value = static_cast<const TvxJSONobjectmethod*>(v)->ObjValue();
    if (value == nullptr) return false;
    const JsonShape vs = JsonAccess::Shape(value);
    if (vs == JsonShape::Pair) return true;
    return JsonAccess::IsContainer(value) &&
           !JsonAccess::Children(static_cast<const TvxJSONcustomlist*>(value)).empty();
  }
  return JsonAccess::IsContainer(v) &&
         !JsonAccess::Children(static_cast<const TvxJSONcustomlist*>(v)).empty();
}

[[noreturn]] void InvalidCast() { throw EInvalidCast("Invalid class typecast"); }

// The integer index a numeric variant key stands for; false when it names no
// possible index (out of the 32-bit range, not finite).
bool KeyIndex(const Variant& key, int32_t& index) {
  if (key.Type() == VarType::Integer) {
    const int64_t v = key.AsInt64();
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) return false;
    index = static_cast<int32_t>(v);
    return true;
  }
  double d = key.AsDouble();
  if (!std::isfinite(d)) return false;
  d = std::nearbyint(d);  // the platform rounds half to even
  if (d < std::numeric_limits<int32_t>::min() || d > std::numeric_limits<int32_t>::max()) return false;
  index = static_cast<int32_t>(d);
  return true;
}

int32_t NumberToInt(const TvxJSONbase* v) {
  if (v == nullptr) return 0;
  if (JsonAccess::Shape(v) != JsonShape::Number) InvalidCast();
  const long double t = std::trunc(static_cast<const TvxJSONnumber*>(v)->Value());
  // Out of range is an error rather than a silently wrapped value.
  if (!(t >= std::numeric_limits<int32_t>::min() && t <= std::numeric_limits<int32_t>::max())) {
    throw EConvertError("JSON number " + FloatToStr(static_cast<const TvxJSONnumber*>(v)->Value()) +
                        " is out of the 32-bit integer range");
  }
  return static_cast<int32_t>(t);
}

double NumberToDouble(const TvxJSONbase* v) {
  if (v == nullptr) return 0.0;
  if (JsonAccess::Shape(v) != JsonShape::Number) InvalidCast();
  return static_cast<double>(static_cast<const TvxJSONnumber*>(v)->Value());
}

const TvxJSONstring* StringOf(const TvxJSONbase* v) {
  if (v == nullptr) return nullptr;
  if (JsonAccess::Shape(v) != JsonShape::String) InvalidCast();
  return static_cast<const TvxJSONstring*>(v);
}

bool BooleanOf(const TvxJSONbase* v) {
  if (v == nullptr) return false;
  if (JsonAccess::Shape(v) != JsonShape::Boolean) InvalidCast();
  return static_cast<const TvxJSONboolean*>(v)->Value();
}

}  // namespace

void DestroyValues(std::vector<TvxJSONbase*>& work) noexcept {
  // Popping from the back releases the last child first, as deleting the
  // children one by one from the last index would.
  while (!work.empty()) {
    TvxJSONbase* v = work.back();
    work.pop_back();
    if (v == nullptr) continue;
    Detach(v, work);
    delete v;
  }
}

void DestroyChildren(JsonAccess::ChildVector& children) noexcept {
  // Leaves go at once; only nested children need the work stack.
  std::vector<TvxJSONbase*> work;
  for (size_t i = children.size(); i-- > 0;) {
    TvxJSONbase* v = children[i];
    if (v == nullptr) continue;
    if (OwnsOthers(v))
      Keep(work, v);
    else
      delete v;
  }
  children.clear();
  std::reverse(work.begin(), work.end());
  DestroyValues(work);
}

void DestroyValue(TvxJSONbase* value) noexcept {
  if (value == nullptr) return;
  if (!OwnsOthers(value)) {
    delete value;
    return;
  }
  std::vector<TvxJSONbase*> work;
  Keep(work, value);
  DestroyValues(work);
}

}  // namespace quorl

// TvxJSONbase

Variant TvxJSONbase::GetValue() const { return Variant::Null(); }
void TvxJSONbase::SetValue(const Variant&) {}
TvxJSONbase* TvxJSONbase::GetChild(int32_t) const { return nullptr; }
void TvxJSONbase::SetChild(int32_t, TvxJSONbase*) {}
int32_t TvxJSONbase::GetCount() const { return 0; }
TvxJSONbase* TvxJSONbase::GetField(const Variant&) { return this; }
TvxJSONtypes TvxJSONbase::SelfType() const { return jsBase; }
AnsiString TvxJSONbase::SelfTypeName() const { return "jsBase"; }

// Scalars

TvxJSONnumber* TvxJSONnumber::Generate(long double value) {
  auto* n = new TvxJSONnumber;
  n->value_ = value;
  return n;
}
Variant TvxJSONnumber::GetValue() const { return Variant(static_cast<double>(value_)); }
void TvxJSONnumber::SetValue(const Variant& value) { value_ = value.AsDouble(); }

TvxJSONstring* TvxJSONstring::Generate(std::u16string_view value) {
  auto* s = new TvxJSONstring;
  s->value_.Assign(value);
  return s;
}
Variant TvxJSONstring::GetValue() const { return Variant(WideString(value_.View())); }
void TvxJSONstring::SetValue(const Variant& value) { value_.Assign(value.AsUString()); }

TvxJSONboolean* TvxJSONboolean::Generate(bool value) {
  auto* b = new TvxJSONboolean;
  b->SetValue(Variant(value));
  return b;
}
Variant TvxJSONboolean::GetValue() const { return Variant(value_); }
void TvxJSONboolean::SetValue(const Variant& value) { value_ = value.AsBoolean(); }

TvxJSONnull* TvxJSONnull::Generate() { return new TvxJSONnull; }

// TvxJSONobjectmethod

TvxJSONobjectmethod::~TvxJSONobjectmethod() {
  name_.Clear();
  quorl::DestroyValue(value_);
}

TvxJSONobjectmethod* TvxJSONobjectmethod::Generate(std::u16string_view name, TvxJSONbase* value) {
  auto* p = new TvxJSONobjectmethod;
  p->name_.Assign(name);
  p->SetObjValue(value);
  return p;
}

TvxJSONbase* TvxJSONobjectmethod::SetObjValue(TvxJSONbase* value) {
  if (value == this) return nullptr;  // a pair cannot own itself
  TvxJSONbase* old = value_;
  value_ = value;
  return old;
}

// TvxJSONcustomlist

TvxJSONcustomlist::~TvxJSONcustomlist() {
  if (!children_.empty()) quorl::DestroyChildren(children_);
}

TvxJSONbase* TvxJSONcustomlist::GetChild(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= children_.size()) return nullptr;
  return children_[static_cast<size_t>(index)];
}

void TvxJSONcustomlist::SetChild(int32_t index, TvxJSONbase* value) {
  if (index < 0 || static_cast<size_t>(index) >= children_.size()) return;
  TvxJSONbase*& slot = children_[static_cast<size_t>(index)];
  // Storing the child that is already there must not destroy it.
  if (slot == value || value == this) return;
  TvxJSONbase* old = slot;
  slot = value;
  quorl::DestroyValue(old);
}

int32_t TvxJSONcustomlist::GetCount() const { return static_cast<int32_t>(children_.size()); }

TvxJSONbase* TvxJSONcustomlist::GetField(const Variant& key) {
  if (!key.IsNumeric()) return this;
  int32_t index = 0;
  if (!quorl::KeyIndex(key, index)) return nullptr;
  return GetChild(index);
}

TvxJSONbase* TvxJSONcustomlist::ForEachElement(int32_t index, AnsiString& elName) const {
  elName = std::to_string(index);
  return GetChild(index);
}

int32_t TvxJSONcustomlist::_Add(TvxJSONbase* value) {
  if (value == nullptr || value == this) return -1;
  if (children_.size() >= static_cast<size_t>(INT32_MAX)) return -1;  // indexes are 32-bit
  children_.push_back(value);
  return static_cast<int32_t>(children_.size() - 1);
}

void TvxJSONcustomlist::_Delete(int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= children_.size()) return;
  const size_t i = static_cast<size_t>(index);
  TvxJSONbase* old = children_[i];
  // The last child fills the gap: constant time, order not kept.
  children_[i] = children_.back();
  children_.pop_back();
  quorl::DestroyValue(old);
}

int32_t TvxJSONcustomlist::_IndexOf(const TvxJSONbase* value) const {
  for (size_t i = 0; i < children_.size(); ++i) {
    if (children_[i] == value) return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t TvxJSONcustomlist::getInt(int32_t index) const { return quorl::NumberToInt(GetChild(index)); }
double TvxJSONcustomlist::getDouble(int32_t index) const { return quorl::NumberToDouble(GetChild(index)); }
AnsiString TvxJSONcustomlist::getString(int32_t index) const {
  const TvxJSONstring* s = quorl::StringOf(GetChild(index));
  return s ? quorl::Utf16ToGbk(s->Value()) : AnsiString();
}
WideString TvxJSONcustomlist::getWideString(int32_t index) const {
  const TvxJSONstring* s = quorl::StringOf(GetChild(index));
  return s ? WideString(s->Value()) : WideString();
}
bool TvxJSONcustomlist::getBoolean(int32_t index) const { return quorl::BooleanOf(GetChild(index)); }

void TvxJSONcustomlist::ForEach(const TvxJSONFuncEnum& callback, void* data) const {
  if (!callback) return;
  bool goOn = true;
  AnsiString name;
  for (int32_t i = 0; i < GetCount(); ++i) {
    TvxJSONbase* element = ForEachElement(i, name);
    if (element == nullptr) continue;
    callback(name, element, data, goOn);
    if (!goOn) break;
  }
}

// TvxJSONlist

TvxJSONlist* TvxJSONlist::Generate() { return new TvxJSONlist; }
int32_t TvxJSONlist::Add(double value) { return _Add(TvxJSONnumber::Generate(value)); }
int32_t TvxJSONlist::Add(bool value) { return _Add(TvxJSONboolean::Generate(value)); }
int32_t TvxJSONlist::Add(int32_t value) { return _Add(TvxJSONnumber::Generate(value)); }
int32_t TvxJSONlist::Add(const WideString& value) { return _Add(TvxJSONstring::Generate(value)); }
int32_t TvxJSONlist::Add(const AnsiString& value) {
  return _Add(TvxJSONstring::Generate(quorl::GbkToUtf16(value)));
}

// TvxJSONobject

TvxJSONobject::TvxJSONobject(bool useIndex) : TvxJSONcustomlist(JsonShape::Object), useIndex_(useIndex) {}

TvxJSONobject* TvxJSONobject::Generate(bool useIndex) { return new TvxJSONobject(useIndex); }

const TvxJSONobjectmethod* TvxJSONobject::PairAt(int32_t index) const {
  const TvxJSONbase* v = GetChild(index);
  if (v == nullptr || JsonAccess::Shape(v) != JsonShape::Pair) return nullptr;
  return static_cast<const TvxJSONobjectmethod*>(v);
}

void TvxJSONobject::RebuildIndex() {
  index_.Clear();
  const auto& children = JsonAccess::Children(this);
  index_.Reserve(children.size());
  for (size_t i = 0; i < children.size(); ++i) {
    const TvxJSONobjectmethod* p = PairAt(static_cast<int32_t>(i));
    if (p != nullptr) index_.Insert(p->Name(), static_cast<int32_t>(i));
  }
}

TvxJSONbase* TvxJSONobject::GetField(const Variant& key) {
  if (key.IsText()) return OldGetField(key.AsUString());
  return TvxJSONcustomlist::GetField(key);
}

void TvxJSONobject::SetChild(int32_t index, TvxJSONbase* value) {
  if (index < 0 || index >= GetCount()) return;
  if (value == nullptr || JsonAccess::Shape(value) != JsonShape::Pair) return;
  if (GetChild(index) == value) return;
  TvxJSONcustomlist::SetChild(index, value);
  // A replaced pair may carry another name; the index must follow.
  if (useIndex_) RebuildIndex();
}

int32_t TvxJSONobject::_Add(TvxJSONbase* value) {
  if (value == nullptr || JsonAccess::Shape(value) != JsonShape::Pair) return -1;
  const int32_t index = TvxJSONcustomlist::_Add(value);
  if (index >= 0 && useIndex_) {
    // A name already present stays mapped to its earlier member.
    index_.Insert(static_cast<TvxJSONobjectmethod*>(value)->Name(), index);
  }
  return index;
}

void TvxJSONobject::_Delete(int32_t index) {
  if (index < 0 || index >= GetCount()) return;
  if (!useIndex_) {
    TvxJSONcustomlist::_Delete(index);
    return;
  }
  // With the index the removal keeps the order: the tree's deletion lowers
  // every stored position above the removed one, which only matches when the
  // successors move up one place.
  std::u16string name;
  bool indexed = false;
  const TvxJSONobjectmethod* pair = PairAt(index);
  if (pair != nullptr && index_.IndexOf(pair->Name()) == index) {
    name = pair->Name();
    indexed = true;
  } else {
    indexed = index_.FindNameOfIndex(index, name);
  }
  if (indexed)
    index_.Delete(name);
  else
    index_.LowerIndexesAbove(index);

  auto& children = JsonAccess::Children(this);
  TvxJSONbase* old = children[static_cast<size_t>(index)];
  children.erase(children.begin() + index);
  quorl::DestroyValue(old);

  // A later member of the same name becomes the one the name finds.
  if (indexed) {
    for (size_t i = 0; i < children.size(); ++i) {
      const TvxJSONobjectmethod* p = PairAt(static_cast<int32_t>(i));
      if (p != nullptr && p->Name() == name) {
        index_.Insert(name, static_cast<int32_t>(i));
        break;
      }
    }
  }
}

TvxJSONbase* TvxJSONobject::ForEachElement(int32_t index, AnsiString& elName) const {
  elName = quorl::Utf16ToGbk(GetNameOf(index));
  return GetFieldByIndex(index);
}

int32_t TvxJSONobject::getInt(int32_t index) const { return quorl::NumberToInt(GetFieldByIndex(index)); }
double TvxJSONobject::getDouble(int32_t index) const { return quorl::NumberToDouble(GetFieldByIndex(index)); }
AnsiString TvxJSONobject::getString(int32_t index) const {
  const TvxJSONstring* s = quorl::StringOf(GetFieldByIndex(index));
  return s ? quorl::Utf16ToGbk(s->Value()) : AnsiString();
}
WideString TvxJSONobject::getWideString(int32_t index) const {
  const TvxJSONstring* s = quorl::StringOf(GetFieldByIndex(index));
  return s ? WideString(s->Value()) : WideString();
}
bool TvxJSONobject::getBoolean(int32_t index) const { return quorl::BooleanOf(GetFieldByIndex(index)); }

int32_t TvxJSONobject::getInt(const AnsiString& name) const {
  return getInt(IndexOfName(quorl::GbkToUtf16(name)));
}
AnsiString TvxJSONobject::getString(const AnsiString& name) const {
  return getString(IndexOfName(quorl::GbkToUtf16(name)));
}
WideString TvxJSONobject::getWideString(const AnsiString& name) const {
  return getWideString(IndexOfName(quorl::GbkToUtf16(name)));
}
double TvxJSONobject::getDouble(const AnsiString& name) const {
  return getDouble(IndexOfName(quorl::GbkToUtf16(name)));
}
bool TvxJSONobject::getBoolean(const AnsiString& name) const {
  return getBoolean(IndexOfName(quorl::GbkToUtf16(name)));
}

int32_t TvxJSONobject::Add(const WideString& name, TvxJSONbase* value) {
  if (value == nullptr) return -1;
  return _Add(TvxJSONobjectmethod::Generate(name, value));
}
int32_t TvxJSONobject::Add(const WideString& name, double value) {
  return Add(name, TvxJSONnumber::Generate(value));
}
int32_t TvxJSONobject::Add(const WideString& name, bool value) {
  return Add(name, TvxJSONboolean::Generate(value));
}
int32_t TvxJSONobject::Add(const WideString& name, const AnsiString& value) {
  return Add(name, TvxJSONstring::Generate(quorl::GbkToUtf16(value)));
}
int32_t TvxJSONobject::Add(const WideString& name, int32_t value) {
  return Add(name, TvxJSONnumber::Generate(value));
}
int32_t TvxJSONobject::Add(const WideString& name, const WideString& value) {
  return Add(name, TvxJSONstring::Generate(value));
}

int32_t TvxJSONobject::IndexOfName(std::u16string_view name) const {
  if (useIndex_) return index_.IndexOf(name);
  const auto& children = JsonAccess::Children(this);
  for (size_t i = 0; i < children.size(); ++i) {
    const TvxJSONobjectmethod* p = PairAt(static_cast<int32_t>(i));
    if (p != nullptr && p->Name() == name) return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t TvxJSONobject::IndexOfObject(const TvxJSONbase* value) const {
  const auto& children = JsonAccess::Children(this);
  for (size_t i = 0; i < children.size(); ++i) {
    const TvxJSONobjectmethod* p = PairAt(static_cast<int32_t>(i));
    if (p != nullptr && p->ObjValue() == value) return static_cast<int32_t>(i);
  }
  return -1;
}

TvxJSONbase* TvxJSONobject::OldGetField(std::u16string_view name) const {
  const TvxJSONobjectmethod* p = PairAt(IndexOfName(name));
  return p ? p->ObjValue() : nullptr;
}

void TvxJSONobject::OldSetField(std::u16string_view name, TvxJSONbase* value) {
  const int32_t index = IndexOfName(name);
  if (PairAt(index) == nullptr) return;
  // The pair is ours; the replaced value deliberately is not destroyed.
  auto* pair = static_cast<TvxJSONobjectmethod*>(GetChild(index));
  pair->SetObjValue(value);
}

WideString TvxJSONobject::GetNameOf(int32_t index) const {
  const TvxJSONobjectmethod* p = PairAt(index);
  return p ? WideString(p->Name()) : WideString();
}

TvxJSONbase* TvxJSONobject::GetFieldByIndex(int32_t index) const {
  const TvxJSONobjectmethod* p = PairAt(index);
  if (p == nullptr || p->Name().empty()) return nullptr;
  return OldGetField(p->Name());
}

void TvxJSONobject::SetFieldByIndex(int32_t index, TvxJSONbase* value) {
  const TvxJSONobjectmethod* p = PairAt(index);
  if (p == nullptr || p->Name().empty()) return;
  OldSetField(p->Name(), value);
}
