// uVxJSON: JSON documents in memory, parsed from and written to text.
//
// A document is a tree of value objects under TvxJSONbase: numbers (80-bit
// long double), UTF-16 strings, Booleans, null, lists (JSON arrays) and
// objects, whose children are name/value pairs (TvxJSONobjectmethod).
//
// Ownership. Values are handed around as raw pointers, as the host's code does:
//  - a list owns its children, an object its pairs, a pair its value;
//  - every Add / _Add / SetChild / TvxJSONobjectmethod::Generate takes
//    ownership of the value it is given -- but only when it accepts it: a
//    refused value (none, out-of-range index, a non-pair for an object) stays
//    with the caller;
//  - GetChild, GetField, OldGetField, GetFieldByIndex and ForEachElement return
//    references that stay owned by the container;
//  - SetChild destroys the child it replaces; OldSetField and SetFieldByIndex do
//    not: the replaced value goes back to the caller, who must free it;
//  - ParseText / LoadFrom* return a new tree owned by the caller (delete it).
// A value may sit in one container only, and never inside itself.
//
// Destroying, generating and comparing trees never recurse on the tree's
// depth, so trees of any depth built by code are safe. The parser refuses
// input nested deeper than kMaxJsonDepth (the parse gives none).
//
// Text: member names and string values are UTF-16 (std::u16string); the
// 8-bit variants of names, getString and the ForEach element names are in the
// host code page (GBK). JSON text itself is 8-bit with UTF-8 string contents.
//
// Not thread-safe per tree; no global state. Different trees may be used on
// different threads.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "core/PackageExport.h"
#include "json/NodeArena.h"
#include "json/TvxBalTree.h"
#include "platform/CodePage.h"
#include "platform/Variant.h"

enum TvxJSONtypes : uint8_t { jsBase, jsNumber, jsString, jsBoolean, jsNull, jsList, jsObject };

// Deepest nesting of lists and objects that ParseText accepts; one level more
// makes the parse give none, so hostile input cannot exhaust the stack.
inline constexpr int kMaxJsonDepth = 512;

class TvxJSONbase;

// ForEach callback: called with the element's name (8-bit), the element, the
// caller's data pointer and Continue (starts true; clear it to stop the walk).
// A std::function binds an object and a method (or any callable).
using TvxJSONFuncEnum =
    std::function<void(const AnsiString& ElName, TvxJSONbase* Elem, void* data, bool& Continue)>;

namespace quorl {
// Which generated form a value takes; a subclass inherits the form of its
// base (a class derived from TvxJSONlist is written as a list).
enum class JsonShape : uint8_t { Other, CustomList, Number, String, Boolean, Null, List, Pair, Object };
struct JsonAccess;
}  // namespace quorl

class QUORL_PACKAGE_API TvxJSONbase {
 public:
  TvxJSONbase() = default;
  virtual ~TvxJSONbase() = default;
  TvxJSONbase(const TvxJSONbase&) = delete;
  TvxJSONbase& operator=(const TvxJSONbase&) = delete;

  // Values come from the unit's node arena (json/NodeArena.h); `delete` of any
  // value, subclasses included, returns it there.
  static void* operator new(std::size_t size) { return quorl::ArenaAllocate(size); }
  static void operator delete(void* p, std::size_t size) noexcept { quorl::ArenaFree(p, size); }

  // Null variant here and for null, pairs and containers; scalars give their value.
  virtual Variant GetValue() const;
  // Scalars convert the variant (EVariantError / EConvertError when it does
  // not convert); every other class ignores it.
  virtual void SetValue(const Variant& value);
  // Containers: the child at index, none when out of range. Others: none.
  virtual TvxJSONbase* GetChild(int32_t index) const;
  // Containers: destroys the old child and stores `value` (owned from now on);
  // out of range: ignored. Others: ignored.
  virtual void SetChild(int32_t index, TvxJSONbase* value);
  // Containers: number of children. Others: 0.
  virtual int32_t GetCount() const;
  // Scalars and pairs: the value itself. Containers: a numeric key reads the
  // child at that index, any other key gives the container itself; objects
  // read a text key as a member name (none when absent).
  virtual TvxJSONbase* GetField(const Variant& key);
  virtual TvxJSONtypes SelfType() const;
  virtual AnsiString SelfTypeName() const;

  // The class-level forms of SelfType / SelfTypeName, callable without an
  // instance (TvxJSONlist::ClassSelfType()).
  static TvxJSONtypes ClassSelfType() { return jsBase; }
  static AnsiString ClassSelfTypeName() { return "jsBase"; }

 protected:
  explicit TvxJSONbase(quorl::JsonShape shape) : shape_(shape) {}

