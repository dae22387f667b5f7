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

/// The type code of a JSON value's class.
enum TvxJSONtypes : uint8_t { jsBase, jsNumber, jsString, jsBoolean, jsNull, jsList, jsObject };

/// Deepest nesting of lists and objects that ParseText accepts; one level more
/// makes the parse give none, so hostile input cannot exhaust the stack.
inline constexpr int kMaxJsonDepth = 512;

class TvxJSONbase;

/// ForEach callback: called with the element's name (8-bit), the element, the
/// caller's data pointer and Continue (starts true; clear it to stop the walk).
/// A std::function binds an object and a method (or any callable).
using TvxJSONFuncEnum =
    std::function<void(const AnsiString& ElName, TvxJSONbase* Elem, void* data, bool& Continue)>;

namespace quorl {
/// Which generated form a value takes; a subclass inherits the form of its
/// base (a class derived from TvxJSONlist is written as a list).
enum class JsonShape : uint8_t { Other, CustomList, Number, String, Boolean, Null, List, Pair, Object };
struct JsonAccess;
}  // namespace quorl

/// Base of every JSON value (see the file comment for ownership). Values are created with Generate or new and
/// freed with delete.
class QUORL_PACKAGE_API TvxJSONbase {
 public:
  TvxJSONbase() = default;
  virtual ~TvxJSONbase() = default;
  TvxJSONbase(const TvxJSONbase&) = delete;
  TvxJSONbase& operator=(const TvxJSONbase&) = delete;

  /// Values come from the unit's node arena (json/NodeArena.h); `delete` of any
  /// value, subclasses included, returns it there.
  static void* operator new(std::size_t size) { return quorl::ArenaAllocate(size); }
  /// Returns the value's memory to the arena.
  static void operator delete(void* p, std::size_t size) noexcept { quorl::ArenaFree(p, size); }

  /// Null variant here and for null, pairs and containers; scalars give their value.
  virtual Variant GetValue() const;
  /// Scalars convert the variant (EVariantError / EConvertError when it does
  /// not convert); every other class ignores it.
  virtual void SetValue(const Variant& value);
  /// Containers: the child at index, none when out of range. Others: none.
  virtual TvxJSONbase* GetChild(int32_t index) const;
  /// Containers: destroys the old child and stores `value` (owned from now on);
  /// out of range: ignored. Others: ignored.
  virtual void SetChild(int32_t index, TvxJSONbase* value);
  /// Containers: number of children. Others: 0.
  virtual int32_t GetCount() const;
  /// Scalars and pairs: the value itself. Containers: a numeric key reads the
  /// child at that index, any other key gives the container itself; objects
  /// read a text key as a member name (none when absent).
  virtual TvxJSONbase* GetField(const Variant& key);
  virtual TvxJSONtypes SelfType() const;    ///< The type code of the value's class (jsBase here).
  virtual AnsiString SelfTypeName() const;  ///< The type code's name ("jsBase" here).

  /// The class-level forms of SelfType / SelfTypeName, callable without an
  /// instance (TvxJSONlist::ClassSelfType()).
  static TvxJSONtypes ClassSelfType() { return jsBase; }
  static AnsiString ClassSelfTypeName() { return "jsBase"; }  ///< SelfTypeName without an instance.

 protected:
  /// For subclasses: the generated form they take.
  explicit TvxJSONbase(quorl::JsonShape shape) : shape_(shape) {}

 private:
  friend struct quorl::JsonAccess;
  quorl::JsonShape shape_ = quorl::JsonShape::Other;
};

/// A JSON number (80-bit long double).
class QUORL_PACKAGE_API TvxJSONnumber : public TvxJSONbase {
 public:
  TvxJSONnumber() : TvxJSONbase(quorl::JsonShape::Number) {}
  /// A new value, owned by the caller until a container takes it.
  static TvxJSONnumber* Generate(long double value);

  Variant GetValue() const override;  ///< double variant
  /// Converts value to this scalar's type (EVariantError / EConvertError when it does not convert).
  void SetValue(const Variant& value) override;
  TvxJSONtypes SelfType() const override { return jsNumber; }      ///< The type code of this class.
  AnsiString SelfTypeName() const override { return "jsNumber"; }  ///< The type code's name.
  static TvxJSONtypes ClassSelfType() { return jsNumber; }         ///< SelfType without an instance.
  static AnsiString ClassSelfTypeName() { return "jsNumber"; }     ///< SelfTypeName without an instance.

