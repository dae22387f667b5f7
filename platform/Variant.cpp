#include "platform/Variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "platform/FloatText.h"
#include "platform/Text.h"

namespace {

[[noreturn]] void CastError(VarType from, const char* to) {
  throw EVariantError(std::string("Could not convert variant of type (") + Variant::TypeName(from) +
                      ") into type (" + to + ")");
}

[[noreturn]] void OverflowError(const std::string& value, const char* to) {
  throw EVariantError("Variant overflow: " + value + " does not fit type (" + to + ")");
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Optional sign and decimal digits, nothing else; false on overflow.
bool ParseInt64(std::string_view s, int64_t& out) {
  size_t i = 0;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  if (i == s.size()) return false;
  // Accumulate as a negative number so that INT64_MIN is reachable.
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (!IsDigit(s[i])) return false;
    const int d = s[i] - '0';
    if (v < (std::numeric_limits<int64_t>::min() + d) / 10) return false;
    v = v * 10 - d;
  }
  if (!neg) {
    if (v == std::numeric_limits<int64_t>::min()) return false;
    v = -v;
  }
  out = v;
  return true;
}

// Rounds half to even without depending on the FPU rounding mode.
double RoundHalfEven(double x) {
  double f = std::floor(x);
  const double diff = x - f;
  if (diff > 0.5 || (diff == 0.5 && std::fmod(f, 2.0) != 0.0)) f += 1.0;
  return f;
}

// A number read from text, kept whole when the text is a whole number so that
// large integers survive without passing through a double.
struct Number {
  bool isInt = true;
  int64_t i = 0;
  double d = 0;
  double AsDouble() const { return isInt ? static_cast<double>(i) : d; }
};

bool ParseNumberText(std::string_view text, Number& out) {
  const std::string_view t = quorl::TrimView(text);
  if (ParseInt64(t, out.i)) {
    out.isInt = true;
    return true;
  }
  if (quorl::TryStrToFloat(t, out.d)) {
    out.isInt = false;
    return true;
  }
  return false;
}

int64_t WholeFromDouble(double d, VarType from, const char* to) {
  if (std::isnan(d)) CastError(from, to);
  const double r = RoundHalfEven(d);
  // 2^63 is exactly representable; anything at or above it does not fit.
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) {
    OverflowError(quorl::FloatToStr(d), to);
  }
  return static_cast<int64_t>(r);
}

// The whole-number value of v, with `to` naming the asked type in errors.
int64_t WholeValue(const Variant& v, const char* to) {
  switch (v.Type()) {
    case VarType::Empty:
      return 0;
    case VarType::Integer:
    case VarType::Boolean:
      return v.AsInt64();
    case VarType::Double:
    case VarType::DateTime:
      return WholeFromDouble(v.AsDouble(), v.Type(), to);
    case VarType::String:
    case VarType::UString: {
      Number n;
      if (!ParseNumberText(v.AsString(), n)) CastError(v.Type(), to);
      return n.isInt ? n.i : WholeFromDouble(n.d, v.Type(), to);
    }
    case VarType::Null:
    case VarType::Packet:
      break;
  }
  CastError(v.Type(), to);
}

}  // namespace

Variant Variant::Null() {
  Variant v;
  v.value_ = NullTag{};
  return v;
}

Variant Variant::FromDateTime(double dateTime) {
  Variant v;
  v.value_ = DateTimeValue{dateTime};
  return v;
}

Variant Variant::FromPacket(std::shared_ptr<const std::string> packet) {
  Variant v;
  v.value_ = Packet(std::move(packet));
  return v;
}

VarType Variant::Type() const {
  // The alternatives of value_ are declared in the order of VarType.
  return static_cast<VarType>(value_.index());
}

const char* Variant::TypeName(VarType t) {
  switch (t) {
    case VarType::Empty:
      return "Empty";
    case VarType::Null:
      return "Null";
    case VarType::Integer:
      return "Integer";
    case VarType::Double:
      return "Double";
    case VarType::Boolean:
      return "Boolean";
    case VarType::String:
      return "String";
    case VarType::UString:
      return "UnicodeString";
    case VarType::DateTime:
      return "Date";
    case VarType::Packet:
      return "Array Byte";
  }
  return "Unknown";
}

int64_t Variant::AsInt64() const {
  switch (Type()) {
    case VarType::Integer:
      return std::get<int64_t>(value_);
    case VarType::Boolean:
      return std::get<bool>(value_) ? -1 : 0;
    default:
      return WholeValue(*this, "Int64");
  }
}

int32_t Variant::AsInteger() const {
  const int64_t v = WholeValue(*this, "Integer");
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
    OverflowError(std::to_string(v), "Integer");
  }
  return static_cast<int32_t>(v);
}