 private:
  friend struct quorl::JsonAccess;
  quorl::JsonShape shape_ = quorl::JsonShape::Other;
};

class QUORL_PACKAGE_API TvxJSONnumber : public TvxJSONbase {
 public:
  TvxJSONnumber() : TvxJSONbase(quorl::JsonShape::Number) {}
  static TvxJSONnumber* Generate(long double value);

  Variant GetValue() const override;  // double variant
  void SetValue(const Variant& value) override;
  TvxJSONtypes SelfType() const override { return jsNumber; }
  AnsiString SelfTypeName() const override { return "jsNumber"; }
  static TvxJSONtypes ClassSelfType() { return jsNumber; }
  static AnsiString ClassSelfTypeName() { return "jsNumber"; }

  long double Value() const { return value_; }
  void SetNumber(long double value) { value_ = value; }

 private:
  friend struct quorl::JsonAccess;
  long double value_ = 0;
};

class QUORL_PACKAGE_API TvxJSONstring : public TvxJSONbase {
 public:
  TvxJSONstring() : TvxJSONbase(quorl::JsonShape::String) {}
  static TvxJSONstring* Generate(std::u16string_view value);

  Variant GetValue() const override;  // UTF-16 string variant
  void SetValue(const Variant& value) override;
  TvxJSONtypes SelfType() const override { return jsString; }
  AnsiString SelfTypeName() const override { return "jsString"; }
  static TvxJSONtypes ClassSelfType() { return jsString; }
  static AnsiString ClassSelfTypeName() { return "jsString"; }

  std::u16string_view Value() const { return value_.View(); }
  void SetText(std::u16string_view value) { value_.Assign(value); }

 private:
  friend struct quorl::JsonAccess;
  quorl::ArenaText value_;
};

class QUORL_PACKAGE_API TvxJSONboolean : public TvxJSONbase {
 public:
  TvxJSONboolean() : TvxJSONbase(quorl::JsonShape::Boolean) {}
  static TvxJSONboolean* Generate(bool value);

  Variant GetValue() const override;  // Boolean variant
  void SetValue(const Variant& value) override;
  TvxJSONtypes SelfType() const override { return jsBoolean; }
  AnsiString SelfTypeName() const override { return "jsBoolean"; }
  static TvxJSONtypes ClassSelfType() { return jsBoolean; }
  static AnsiString ClassSelfTypeName() { return "jsBoolean"; }

  bool Value() const { return value_; }

 private:
  friend struct quorl::JsonAccess;
  bool value_ = false;
};

class QUORL_PACKAGE_API TvxJSONnull : public TvxJSONbase {
 public:
  TvxJSONnull() : TvxJSONbase(quorl::JsonShape::Null) {}
  static TvxJSONnull* Generate();

  TvxJSONtypes SelfType() const override { return jsNull; }
  AnsiString SelfTypeName() const override { return "jsNull"; }
  static TvxJSONtypes ClassSelfType() { return jsNull; }
  static AnsiString ClassSelfTypeName() { return "jsNull"; }
};

// A member of an object: a name and an owned value (or none).
class QUORL_PACKAGE_API TvxJSONobjectmethod : public TvxJSONbase {
 public:
  TvxJSONobjectmethod() : TvxJSONbase(quorl::JsonShape::Pair) {}
  ~TvxJSONobjectmethod() override;
  // A pair named `name` owning `value`.
  static TvxJSONobjectmethod* Generate(std::u16string_view name, TvxJSONbase* value);

  std::u16string_view Name() const { return name_.View(); }
  // Renames the pair only: the name index of an object holding it is not told.
  void SetName(std::u16string_view name) { name_.Assign(name); }
  TvxJSONbase* ObjValue() const { return value_; }
  // Takes ownership of `value` and returns the previous value, which is not
  // destroyed: it belongs to the caller again.
  TvxJSONbase* SetObjValue(TvxJSONbase* value);

 private:
  friend struct quorl::JsonAccess;
  TvxJSONbase* value_ = nullptr;
  quorl::ArenaText name_;
};

// Common part of lists and objects: an ordered sequence of owned children.
// Instantiable, but generated as nothing (only lists and objects have a text).
class QUORL_PACKAGE_API TvxJSONcustomlist : public TvxJSONbase {
 public:
  TvxJSONcustomlist() : TvxJSONbase(quorl::JsonShape::CustomList) {}
  ~TvxJSONcustomlist() override;

  TvxJSONbase* GetChild(int32_t index) const override;
  void SetChild(int32_t index, TvxJSONbase* value) override;
  int32_t GetCount() const override;
  TvxJSONbase* GetField(const Variant& key) override;

