// Variant: a dynamically typed value with the platform's conversion rules.
//
// Kinds: Empty (unassigned), Null, Integer (64-bit), Double, Boolean,
// String (8-bit, host code page GBK), UString (UTF-16), DateTime (days since
// 1899-12-30 as a double, fraction = time of day) and Packet (an immutable
// dataset packet, see ClientDataSet.h).
//
// Conversions (As...):
//  - Empty converts to 0, 0.0, false, empty text.
//  - Null converts to nothing: every As... of Null raises EVariantError,
//    except VarToStr (empty text).
//  - Integer/Double to text: decimal; doubles with up to 15 significant digits
//    and no trailing zeros ("3.5", "12", "1E20", "1E-5" as the platform's
//    FloatToStr writes them). Boolean to text: "True" / "False".
//    DateTime to text: "yyyy-mm-dd" when the time is 0, else "yyyy-mm-dd hh:nn:ss".
//  - Text to number: optional blanks, sign, digits, '.', exponent; anything
//    else raises EVariantError. Text to Boolean: "true"/"false" in any case,
//    or a number (non-zero is true).
//  - Boolean to number: true is -1, false is 0 (the platform's rule).
//  - Double to Integer rounds half to even; out of range raises EVariantError.
//  - 8-bit text and UTF-16 text convert through the host code page.
//  - Packet converts to nothing else (EVariantError); only AsPacket reads it.
//
// operator+:
//  - Null with anything gives Null.
//  - Empty with x gives x.
//  - two texts concatenate (UString when either is UString, else String);
//  - a text and a number (or Boolean, or date) convert the text to a number,
//    raising EVariantError when it is not one, and add numerically;
//  - Integer + Integer stays Integer; any Double makes a Double; DateTime
//    with a number stays DateTime.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "platform/RtlExport.h"

/// The kind a Variant holds.
enum class VarType { Empty, Null, Integer, Double, Boolean, String, UString, DateTime, Packet };

/// A dynamically typed value; kinds, conversions and operator+ in the file comment. Conversions that cannot
/// be made raise EVariantError.
class QUORL_RTL_API Variant {
 public:
  Variant() = default;                                         ///< Empty
  Variant(int v) : value_(static_cast<int64_t>(v)) {}          ///< Integer
  Variant(int64_t v) : value_(v) {}                            ///< Integer
  Variant(double v) : value_(v) {}                             ///< Double
  Variant(bool v) : value_(v) {}                               ///< Boolean
  Variant(const char* s) : value_(std::string(s ? s : "")) {}  ///< String (8-bit); null reads as empty text
  Variant(std::string s) : value_(std::move(s)) {}             ///< String (8-bit, host code page)
  Variant(std::u16string s) : value_(std::move(s)) {}          ///< UString
  Variant(const char16_t* s) : value_(std::u16string(s)) {}    ///< UString

  static Variant Null();                         ///< A Null value.
  static Variant FromDateTime(double dateTime);  ///< A DateTime of that many days.
  /// A dataset packet, shared, never copied.
  static Variant FromPacket(std::shared_ptr<const std::string> packet);

  VarType Type() const;                                      ///< The kind held.
  bool IsEmpty() const { return Type() == VarType::Empty; }  ///< True for Empty.
  bool IsNull() const { return Type() == VarType::Null; }    ///< True for Null.
  /// Empty or Null: what the platform's VarIsClear/VarIsNull pair treats as "no value".
  bool IsClearOrNull() const { return IsEmpty() || IsNull(); }
  /// True for String and UString.
  bool IsText() const { return Type() == VarType::String || Type() == VarType::UString; }
  /// True for Integer and Double.
  bool IsNumeric() const { return Type() == VarType::Integer || Type() == VarType::Double; }

  int32_t AsInteger() const;         ///< As a 32-bit integer (EVariantError out of range).
  int64_t AsInt64() const;           ///< As a 64-bit integer.
  double AsDouble() const;           ///< As a double.
  bool AsBoolean() const;            ///< As a Boolean.
  double AsDateTime() const;         ///< numbers as days, text through StrToDateTime
  std::string AsString() const;      ///< 8-bit host code page
  std::u16string AsUString() const;  ///< UTF-16
  /// The packet bytes; EVariantError when the variant holds no packet.
  const std::shared_ptr<const std::string>& AsPacket() const;

  /// Platform name of the kind, used in conversion error messages ("String", "Null", ...).
  static const char* TypeName(VarType t);

  friend Variant operator+(const Variant& a, const Variant& b);
  /// Same kind and same value (texts compare across String/UString).
  friend bool operator==(const Variant& a, const Variant& b);

 private:
  struct NullTag {
    bool operator==(const NullTag&) const { return true; }
  };
  struct DateTimeValue {
    double days;
    bool operator==(const DateTimeValue&) const = default;
  };
  using Packet = std::shared_ptr<const std::string>;
  std::variant<std::monostate, NullTag, int64_t, double, bool, std::string, std::u16string, DateTimeValue,
               Packet>
      value_;
};

/// VarToStr: text of a variant, Null and Empty giving empty text.
/// The friends above, declared here as well to export them.
QUORL_RTL_API Variant operator+(const Variant& a, const Variant& b);
QUORL_RTL_API bool operator==(const Variant& a, const Variant& b);  ///< Same kind and value.

QUORL_RTL_API std::string VarToStr(const Variant& v);         ///< As 8-bit text; Null gives empty text.
QUORL_RTL_API std::u16string VarToWideStr(const Variant& v);  ///< As UTF-16 text; Null gives empty text.

namespace quorl {

/// FloatToStr: up to 15 significant digits, no trailing zeros, scientific form
/// ("1.5E20", "1E-5") when the exponent is below -4 or at least 15.
QUORL_RTL_API std::string FloatToStr(double value);
QUORL_RTL_API std::string FloatToStr(long double value);  ///< The same for long double.
/// StrToFloat with '.' as decimal separator; leading/trailing blanks allowed.
/// Returns false (and leaves out untouched) for anything else, including overflow.
QUORL_RTL_API bool TryStrToFloat(std::string_view text, double& out);
QUORL_RTL_API bool TryStrToFloat(std::string_view text, long double& out);  ///< The same into long double.
/// StrToInt: optional sign and decimal digits within the 32-bit range, nothing else.
QUORL_RTL_API bool TryStrToInt(std::string_view text, int32_t& out);
/// Dates: "yyyy-mm-dd[ hh:nn[:ss[.zzz]]]", also with '/' or 'T' separators.
QUORL_RTL_API bool TryStrToDateTime(std::string_view text, double& out);
/// "yyyy-mm-dd" or "yyyy-mm-dd hh:nn:ss" (see the file comment).
QUORL_RTL_API std::string DateTimeToStr(double dateTime);
/// A date-time in days since 1899-12-30.
QUORL_RTL_API double EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                                    int ms = 0);

}  // namespace quorl