double Variant::AsDouble() const {
  switch (Type()) {
    case VarType::Empty:
      return 0.0;
    case VarType::Integer:
      return static_cast<double>(std::get<int64_t>(value_));
    case VarType::Double:
      return std::get<double>(value_);
    case VarType::Boolean:
      return std::get<bool>(value_) ? -1.0 : 0.0;
    case VarType::DateTime:
      return std::get<DateTimeValue>(value_).days;
    case VarType::String:
    case VarType::UString: {
      double d = 0;
      if (!quorl::TryStrToFloat(AsString(), d)) CastError(Type(), "Double");
      return d;
    }
    case VarType::Null:
    case VarType::Packet:
      break;
  }
  CastError(Type(), "Double");
}

bool Variant::AsBoolean() const {
  switch (Type()) {
    case VarType::Empty:
      return false;
    case VarType::Integer:
      return std::get<int64_t>(value_) != 0;
    case VarType::Double:
      return std::get<double>(value_) != 0.0;
    case VarType::Boolean:
      return std::get<bool>(value_);
    case VarType::DateTime:
      return std::get<DateTimeValue>(value_).days != 0.0;
    case VarType::String:
    case VarType::UString: {
      const std::string s = AsString();
      const std::string_view t = quorl::TrimView(s);
      if (quorl::SameTextAscii(t, "true")) return true;
      if (quorl::SameTextAscii(t, "false")) return false;
      Number n;
      if (!ParseNumberText(t, n)) CastError(Type(), "Boolean");
      return n.AsDouble() != 0.0;
    }
    case VarType::Null:
    case VarType::Packet:
      break;
  }
  CastError(Type(), "Boolean");
}

double Variant::AsDateTime() const {
  switch (Type()) {
    case VarType::Empty:
      return 0.0;
    case VarType::Integer:
      return static_cast<double>(std::get<int64_t>(value_));
    case VarType::Double:
      return std::get<double>(value_);
    case VarType::Boolean:
      return std::get<bool>(value_) ? -1.0 : 0.0;
    case VarType::DateTime:
      return std::get<DateTimeValue>(value_).days;
    case VarType::String:
    case VarType::UString: {
      double d = 0;
      if (!quorl::TryStrToDateTime(AsString(), d)) CastError(Type(), "Date");
      return d;
    }
    case VarType::Null:
    case VarType::Packet:
      break;
  }
  CastError(Type(), "Date");
}

std::string Variant::AsString() const {
  switch (Type()) {
    case VarType::Empty:
      return std::string();
    case VarType::Integer:
      return std::to_string(std::get<int64_t>(value_));
    case VarType::Double:
      return quorl::FloatToStr(std::get<double>(value_));
    case VarType::Boolean:
      return std::get<bool>(value_) ? "True" : "False";
    case VarType::String:
      return std::get<std::string>(value_);
    case VarType::UString:
      return quorl::Utf16ToGbk(std::get<std::u16string>(value_));
    case VarType::DateTime:
      return quorl::DateTimeToStr(std::get<DateTimeValue>(value_).days);
    case VarType::Null:
    case VarType::Packet:
      break;
  }
  CastError(Type(), "String");
}

std::u16string Variant::AsUString() const {
  switch (Type()) {
    case VarType::UString:
      return std::get<std::u16string>(value_);
    case VarType::Null:
    case VarType::Packet:
      CastError(Type(), "UnicodeString");
    default:
      return quorl::GbkToUtf16(AsString());
  }
}

const std::shared_ptr<const std::string>& Variant::AsPacket() const {
  if (Type() != VarType::Packet) CastError(Type(), "Array Byte");
  return std::get<Packet>(value_);
}

std::string VarToStr(const Variant& v) { return v.IsClearOrNull() ? std::string() : v.AsString(); }

std::u16string VarToWideStr(const Variant& v) { return v.IsClearOrNull() ? std::u16string() : v.AsUString(); }

bool operator==(const Variant& a, const Variant& b) {
  const VarType ta = a.Type();
  const VarType tb = b.Type();
  if (a.IsText() && b.IsText() && ta != tb) return a.AsUString() == b.AsUString();
  if (ta != tb) return false;
  if (ta == VarType::Packet) {
    const auto& pa = std::get<Variant::Packet>(a.value_);
    const auto& pb = std::get<Variant::Packet>(b.value_);
    if (pa == pb) return true;
    return pa && pb && *pa == *pb;
  }
  return a.value_ == b.value_;
}