  // Element `index` and its name: on a list the index in decimal, on an
  // object the member name in the host code page. None when out of range.
  virtual TvxJSONbase* ForEachElement(int32_t index, AnsiString& elName) const;
  // Appends `value` (taking ownership) and returns its index; none gives -1.
  virtual int32_t _Add(TvxJSONbase* value);
  // Destroys the child at index; on lists the last child then moves into the
  // gap (constant time, order not kept). Out of range: nothing.
  virtual void _Delete(int32_t index);
  // Position of this very reference among the children, -1 when absent.
  virtual int32_t _IndexOf(const TvxJSONbase* value) const;
  // Typed reads of element `index` (GetChild on lists, GetFieldByIndex on
  // objects). Missing element: 0, empty, 0.0, false. An element of another
  // class raises EInvalidCast. getInt truncates toward zero and raises
  // EConvertError when the result does not fit 32 bits.
  virtual int32_t getInt(int32_t index) const;
  virtual AnsiString getString(int32_t index) const;
  virtual WideString getWideString(int32_t index) const;
  virtual double getDouble(int32_t index) const;
  virtual bool getBoolean(int32_t index) const;

  // Calls `callback` for every element that is not none, from index 0 up,
  // until it clears Continue. An empty callback does nothing.
  void ForEach(const TvxJSONFuncEnum& callback, void* data) const;

 protected:
  explicit TvxJSONcustomlist(quorl::JsonShape shape) : TvxJSONbase(shape) {}

 private:
  friend struct quorl::JsonAccess;
  std::vector<TvxJSONbase*, quorl::ArenaAllocator<TvxJSONbase*>> children_;
};

class QUORL_PACKAGE_API TvxJSONlist : public TvxJSONcustomlist {
 public:
  TvxJSONlist() : TvxJSONcustomlist(quorl::JsonShape::List) {}
  static TvxJSONlist* Generate();

  TvxJSONtypes SelfType() const override { return jsList; }
  AnsiString SelfTypeName() const override { return "jsList"; }
  static TvxJSONtypes ClassSelfType() { return jsList; }
  static AnsiString ClassSelfTypeName() { return "jsList"; }

  // Each returns the new index; Add(none) gives -1. Scalars are wrapped first;
  // 8-bit text is converted from the host code page.
  int32_t Add(TvxJSONbase* value) { return _Add(value); }
  int32_t Add(double value);
  int32_t Add(bool value);
  int32_t Add(int32_t value);
  int32_t Add(const WideString& value);
  int32_t Add(const AnsiString& value);
  int32_t Add(const char* value) { return Add(AnsiString(value)); }
  int32_t Add(const char16_t* value) { return Add(WideString(value)); }
  void Delete(int32_t index) { _Delete(index); }
  int32_t IndexOf(const TvxJSONbase* value) const { return _IndexOf(value); }
};

// A JSON object. With the use-index flag set (the parser always sets it) names
// are found through the owned TvxBalTree; with it clear by a linear scan.
// Either way the first member of a repeated name is found.
//
// Deletion: with the flag set, a deleted member's successors move up one place
// (member order is kept) and the index follows them; with it clear, deletion is
// the list's (the last member fills the gap). Children are always pairs: _Add
// and SetChild refuse anything else (the value stays with the caller).
class QUORL_PACKAGE_API TvxJSONobject : public TvxJSONcustomlist {
 public:
  explicit TvxJSONobject(bool useIndex);
  static TvxJSONobject* Generate(bool useIndex);

  TvxJSONbase* GetField(const Variant& key) override;
  void SetChild(int32_t index, TvxJSONbase* value) override;
  TvxJSONtypes SelfType() const override { return jsObject; }
  AnsiString SelfTypeName() const override { return "jsObject"; }
  static TvxJSONtypes ClassSelfType() { return jsObject; }
  static AnsiString ClassSelfTypeName() { return "jsObject"; }

  TvxJSONbase* ForEachElement(int32_t index, AnsiString& elName) const override;
  // Accepts pairs only (-1 for anything else); indexes the pair's name.
  int32_t _Add(TvxJSONbase* value) override;
  void _Delete(int32_t index) override;
  int32_t getInt(int32_t index) const override;
  AnsiString getString(int32_t index) const override;
  WideString getWideString(int32_t index) const override;
  double getDouble(int32_t index) const override;
  bool getBoolean(int32_t index) const override;
  using TvxJSONcustomlist::getBoolean;
  using TvxJSONcustomlist::getDouble;
  using TvxJSONcustomlist::getInt;
  using TvxJSONcustomlist::getString;
  using TvxJSONcustomlist::getWideString;
  // By-name forms: the 8-bit name is converted from the host code page and
  // looked up with IndexOfName; a missing name gives the getter's default.
  int32_t getInt(const AnsiString& name) const;
  AnsiString getString(const AnsiString& name) const;
  WideString getWideString(const AnsiString& name) const;
  double getDouble(const AnsiString& name) const;
  bool getBoolean(const AnsiString& name) const;