  long double Value() const { return value_; }           ///< The number.
  void SetNumber(long double value) { value_ = value; }  ///< Replaces the number.

 private:
  friend struct quorl::JsonAccess;
  long double value_ = 0;
};

/// A JSON string (UTF-16).
class QUORL_PACKAGE_API TvxJSONstring : public TvxJSONbase {
 public:
  TvxJSONstring() : TvxJSONbase(quorl::JsonShape::String) {}
  /// A new value, owned by the caller until a container takes it.
  static TvxJSONstring* Generate(std::u16string_view value);

  Variant GetValue() const override;  ///< UTF-16 string variant
  /// Converts value to this scalar's type (EVariantError / EConvertError when it does not convert).
  void SetValue(const Variant& value) override;
  TvxJSONtypes SelfType() const override { return jsString; }      ///< The type code of this class.
  AnsiString SelfTypeName() const override { return "jsString"; }  ///< The type code's name.
  static TvxJSONtypes ClassSelfType() { return jsString; }         ///< SelfType without an instance.
  static AnsiString ClassSelfTypeName() { return "jsString"; }     ///< SelfTypeName without an instance.

  std::u16string_view Value() const { return value_.View(); }  ///< The text, valid until the next change.
  void SetText(std::u16string_view value) { value_.Assign(value); }  ///< Replaces the text.

 private:
  friend struct quorl::JsonAccess;
  quorl::ArenaText value_;
};

/// A JSON true or false.
class QUORL_PACKAGE_API TvxJSONboolean : public TvxJSONbase {
 public:
  TvxJSONboolean() : TvxJSONbase(quorl::JsonShape::Boolean) {}
  /// A new value, owned by the caller until a container takes it.
  static TvxJSONboolean* Generate(bool value);

  Variant GetValue() const override;  ///< Boolean variant
  /// Converts value to this scalar's type (EVariantError / EConvertError when it does not convert).
  void SetValue(const Variant& value) override;
  TvxJSONtypes SelfType() const override { return jsBoolean; }      ///< The type code of this class.
  AnsiString SelfTypeName() const override { return "jsBoolean"; }  ///< The type code's name.
  static TvxJSONtypes ClassSelfType() { return jsBoolean; }         ///< SelfType without an instance.
  static AnsiString ClassSelfTypeName() { return "jsBoolean"; }     ///< SelfTypeName without an instance.

  bool Value() const { return value_; }  ///< The value.

 private:
  friend struct quorl::JsonAccess;
  bool value_ = false;
};

/// The JSON null.
class QUORL_PACKAGE_API TvxJSONnull : public TvxJSONbase {
 public:
  TvxJSONnull() : TvxJSONbase(quorl::JsonShape::Null) {}
  static TvxJSONnull* Generate();  ///< A new value, owned by the caller until a container takes it.

  TvxJSONtypes SelfType() const override { return jsNull; }      ///< The type code of this class.
  AnsiString SelfTypeName() const override { return "jsNull"; }  ///< The type code's name.
  static TvxJSONtypes ClassSelfType() { return jsNull; }         ///< SelfType without an instance.
  static AnsiString ClassSelfTypeName() { return "jsNull"; }     ///< SelfTypeName without an instance.
};

/// A member of an object: a name and an owned value (or none).
class QUORL_PACKAGE_API TvxJSONobjectmethod : public TvxJSONbase {
 public:
  TvxJSONobjectmethod() : TvxJSONbase(quorl::JsonShape::Pair) {}
  ~TvxJSONobjectmethod() override;
  /// A pair named `name` owning `value`.
  static TvxJSONobjectmethod* Generate(std::u16string_view name, TvxJSONbase* value);

  /// The pair's name, valid until the next change.
  std::u16string_view Name() const { return name_.View(); }
  /// Renames the pair only: the name index of an object holding it is not told.
  void SetName(std::u16string_view name) { name_.Assign(name); }
  TvxJSONbase* ObjValue() const { return value_; }  ///< The value, still owned by the pair; none when absent.
  /// Takes ownership of `value` and returns the previous value, which is not
  /// destroyed: it belongs to the caller again.
  TvxJSONbase* SetObjValue(TvxJSONbase* value);

