// TClientDataSet: the in-memory dataset and its packet.
//
// A dataset has field definitions (name, type, size) and rows. Text fields
// hold at most Size bytes of 8-bit host text; longer values are cut at Size
// bytes (also in the middle of a two-byte character). Every field may be null;
// a field that was not set in a posted row is null.
//
// Data() gives the whole table (definitions and rows) as an immutable packet
// in a Variant; SetData() loads such a packet, replacing definitions and rows,
// and raises EDatabaseError with a clear message on a corrupt packet. A table
// with fields and no rows is a valid packet. The byte layout is ours
// (doc/packet-format.md) and starts with a version byte.
//
// Navigation follows the platform: after SetData/CreateDataSet the cursor is
// on the first row (Eof() when there is none); Next() past the last row sets
// Eof(). Field values are read and written through FieldByName(...) on the
// current row; Append() starts a new row that Post() stores at the end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RtlExport.h"
#include "platform/Variant.h"

/// The value type of a dataset field.
enum class TFieldType { ftString, ftInteger, ftFloat, ftDateTime, ftBoolean };

/// The definition of one field of a dataset.
struct QUORL_RTL_API TFieldDef {
  std::string Name;                            ///< field name, matched ignoring ASCII case
  TFieldType DataType = TFieldType::ftString;  ///< value type
  int Size = 0;                                ///< bytes, text fields only
  bool Required = false;                       ///< carried in the packet; not enforced on Post
};

/// The field definitions a dataset is created from.
class QUORL_RTL_API TFieldDefs {
 public:
  /// Adds a definition at the end.
  void Add(std::string name, TFieldType type, int size = 0, bool required = false);
  void Clear() { defs_.clear(); }                               ///< Removes every definition.
  int Count() const { return static_cast<int>(defs_.size()); }  ///< Number of definitions.
  /// Definition i (std::out_of_range when absent).
  const TFieldDef& operator[](int i) const { return defs_.at(static_cast<size_t>(i)); }

 private:
  std::vector<TFieldDef> defs_;
};

class TClientDataSet;

/// One column bound to the current row of its dataset.
class QUORL_RTL_API TField {
 public:
  const std::string& FieldName() const { return def_.Name; }  ///< The field's name.
  TFieldType DataType() const { return def_.DataType; }       ///< The field's type.
  int Size() const { return def_.Size; }                      ///< Size in bytes of a text field; 0 otherwise.

  bool IsNull() const;  ///< True when the current row's value is null.
  void Clear();         ///< sets null

  /// Readers convert by the variant rules; a null field reads as empty text,
  /// 0, false (AsString/AsInteger/...) and as a Null variant (Value).
  Variant Value() const;
  std::string AsString() const;  ///< Value as 8-bit text.
  int32_t AsInteger() const;     ///< Value as integer (EConvertError when text is no number).
  double AsFloat() const;        ///< Value as a number.
  double AsDateTime() const;     ///< Value as date-time (days).
  bool AsBoolean() const;        ///< Value as Boolean.

  /// Writers need the dataset in Append/Edit state (EDatabaseError otherwise)
  /// and convert to the field's type (EVariantError/EConvertError when they
  /// cannot). Text is cut at Size bytes.
  void SetValue(const Variant& v);
  void SetAsString(std::string_view v);  ///< Writes 8-bit text.
  void SetAsInteger(int32_t v);          ///< Writes an integer.
  void SetAsFloat(double v);             ///< Writes a number.
  void SetAsDateTime(double v);          ///< Writes a date-time (days).
  void SetAsBoolean(bool v);             ///< Writes a Boolean.

 private:
  friend class TClientDataSet;
  TField(TClientDataSet* owner, TFieldDef def, int index)
      : owner_(owner), def_(std::move(def)), index_(index) {}
  TClientDataSet* owner_;
  TFieldDef def_;
  int index_;
};

/// The in-memory dataset (see the file comment). Fields are owned by the dataset; pointers to them stay valid
/// until Close or SetData.
class QUORL_RTL_API TClientDataSet {
 public:
  TClientDataSet();
  virtual ~TClientDataSet();
  TClientDataSet(const TClientDataSet&) = delete;
  TClientDataSet& operator=(const TClientDataSet&) = delete;

  TFieldDefs FieldDefs;  ///< definitions CreateDataSet builds the fields from

  /// Builds the fields from FieldDefs and opens an empty table.
  void CreateDataSet();
  void Close();         ///< drops rows and fields; FieldDefs stay
  bool Active() const;  ///< True between CreateDataSet/SetData and Close.

  void Append();        ///< new row at the end, state Insert
  void Edit();          ///< edit the current row
  void Post();          ///< stores the row being appended or edited
  void Cancel();        ///< drops the row being appended / edits
  void Delete();        ///< deletes the current row
  void EmptyDataSet();  ///< Deletes every row; the fields stay.

  void First();      ///< Moves to the first row.
  void Next();       ///< Moves to the next row; past the last one Eof() becomes true.
  void Last();       ///< Moves to the last row.
  bool Eof() const;  ///< True past the last row or when there is none.
  bool Bof() const;  ///< True on the first row before any Next.
  bool IsEmpty() const { return RecordCount() == 0; }  ///< True when there is no row.
  int RecordCount() const;                             ///< Number of stored rows.
  int RecNo() const;                                   ///< 1-based, 0 when empty

  int FieldCount() const;           ///< Number of fields.
  TField* Fields(int index) const;  ///< Field by position (EListError out of range); owned by the dataset.
  /// Case-insensitive (ASCII) name match; EDatabaseError "Field 'x' not found" otherwise.
  TField* FieldByName(std::string_view name) const;
  TField* FindField(std::string_view name) const;  ///< nullptr when absent

  /// Moves to the first row whose field equals value exactly (text compared
  /// byte for byte, case-sensitive; numbers by value). Returns false and stays
  /// put when none. EDatabaseError when the field does not exist.
  bool Locate(std::string_view keyField, const Variant& value);

  Variant Data() const;                 ///< packet of definitions and all stored rows
  void SetData(const Variant& packet);  ///< loads a packet (EDatabaseError when corrupt)

 private:
  friend class TField;
  struct QUORL_RTL_LOCAL Impl;
  std::unique_ptr<Impl> impl_;
};