  // Appends the pair (name, value) and returns its index; none gives -1.
  int32_t Add(const WideString& name, TvxJSONbase* value);
  int32_t Add(const WideString& name, double value);
  int32_t Add(const WideString& name, bool value);
  int32_t Add(const WideString& name, const AnsiString& value);
  int32_t Add(const WideString& name, int32_t value);
  int32_t Add(const WideString& name, const WideString& value);
  int32_t Add(const WideString& name, const char* value) { return Add(name, AnsiString(value)); }
  int32_t Add(const WideString& name, const char16_t* value) { return Add(name, WideString(value)); }
  void Delete(int32_t index) { _Delete(index); }

  int32_t IndexOfName(std::u16string_view name) const;
  int32_t IndexOfObject(const TvxJSONbase* value) const;
  // Value of the first member named `name`; none when absent.
  TvxJSONbase* OldGetField(std::u16string_view name) const;
  // Replaces the value of the first member named `name` (taking ownership of
  // `value`); the old value is NOT destroyed. Absent name: nothing happens and
  // `value` stays with the caller.
  void OldSetField(std::u16string_view name, TvxJSONbase* value);
  // Name of the pair at index; empty when out of range.
  WideString GetNameOf(int32_t index) const;
  // The value read through the name of the pair at index: the first member of
  // that name; an empty name gives none.
  TvxJSONbase* GetFieldByIndex(int32_t index) const;
  void SetFieldByIndex(int32_t index, TvxJSONbase* value);
  TvxBalTree* GetHashTable() { return &index_; }
  const TvxBalTree* GetHashTable() const { return &index_; }
  bool UseIndex() const { return useIndex_; }

 private:
  friend struct quorl::JsonAccess;
  const TvxJSONobjectmethod* PairAt(int32_t index) const;
  void RebuildIndex();

  TvxBalTree index_;
  bool useIndex_;
};

// Text operations; never instantiated.
class QUORL_PACKAGE_API TvxJSON {
 public:
  TvxJSON() = delete;
  // Parses the first JSON value of `text` (UTF-8; a leading byte-order mark is
  // skipped). Lenient: optional commas, one trailing comma, leading '+' and
  // zeros, raw control bytes in strings. Bytes after the value are ignored.
  // Every object it builds has the use-index flag set.
  // Strings: bytes that are not valid UTF-8 become U+FFFD (one per maximal
  // invalid subpart); a 3-byte encoding of a surrogate half gives that code
  // unit, so a pair escaped as two \u sequences arrives as a pair.
  // Numbers: read correctly rounded into long double whatever the thread's
  // locale; one that overflows, or a non-zero one that underflows to zero,
  // fails the parse. Nesting deeper than kMaxJsonDepth fails it too.
  // Returns a new tree owned by the caller, or none for any failure; never throws.
  static TvxJSONbase* ParseText(std::string_view text);
  // Compact text of the tree (no whitespace, strings as escaped UTF-8,
  // numbers with at most 15 significant digits, "." and an upper-case "E"
  // exponent from 1E15 up and below 1E-4, whatever the locale); empty for
  // none. Infinite and NaN numbers, which only code can build, are written
  // "INF", "-INF" and "NAN" as the platform's float conversion writes them.
  // A lone surrogate half is written as its own 3-byte sequence.
  static AnsiString GenerateText(const TvxJSONbase* value);
};

class QUORL_PACKAGE_API TvxJSONstreamed : public TvxJSON {
 public:
  // ParseText of the bytes from the stream's position to its end; none for no
  // stream. A failing stream raises EFOpenError.
  static TvxJSONbase* LoadFromStream(std::istream* stream);
  // ParseText of the file's bytes; none when the file does not exist.
  // A file that exists but cannot be read raises EFOpenError.
  static TvxJSONbase* LoadFromFile(const std::string& fileName);
  // Writes GenerateText(value) in one write; nothing when either is none.
  // A failing stream raises EFOpenError.
  static void SaveToStream(const TvxJSONbase* value, std::ostream* stream);
  // Creates (truncates) the file and writes the compact text; with no value
  // nothing happens and no file is created. Failures raise EFOpenError.
  static void SaveToFile(const TvxJSONbase* value, const std::string& fileName);
};

// Indented text: two spaces per level, CR LF line breaks, no space after a
// colon. `level` is 0 for a top-level call and holds its entry value again on
// return.
QUORL_PACKAGE_API AnsiString GenerateReadableText(const TvxJSONbase* value, int32_t& level);