 private:
  friend struct quorl::JsonAccess;
  TvxJSONbase* value_ = nullptr;
  quorl::ArenaText name_;
};

/// Common part of lists and objects: an ordered sequence of owned children.
/// Instantiable, but generated as nothing (only lists and objects have a text).
class QUORL_PACKAGE_API TvxJSONcustomlist : public TvxJSONbase {
 public:
  TvxJSONcustomlist() : TvxJSONbase(quorl::JsonShape::CustomList) {}
  ~TvxJSONcustomlist() override;

  TvxJSONbase* GetChild(int32_t index) const override;
  void SetChild(int32_t index, TvxJSONbase* value) override;
  int32_t GetCount() const override;
  TvxJSONbase* GetField(const Variant& key) override;

  /// Element `index` and its name: on a list the index in decimal, on an
  /// object the member name in the host code page. None when out of range.
  virtual TvxJSONbase* ForEachElement(int32_t index, AnsiString& elName) const;
  /// Appends `value` (taking ownership) and returns its index; none gives -1.
  virtual int32_t _Add(TvxJSONbase* value);
  /// Destroys the child at index; on lists the last child then moves into the
  /// gap (constant time, order not kept). Out of range: nothing.
  virtual void _Delete(int32_t index);
  /// Position of this very reference among the children, -1 when absent.
  virtual int32_t _IndexOf(const TvxJSONbase* value) const;
  /// Typed reads of element `index` (GetChild on lists, GetFieldByIndex on
  /// objects). Missing element: 0, empty, 0.0, false. An element of another
  /// class raises EInvalidCast. getInt truncates toward zero and raises
  /// EConvertError when the result does not fit 32 bits.
  virtual int32_t getInt(int32_t index) const;
  /// Element index as 8-bit text (see getInt for the rules).
  virtual AnsiString getString(int32_t index) const;
  virtual WideString getWideString(int32_t index) const;  ///< Element index as UTF-16 text.
  virtual double getDouble(int32_t index) const;          ///< Element index as a number.
  virtual bool getBoolean(int32_t index) const;           ///< Element index as a Boolean.

  /// Calls `callback` for every element that is not none, from index 0 up,
  /// until it clears Continue. An empty callback does nothing.
  void ForEach(const TvxJSONFuncEnum& callback, void* data) const;

 protected:
  /// For subclasses: the generated form they take.
  explicit TvxJSONcustomlist(quorl::JsonShape shape) : TvxJSONbase(shape) {}

 private:
  friend struct quorl::JsonAccess;
  std::vector<TvxJSONbase*, quorl::ArenaAllocator<TvxJSONbase*>> children_;
};

/// A JSON array; owns its elements.
class QUORL_PACKAGE_API TvxJSONlist : public TvxJSONcustomlist {
 public:
  TvxJSONlist() : TvxJSONcustomlist(quorl::JsonShape::List) {}
  static TvxJSONlist* Generate();  ///< A new value, owned by the caller until a container takes it.

  TvxJSONtypes SelfType() const override { return jsList; }      ///< The type code of this class.
  AnsiString SelfTypeName() const override { return "jsList"; }  ///< The type code's name.
  static TvxJSONtypes ClassSelfType() { return jsList; }         ///< SelfType without an instance.
  static AnsiString ClassSelfTypeName() { return "jsList"; }     ///< SelfTypeName without an instance.

  /// Each returns the new index; Add(none) gives -1. Scalars are wrapped first;
  /// 8-bit text is converted from the host code page.
  int32_t Add(TvxJSONbase* value) { return _Add(value); }
  int32_t Add(double value);             ///< A number.
  int32_t Add(bool value);               ///< A Boolean.
  int32_t Add(int32_t value);            ///< A number.
  int32_t Add(const WideString& value);  ///< A string.
  int32_t Add(const AnsiString& value);  ///< A string, converted from the host code page.
  /// A string, converted from the host code page.
  int32_t Add(const char* value) { return Add(AnsiString(value)); }
  int32_t Add(const char16_t* value) { return Add(WideString(value)); }  ///< A string.
  void Delete(int32_t index) { _Delete(index); }  ///< Destroys element index (see _Delete).
  /// Position of this very element, -1 when absent.
  int32_t IndexOf(const TvxJSONbase* value) const { return _IndexOf(value); }
};