Variant operator+(const Variant& a, const Variant& b) {
  const VarType ta = a.Type();
  const VarType tb = b.Type();
  if (ta == VarType::Null || tb == VarType::Null) return Variant::Null();
  if (ta == VarType::Empty) return b;
  if (tb == VarType::Empty) return a;
  if (ta == VarType::Packet || tb == VarType::Packet) {
    throw EVariantError("Invalid variant operation");
  }
  if (a.IsText() && b.IsText()) {
    if (ta == VarType::UString || tb == VarType::UString) return Variant(a.AsUString() + b.AsUString());
    return Variant(std::get<std::string>(a.value_) + std::get<std::string>(b.value_));
  }
  // Arithmetic. Text must read as a number; a whole-number text stays integral
  // so that "12" + 3 is the Integer 15.
  const auto toNumber = [](const Variant& v, VarType t) {
    Number n;
    switch (t) {
      case VarType::Integer:
        n.i = std::get<int64_t>(v.value_);
        break;
      case VarType::Boolean:
        n.i = std::get<bool>(v.value_) ? -1 : 0;
        break;
      case VarType::Double:
        n = Number{false, 0, std::get<double>(v.value_)};
        break;
      case VarType::DateTime:
        n = Number{false, 0, std::get<Variant::DateTimeValue>(v.value_).days};
        break;
      default:
        if (!ParseNumberText(v.AsString(), n)) CastError(t, "Double");
        break;
    }
    return n;
  };
  const Number na = toNumber(a, ta);
  const Number nb = toNumber(b, tb);
  if (ta == VarType::DateTime || tb == VarType::DateTime) {
    return Variant::FromDateTime(na.AsDouble() + nb.AsDouble());
  }
  if (na.isInt && nb.isInt) {
    int64_t sum = 0;
    // An Int64 overflow widens to Double instead of wrapping.
    if (!__builtin_add_overflow(na.i, nb.i, &sum)) return Variant(sum);
  }
  return Variant(na.AsDouble() + nb.AsDouble());
}

namespace quorl {
namespace {

template <typename Float>
bool ParseFloat(std::string_view text, Float& out) {
  const std::string_view s = quorl::TrimView(text);
  const size_t n = s.size();
  size_t i = 0;
  bool negative = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const size_t mantissaStart = i;
  size_t firstNonZero = std::string_view::npos;  // position in the text
  size_t intDigits = 0;
  size_t fracDigits = 0;
  size_t pointPos = std::string_view::npos;
  for (; i < n && IsDigit(s[i]); ++i, ++intDigits) {
    if (s[i] != '0' && firstNonZero == std::string_view::npos) firstNonZero = i;
  }
  if (i < n && s[i] == '.') {
    pointPos = i++;
    for (; i < n && IsDigit(s[i]); ++i, ++fracDigits) {
      if (s[i] != '0' && firstNonZero == std::string_view::npos) firstNonZero = i;
    }
    if (fracDigits == 0) return false;  // "1." is not a number here
  }
  if (intDigits + fracDigits == 0) return false;
  long long exponent = 0;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool expNegative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) expNegative = s[i++] == '-';
    const size_t expStart = i;
    for (; i < n && IsDigit(s[i]); ++i) {
      if (exponent < 1000000000) exponent = exponent * 10 + (s[i] - '0');
    }
    if (i == expStart) return false;
    if (expNegative) exponent = -exponent;
  }
  if (i != n) return false;

  Float v{};
  const auto res = std::from_chars(s.data() + mantissaStart, s.data() + n, v, std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) {
    // Tell underflow (the value rounds to zero, accepted) from overflow
    // (rejected) by the decimal magnitude of the first significant digit.
    if (firstNonZero == std::string_view::npos) {
      v = 0;
    } else {
      const size_t point = pointPos == std::string_view::npos ? mantissaStart + intDigits : pointPos;
      const long long digitPower = firstNonZero < point ? static_cast<long long>(point - firstNonZero) - 1
                                                        : -static_cast<long long>(firstNonZero - point);
      if (digitPower + exponent >= 0) return false;
      v = 0;
    }
  } else if (res.ec != std::errc() || res.ptr != s.data() + n) {
    return false;
  }
  if (std::isinf(v) || std::isnan(v)) return false;
  out = negative ? -v : v;
  return true;
}

constexpr int64_t kMSecsPerDay = 86400000;
// Bounds of TDateTime values from 0001-01-01 00:00 to 9999-12-31 23:59:59.999.
// Before the epoch the time of day makes a value more negative, so the whole
// first day lies between -693593 and -693594.
constexpr double kMinDateTime = -693594.0;
constexpr double kMaxDateTime = 2958466.0;
// TDateTime 0 is 1899-12-30, 25569 days before 1970-01-01.
constexpr int64_t kUnixEpochDay = 25569;

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}

bool ValidDate(int y, int m, int d) {
  return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}

bool ValidTime(int h, int n, int s, int ms) {
  return h >= 0 && h <= 23 && n >= 0 && n <= 59 && s >= 0 && s <= 59 && ms >= 0 && ms <= 999;
}