/// A JSON object. With the use-index flag set (the parser always sets it) names
/// are found through the owned TvxBalTree; with it clear by a linear scan.
/// Either way the first member of a repeated name is found.
///
/// Deletion: with the flag set, a deleted member's successors move up one place
/// (member order is kept) and the index follows them; with it clear, deletion is
/// the list's (the last member fills the gap). Children are always pairs: _Add
/// and SetChild refuse anything else (the value stays with the caller).
class QUORL_PACKAGE_API TvxJSONobject : public TvxJSONcustomlist {
 public:
  explicit TvxJSONobject(bool useIndex);  ///< An empty object; useIndex as in the class comment.
  /// A new object, owned by the caller until a container takes it.
  static TvxJSONobject* Generate(bool useIndex);

  TvxJSONbase* GetField(const Variant& key) override;
  void SetChild(int32_t index, TvxJSONbase* value) override;
  TvxJSONtypes SelfType() const override { return jsObject; }      ///< The type code of this class.
  AnsiString SelfTypeName() const override { return "jsObject"; }  ///< The type code's name.
  static TvxJSONtypes ClassSelfType() { return jsObject; }         ///< SelfType without an instance.
  static AnsiString ClassSelfTypeName() { return "jsObject"; }     ///< SelfTypeName without an instance.

  TvxJSONbase* ForEachElement(int32_t index, AnsiString& elName) const override;
  /// Accepts pairs only (-1 for anything else); indexes the pair's name.
  int32_t _Add(TvxJSONbase* value) override;
  void _Delete(int32_t index) override;
  int32_t getInt(int32_t index) const override;
  AnsiString getString(int32_t index) const override;      ///< See TvxJSONcustomlist::getString.
  WideString getWideString(int32_t index) const override;  ///< See TvxJSONcustomlist::getWideString.
  double getDouble(int32_t index) const override;          ///< See TvxJSONcustomlist::getDouble.
  bool getBoolean(int32_t index) const override;           ///< See TvxJSONcustomlist::getBoolean.
  using TvxJSONcustomlist::getBoolean;                     ///< The by-index form.
  using TvxJSONcustomlist::getDouble;                      ///< The by-index form.
  using TvxJSONcustomlist::getInt;
  using TvxJSONcustomlist::getString;      ///< The by-index form.
  using TvxJSONcustomlist::getWideString;  ///< The by-index form.
  /// By-name forms: the 8-bit name is converted from the host code page and
  /// looked up with IndexOfName; a missing name gives the getter's default.
  int32_t getInt(const AnsiString& name) const;
  AnsiString getString(const AnsiString& name) const;      ///< Member name as 8-bit text.
  WideString getWideString(const AnsiString& name) const;  ///< Member name as UTF-16 text.
  double getDouble(const AnsiString& name) const;          ///< Member name as a number.
  bool getBoolean(const AnsiString& name) const;           ///< Member name as a Boolean.

  /// Appends the pair (name, value) and returns its index; none gives -1.
  int32_t Add(const WideString& name, TvxJSONbase* value);
  int32_t Add(const WideString& name, double value);  ///< A number member.
  int32_t Add(const WideString& name, bool value);    ///< A Boolean member.
  /// A string member, converted from the host code page.
  int32_t Add(const WideString& name, const AnsiString& value);
  int32_t Add(const WideString& name, int32_t value);            ///< A number member.
  int32_t Add(const WideString& name, const WideString& value);  ///< A string member.
  /// A string member, converted from the host code page.
  int32_t Add(const WideString& name, const char* value) { return Add(name, AnsiString(value)); }
  /// A string member.
  int32_t Add(const WideString& name, const char16_t* value) { return Add(name, WideString(value)); }
  void Delete(int32_t index) { _Delete(index); }  ///< Destroys member index (see the class comment).