// The platform's convention: before 1899-12-30 the day number is negative and
// the time of day is still counted forward, so it is subtracted.
double Compose(int y, int m, int d, int h, int n, int s, int ms) {
  const double date = static_cast<double>(
      DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) + kUnixEpochDay);
  const double time = (((h * 60.0 + n) * 60.0 + s) * 1000.0 + ms) / static_cast<double>(kMSecsPerDay);
  return date < 0 ? date - time : date + time;
}

// Reads 1 to maxDigits decimal digits at s[i].
bool ReadNumber(std::string_view s, size_t& i, size_t maxDigits, int& out) {
  const size_t start = i;
  int v = 0;
  while (i < s.size() && IsDigit(s[i]) && i - start < maxDigits) v = v * 10 + (s[i++] - '0');
  if (i == start) return false;
  out = v;
  return true;
}

}  // namespace

std::string FloatToStr(double value) { return FloatToStr(static_cast<long double>(value)); }
std::string FloatToStr(long double value) {
  char buf[kMaxFloatText];
  return std::string(buf, FormatFloat15(value, buf));
}

bool TryStrToFloat(std::string_view text, double& out) { return ParseFloat(text, out); }
bool TryStrToFloat(std::string_view text, long double& out) { return ParseFloat(text, out); }

bool TryStrToInt(std::string_view text, int32_t& out) {
  int64_t v = 0;
  // ParseInt64 also refuses more digits than 64 bits hold.
  if (!ParseInt64(text, v)) return false;
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  out = static_cast<int32_t>(v);
  return true;
}

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms) {
  if (!ValidDate(year, month, day)) throw EConvertError("Invalid argument to date encode");
  if (!ValidTime(hour, minute, second, ms)) throw EConvertError("Invalid argument to time encode");
  return Compose(year, month, day, hour, minute, second, ms);
}

bool TryStrToDateTime(std::string_view text, double& out) {
  const std::string_view s = quorl::TrimView(text);
  size_t i = 0;
  int y = 0, m = 0, d = 0, h = 0, n = 0, sec = 0, ms = 0;
  const size_t yearStart = i;
  if (!ReadNumber(s, i, 4, y) || i - yearStart != 4) return false;
  if (i >= s.size() || (s[i] != '-' && s[i] != '/')) return false;
  const char dateSep = s[i++];
  if (!ReadNumber(s, i, 2, m)) return false;
  if (i >= s.size() || s[i++] != dateSep) return false;
  if (!ReadNumber(s, i, 2, d)) return false;
  if (i < s.size()) {
    if (s[i] != ' ' && s[i] != 'T') return false;
    ++i;
    if (!ReadNumber(s, i, 2, h)) return false;
    if (i >= s.size() || s[i++] != ':') return false;
    if (!ReadNumber(s, i, 2, n)) return false;
    if (i < s.size() && s[i] == ':') {
      ++i;
      if (!ReadNumber(s, i, 2, sec)) return false;
      if (i < s.size() && s[i] == '.') {
        ++i;
        // Milliseconds; finer digits are read and dropped.
        const size_t fracStart = i;
        while (i < s.size() && IsDigit(s[i]) && i - fracStart < 9) {
          if (i - fracStart < 3) ms = ms * 10 + (s[i] - '0');
          ++i;
        }
        if (i == fracStart) return false;
        for (size_t k = i - fracStart; k < 3; ++k) ms *= 10;
      }
    }
    if (i != s.size()) return false;
  }
  if (!ValidDate(y, m, d) || !ValidTime(h, n, sec, ms)) return false;
  out = Compose(y, m, d, h, n, sec, ms);
  return true;
}

std::string DateTimeToStr(double dateTime) {
  if (!(dateTime > kMinDateTime && dateTime < kMaxDateTime)) {
    throw EConvertError("'" + FloatToStr(dateTime) + "' is not a valid date and time");
  }
  // As the platform: round the whole value to milliseconds, then split into
  // day (toward zero) and time of day (always counted forward).
  const int64_t total = static_cast<int64_t>(std::llround(dateTime * static_cast<double>(kMSecsPerDay)));
  const int64_t day = total / kMSecsPerDay;
  int64_t msOfDay = (total < 0 ? -total : total) % kMSecsPerDay;
  int y = 0, m = 0, d = 0;
  CivilFromDays(day - kUnixEpochDay, y, m, d);
  if (y > 9999) throw EConvertError("'" + FloatToStr(dateTime) + "' is not a valid date and time");
  char buf[48];
  if (msOfDay == 0) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  } else {
    msOfDay /= 1000;
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d, static_cast<int>(msOfDay / 3600),
                  static_cast<int>(msOfDay / 60 % 60), static_cast<int>(msOfDay % 60));
  }
  return buf;
}

}  // namespace quorl