  /// Index of the first member named name, -1 when absent.
  int32_t IndexOfName(std::u16string_view name) const;
  /// Index of the pair holding this very value, -1 when absent.
  int32_t IndexOfObject(const TvxJSONbase* value) const;
  /// Value of the first member named `name`; none when absent.
  TvxJSONbase* OldGetField(std::u16string_view name) const;
  /// Replaces the value of the first member named `name` (taking ownership of
  /// `value`); the old value is NOT destroyed. Absent name: nothing happens and
  /// `value` stays with the caller.
  void OldSetField(std::u16string_view name, TvxJSONbase* value);
  /// Name of the pair at index; empty when out of range.
  WideString GetNameOf(int32_t index) const;
  /// The value read through the name of the pair at index: the first member of
  /// that name; an empty name gives none.
  TvxJSONbase* GetFieldByIndex(int32_t index) const;
  /// Replaces the value of pair index (taking value); the old value is NOT destroyed.
  void SetFieldByIndex(int32_t index, TvxJSONbase* value);
  TvxBalTree* GetHashTable() { return &index_; }              ///< The name index, owned by the object.
  const TvxBalTree* GetHashTable() const { return &index_; }  ///< The name index, owned by the object.
  bool UseIndex() const { return useIndex_; }                 ///< The use-index flag.

 private:
  friend struct quorl::JsonAccess;
  const TvxJSONobjectmethod* PairAt(int32_t index) const;
  void RebuildIndex();

  TvxBalTree index_;
  bool useIndex_;
};

/// Text operations; never instantiated.
class QUORL_PACKAGE_API TvxJSON {
 public:
  TvxJSON() = delete;
  /// Parses the first JSON value of `text` (UTF-8; a leading byte-order mark is
  /// skipped). Lenient: optional commas, one trailing comma, leading '+' and
  /// zeros, raw control bytes in strings. Bytes after the value are ignored.
  /// Every object it builds has the use-index flag set.
  /// Strings: bytes that are not valid UTF-8 become U+FFFD (one per maximal
  /// invalid subpart); a 3-byte encoding of a surrogate half gives that code
  /// unit, so a pair escaped as two \\u sequences arrives as a pair.
  /// Numbers: read correctly rounded into long double whatever the thread's
  /// locale; one that overflows, or a non-zero one that underflows to zero,
  /// fails the parse. Nesting deeper than kMaxJsonDepth fails it too.
  /// Returns a new tree owned by the caller, or none for any failure; never throws.
  static TvxJSONbase* ParseText(std::string_view text);
  /// Compact text of the tree (no whitespace, strings as escaped UTF-8,
  /// numbers with at most 15 significant digits, "." and an upper-case "E"
  /// exponent from 1E15 up and below 1E-4, whatever the locale); empty for
  /// none. Infinite and NaN numbers, which only code can build, are written
  /// "INF", "-INF" and "NAN" as the platform's float conversion writes them.
  /// A lone surrogate half is written as its own 3-byte sequence.
  static AnsiString GenerateText(const TvxJSONbase* value);
};

/// Text operations on streams and files; never instantiated.
class QUORL_PACKAGE_API TvxJSONstreamed : public TvxJSON {
 public:
  /// ParseText of the bytes from the stream's position to its end; none for no
  /// stream. A failing stream raises EFOpenError.
  static TvxJSONbase* LoadFromStream(std::istream* stream);
  /// ParseText of the file's bytes; none when the file does not exist.
  /// A file that exists but cannot be read raises EFOpenError.
  static TvxJSONbase* LoadFromFile(const std::string& fileName);
  /// Writes GenerateText(value) in one write; nothing when either is none.
  /// A failing stream raises EFOpenError.
  static void SaveToStream(const TvxJSONbase* value, std::ostream* stream);
  /// Creates (truncates) the file and writes the compact text; with no value
  /// nothing happens and no file is created. Failures raise EFOpenError.
  static void SaveToFile(const TvxJSONbase* value, const std::string& fileName);
};

/// Indented text: two spaces per level, CR LF line breaks, no space after a
/// colon. `level` is 0 for a top-level call and holds its entry value again on
/// return.
QUORL_PACKAGE_API AnsiString GenerateReadableText(const TvxJSONbase* value, int32_t& level);
