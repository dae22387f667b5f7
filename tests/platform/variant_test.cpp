#include "platform/Variant.h"

#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <random>
#include <string_view>

#include "platform/Exception.h"
#include "support/RunProgram.h"

namespace {

// The plain formatter the fast one replaced: the exact library conversion,
// then the layout by string operations. Kept as the reference.
std::string ReferenceFloatText(long double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";  // also negative zero
  // 15 significant digits in scientific form, locale-independent:
  // "[-]d.dddddddddddddde[+-]x".
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
  const std::string_view sci(buf, static_cast<size_t>(res.ptr - buf));
  const bool negative = sci.front() == '-';
  const size_t ePos = sci.find('e');
  std::string digits;
  for (char c : sci.substr(negative ? 1 : 0, ePos - (negative ? 1 : 0))) {
    if (c != '.') digits.push_back(c);
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  int exponent = 0;
  std::string_view expText = sci.substr(ePos + 1);
  if (expText.front() == '+') expText.remove_prefix(1);
  std::from_chars(expText.data(), expText.data() + expText.size(), exponent);

  std::string out = negative ? "-" : "";
  if (exponent < -4 || exponent >= 15) {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out.append(digits, 1);
    }
    out += 'E';
    out += std::to_string(exponent);
  } else if (exponent < 0) {
    out += "0.";
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out += digits;
  } else {
    const size_t intDigits = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= intDigits) {
      out += digits;
      out.append(intDigits - digits.size(), '0');
    } else {
      out.append(digits, 0, intDigits);
      out += '.';
      out.append(digits, intDigits);
    }
  }
  return out;
}

// Runs f and gives its result, or nullopt when it raised EVariantError.
template <typename F>
auto Try(F f) -> std::optional<decltype(f())> {
  try {
    return f();
  } catch (const EVariantError&) {
    return std::nullopt;
  }
}

TEST(Variant, ConvertsByThePlatformRules) {
  struct Case {
    const char* name;
    Variant v;
    std::optional<int32_t> asInteger;
    std::optional<double> asDouble;
    std::optional<bool> asBoolean;
    std::optional<std::string> asString;
  };
  const auto none = std::nullopt;
  const Case cases[] = {
      {"empty", Variant(), 0, 0.0, false, ""},
      {"null", Variant::Null(), none, none, none, none},
      {"integer", Variant(42), 42, 42.0, true, "42"},
      {"zero", Variant(0), 0, 0.0, false, "0"},
      {"big int64", Variant(int64_t{5000000000}), none, 5e9, true, "5000000000"},
      {"double", Variant(3.5), 4, 3.5, true, "3.5"},
      {"double half to even down", Variant(2.5), 2, 2.5, true, "2.5"},
      {"double half to even negative", Variant(-2.5), -2, -2.5, true, "-2.5"},
      {"double too big for integer", Variant(3e9), none, 3e9, true, "3000000000"},
      {"true", Variant(true), -1, -1.0, true, "True"},
      {"false", Variant(false), 0, 0.0, false, "False"},
      {"text integer", Variant("12"), 12, 12.0, true, "12"},
      {"text with blanks", Variant(" 12 "), 12, 12.0, true, " 12 "},
      {"text fraction", Variant("-0.5"), 0, -0.5, true, "-0.5"},
      {"text exponent", Variant("1e5"), 100000, 1e5, true, "1e5"},
      {"text true", Variant("TRUE"), none, none, true, "TRUE"},
      {"text false", Variant("false"), none, none, false, "false"},
      {"text letters", Variant("abc"), none, none, none, "abc"},
      {"text comma", Variant("1,5"), none, none, none, "1,5"},
      {"text empty", Variant(""), none, none, none, ""},
      {"text too big", Variant("3000000000"), none, 3e9, true, "3000000000"},
      {"utf16 number", Variant(u"7"), 7, 7.0, true, "7"},
      {"date", Variant::FromDateTime(45000.0), 45000, 45000.0, true, "2023-03-15"},
      {"packet", Variant::FromPacket(std::make_shared<const std::string>("x")), none, none, none, none},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Try([&] { return c.v.AsInteger(); }), c.asInteger) << c.name;
    const auto d = Try([&] { return c.v.AsDouble(); });
    ASSERT_EQ(d.has_value(), c.asDouble.has_value()) << c.name;
    if (d) {
      EXPECT_DOUBLE_EQ(*d, *c.asDouble) << c.name;
    }
    EXPECT_EQ(Try([&] { return c.v.AsBoolean(); }), c.asBoolean) << c.name;
    EXPECT_EQ(Try([&] { return c.v.AsString(); }), c.asString) << c.name;
  }
}

TEST(Variant, NanIsNoWholeNumber) {
  const Variant nan(std::nan(""));
  EXPECT_TRUE(std::isnan(nan.AsDouble()));
  EXPECT_EQ(nan.AsString(), "NAN");
  EXPECT_THROW(nan.AsInteger(), EVariantError);
  EXPECT_THROW(nan.AsInt64(), EVariantError);
}

TEST(Variant, ConversionErrorNamesBothTypes) {
  try {
    Variant("abc").AsDouble();
    FAIL() << "no error";
  } catch (const EVariantError& e) {
    EXPECT_EQ(e.Message(), "Could not convert variant of type (String) into type (Double)");
  }
  try {
    Variant::Null().AsString();
    FAIL() << "no error";
  } catch (const EVariantError& e) {
    EXPECT_EQ(e.Message(), "Could not convert variant of type (Null) into type (String)");
  }
  // The platform's conversion errors are conversion errors too.
  EXPECT_THROW(Variant::Null().AsInteger(), EConvertError);
}

TEST(Variant, Int64KeepsLargeIntegersExact) {
  EXPECT_EQ(Variant("9007199254740993").AsInt64(), 9007199254740993);
  EXPECT_EQ(Variant("-9223372036854775808").AsInt64(), std::numeric_limits<int64_t>::min());
  EXPECT_THROW(Variant(1e19).AsInt64(), EVariantError);
  EXPECT_EQ(Variant(-2147483648.4).AsInteger(), std::numeric_limits<int32_t>::min());
}

TEST(Variant, NullAndEmptyGiveEmptyTextThroughVarToStr) {
  EXPECT_EQ(VarToStr(Variant::Null()), "");
  EXPECT_EQ(VarToStr(Variant()), "");
  EXPECT_EQ(VarToWideStr(Variant::Null()), u"");
  EXPECT_EQ(VarToStr(Variant(u"\u4F1A\u5458")), "\xBB\xE1\xD4\xB1");
  EXPECT_EQ(Variant("\xBB\xE1\xD4\xB1").AsUString(), u"\u4F1A\u5458");
}

TEST(Variant, PacketConvertsToNothingElse) {
  const auto bytes = std::make_shared<const std::string>("abc");
  const Variant p = Variant::FromPacket(bytes);
  EXPECT_EQ(p.AsPacket(), bytes);
  EXPECT_THROW(p.AsString(), EVariantError);
  EXPECT_THROW(p.AsUString(), EVariantError);
  EXPECT_THROW(VarToStr(p), EVariantError);
  EXPECT_THROW(Variant("abc").AsPacket(), EVariantError);
}

TEST(Variant, AddFollowsThePlatformRules) {
  const Variant sum1 = Variant("ab") + Variant("cd");
  EXPECT_EQ(sum1.Type(), VarType::String);
  EXPECT_EQ(sum1.AsString(), "abcd");

  const Variant sum2 = Variant("A00006") + Variant(u"\u4F1A");
  EXPECT_EQ(sum2.Type(), VarType::UString);
  EXPECT_EQ(sum2.AsUString(), u"A00006\u4F1A");

  EXPECT_EQ(Variant("12") + Variant(3), Variant(15));
  EXPECT_EQ(Variant(3) + Variant("12"), Variant(15));
  EXPECT_EQ(Variant("1.5") + Variant(3), Variant(4.5));
  EXPECT_EQ(Variant(2) + Variant(0.5), Variant(2.5));
  EXPECT_EQ(Variant(true) + Variant(1), Variant(0));
  EXPECT_THROW(Variant("abc") + Variant(3), EVariantError);
  EXPECT_THROW(Variant(3) + Variant(""), EVariantError);

  EXPECT_TRUE((Variant::Null() + Variant(3)).IsNull());
  EXPECT_TRUE((Variant("x") + Variant::Null()).IsNull());
  EXPECT_EQ(Variant() + Variant("x"), Variant("x"));
  EXPECT_EQ(Variant(7) + Variant(), Variant(7));
  EXPECT_TRUE((Variant() + Variant()).IsEmpty());

  const Variant later = Variant::FromDateTime(45000.0) + Variant(1);
  EXPECT_EQ(later.Type(), VarType::DateTime);
  EXPECT_DOUBLE_EQ(later.AsDateTime(), 45001.0);

  // Integer overflow widens instead of wrapping.
  const Variant big = Variant(std::numeric_limits<int64_t>::max()) + Variant(1);
  EXPECT_EQ(big.Type(), VarType::Double);
  EXPECT_GT(big.AsDouble(), 9e18);

  const Variant packet = Variant::FromPacket(std::make_shared<const std::string>("p"));
  EXPECT_THROW(packet + Variant(1), EVariantError);
}

TEST(Variant, EqualityComparesKindAndValue) {
  EXPECT_EQ(Variant(1), Variant(int64_t{1}));
  EXPECT_FALSE(Variant(1) == Variant(1.0));
  EXPECT_FALSE(Variant(1) == Variant("1"));
  EXPECT_EQ(Variant("\xBB\xE1\xD4\xB1"), Variant(u"\u4F1A\u5458"));
  EXPECT_FALSE(Variant("a") == Variant("A"));
  EXPECT_EQ(Variant::Null(), Variant::Null());
  EXPECT_FALSE(Variant::Null() == Variant());
  EXPECT_FALSE(Variant::FromDateTime(1.0) == Variant(1.0));
  EXPECT_EQ(Variant::FromPacket(std::make_shared<const std::string>("ab")),
            Variant::FromPacket(std::make_shared<const std::string>("ab")));
}

TEST(FloatToStr, WritesFifteenSignificantDigitsWithoutTrailingZeros) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {0.0, "0"},
      {-0.0, "0"},
      {1.0, "1"},
      {3.5, "3.5"},
      {-12.25, "-12.25"},
      {0.1 + 0.2, "0.3"},
      {100.0, "100"},
      {1.0 / 3.0, "0.333333333333333"},
      {123456789012345.0, "123456789012345"},
      {1e15, "1E15"},
      {1e20, "1E20"},
      {1.5e20, "1.5E20"},
      {-1.5e20, "-1.5E20"},
      {0.0001, "0.0001"},
      {0.00001, "1E-5"},
      {1.5e-7, "1.5E-7"},
      {999999999999999.9, "1E15"},
      {1.7976931348623157e308, "1.79769313486232E308"},
      {5e-324, "4.94065645841247E-324"},
      {std::numeric_limits<double>::quiet_NaN(), "NAN"},
      {std::numeric_limits<double>::infinity(), "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
  };
  for (const auto& c : cases) EXPECT_EQ(quorl::FloatToStr(c.value), c.text) << c.text;
  EXPECT_EQ(quorl::FloatToStr(3.5L), "3.5");
}

TEST(FloatToStr, FastRoutesAgreeWithTheReference) {
  // The quick digit route must give what the exact conversion gives, near
  // rounding ties and across the scaling range too.
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> mant(1.0, 10.0);
  std::uniform_int_distribution<int> exp(-40, 60);
  for (int i = 0; i < 200000; ++i) {
    long double v = static_cast<long double>(mant(rng)) * std::pow(10.0L, exp(rng));
    if (i % 3 == 0) v = std::round(v * 1000) / 1000;  // short decimals, near ties
    if (i % 7 == 0) v = -v;
    ASSERT_EQ(ReferenceFloatText(v), quorl::FloatToStr(v)) << "value " << static_cast<double>(v);
  }
  for (long double v : {0.5L, 0.05L, 1.0000000000000005L, 2.5e-5L, 123456789012345.5L, 0.1234567890123455L,
                        999999999999999.5L, 1e-300L, std::numeric_limits<long double>::max(),
                        std::numeric_limits<long double>::denorm_min()}) {
    EXPECT_EQ(ReferenceFloatText(v), quorl::FloatToStr(v));
  }
}

TEST(TryStrToFloat, AcceptsDecimalTextOnly) {
  struct Case {
    const char* text;
    std::optional<double> value;
  };
  const Case cases[] = {
      {"1e5", 1e5},
      {" 12 ", 12.0},
      {"-0.5", -0.5},
      {"+5", 5.0},
      {".5", 0.5},
      {"1E-3", 1e-3},
      {"1e+2", 100.0},
      {"\t7\n", 7.0},
      {"1e-400", 0.0},
      {"0e999999", 0.0},
      {"", std::nullopt},
      {".", std::nullopt},
      {"1.", std::nullopt},
      {"abc", std::nullopt},
      {"1,5", std::nullopt},
      {"0x10", std::nullopt},
      {"1e", std::nullopt},
      {"1e+", std::nullopt},
      {"--1", std::nullopt},
      {"+", std::nullopt},
      {"1e309", std::nullopt},
      {"-1e309", std::nullopt},
      {"inf", std::nullopt},
      {"nan", std::nullopt},
      {"1 2", std::nullopt},
      {"1e99999999999999999999", std::nullopt},
  };
  for (const auto& c : cases) {
    double out = -99.0;
    const bool ok = quorl::TryStrToFloat(c.text, out);
    EXPECT_EQ(ok, c.value.has_value()) << '"' << c.text << '"';
    EXPECT_DOUBLE_EQ(out, c.value.value_or(-99.0)) << '"' << c.text << '"';
  }
  long double ld = 0;
  EXPECT_TRUE(quorl::TryStrToFloat("2.25", ld));
  EXPECT_EQ(ld, 2.25L);
}

// Builds a locale with a decimal comma in a temporary folder (no locale
// besides C may be installed) and switches LC_NUMERIC to it.
class DecimalCommaLocale {
 public:
  DecimalCommaLocale() {
    // Only LC_NUMERIC is defined; -c writes the locale despite the warnings
    // about the missing categories.
    const std::string src = dir_.Write("src",
                                       "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\n"
                                       "grouping 3;3\nEND LC_NUMERIC\n");
    quorl::test::RunProgram({"localedef", "-c", "-i", src, "-f", "ANSI_X3.4-1968", dir_.File("xx_XX")});
    setenv("LOCPATH", dir_.path().c_str(), 1);
    active_ = std::setlocale(LC_NUMERIC, "xx_XX") != nullptr;
  }
  ~DecimalCommaLocale() {
    std::setlocale(LC_NUMERIC, "C");
    unsetenv("LOCPATH");
  }
  bool Active() const { return active_; }

 private:
  const quorl::test::TempFolder dir_{"quorl-locale-"};
  bool active_ = false;
};

TEST(TryStrToFloat, IgnoresTheProcessLocale) {
  DecimalCommaLocale locale;
  if (!locale.Active()) GTEST_SKIP() << "cannot build a locale with a decimal comma";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  double out = 0;
  EXPECT_TRUE(quorl::TryStrToFloat("1.5", out));
  EXPECT_EQ(out, 1.5);
  EXPECT_FALSE(quorl::TryStrToFloat("1,5", out));
  EXPECT_EQ(quorl::FloatToStr(1.5), "1.5");
  EXPECT_EQ(Variant(2.25).AsString(), "2.25");
}

TEST(TryStrToInt, AcceptsSignAndDigitsWithin32Bits) {
  struct Case {
    const char* text;
    std::optional<int32_t> value;
  };
  const Case cases[] = {
      {"0", 0},
      {"0012", 12},
      {"-2147483648", std::numeric_limits<int32_t>::min()},
      {"+2147483647", std::numeric_limits<int32_t>::max()},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"12a", std::nullopt},
      {"1.0", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {" 1", std::nullopt},
      {"$10", std::nullopt},
  };
  for (const auto& c : cases) {
    int32_t out = -7;
    EXPECT_EQ(quorl::TryStrToInt(c.text, out), c.value.has_value()) << c.text;
    EXPECT_EQ(out, c.value.value_or(-7)) << c.text;
  }
}

TEST(DateTime, EncodesDaysSince18991230) {
  EXPECT_EQ(quorl::EncodeDateTime(1899, 12, 30, 0, 0, 0), 0.0);
  EXPECT_EQ(quorl::EncodeDateTime(1900, 1, 1, 0, 0, 0), 2.0);
  EXPECT_EQ(quorl::EncodeDateTime(2023, 3, 15, 12, 0, 0), 45000.5);
  EXPECT_EQ(quorl::EncodeDateTime(2000, 2, 29, 6, 0, 0), 36585.25);
  // Before the epoch the day is negative and the time still runs forward.
  EXPECT_EQ(quorl::EncodeDateTime(1899, 12, 29, 6, 0, 0), -1.25);
  EXPECT_EQ(quorl::DateTimeToStr(-1.25), "1899-12-29 06:00:00");

  EXPECT_THROW(quorl::EncodeDateTime(2023, 13, 1, 0, 0, 0), EConvertError);
  EXPECT_THROW(quorl::EncodeDateTime(2023, 2, 29, 0, 0, 0), EConvertError);
  EXPECT_THROW(quorl::EncodeDateTime(0, 1, 1, 0, 0, 0), EConvertError);
  EXPECT_THROW(quorl::EncodeDateTime(2023, 1, 1, 24, 0, 0), EConvertError);
  EXPECT_THROW(quorl::EncodeDateTime(2023, 1, 1, 0, 0, 0, 1000), EConvertError);
}

TEST(DateTime, ParsesTheAgreedTextForms) {
  struct Case {
    const char* text;
    std::optional<std::string> back;  // DateTimeToStr of the result
  };
  const Case cases[] = {
      {"2023-03-15", "2023-03-15"},
      {"2023-03-15 08:05:09", "2023-03-15 08:05:09"},
      {"2023/03/15 08:05:09", "2023-03-15 08:05:09"},
      {"2023-03-15T08:05:09", "2023-03-15 08:05:09"},
      {"2023-03-15 08:05:09.250", "2023-03-15 08:05:09"},
      {"2023-03-15 08:05", "2023-03-15 08:05:00"},
      {"2024-02-29 23:59:59.999", "2024-02-29 23:59:59"},
      {" 2023-3-5 ", "2023-03-05"},
      {"2023-13-01", std::nullopt},
      {"2023-02-30", std::nullopt},
      {"2023-02-29", std::nullopt},
      {"2023-03-15 24:00:00", std::nullopt},
      {"2023-03-15 08:60:00", std::nullopt},
      {"2023-03/15", std::nullopt},
      {"23-03-15", std::nullopt},
      {"2023-03-15 08", std::nullopt},
      {"2023-03-15x", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    double out = -1;
    const bool ok = quorl::TryStrToDateTime(c.text, out);
    ASSERT_EQ(ok, c.back.has_value()) << c.text;
    if (ok) {
      EXPECT_EQ(quorl::DateTimeToStr(out), *c.back) << c.text;
    }
  }
  double ms = 0;
  ASSERT_TRUE(quorl::TryStrToDateTime("2023-03-15 00:00:00.500", ms));
  EXPECT_DOUBLE_EQ(ms, 45000.0 + 0.5 / 86400.0);
}

TEST(DateTime, VariantTextConvertsThroughStrToDateTime) {
  EXPECT_DOUBLE_EQ(Variant("2023-03-15 12:00:00").AsDateTime(), 45000.5);
  EXPECT_THROW(Variant("2023-02-30").AsDateTime(), EVariantError);
  EXPECT_EQ(Variant::FromDateTime(45000.5).AsString(), "2023-03-15 12:00:00");
  EXPECT_EQ(quorl::DateTimeToStr(-693593.5), "0001-01-01 12:00:00");
  EXPECT_EQ(quorl::DateTimeToStr(2958465.5), "9999-12-31 12:00:00");
  EXPECT_THROW(quorl::DateTimeToStr(2958465.9999999999), EConvertError);
  EXPECT_THROW(quorl::DateTimeToStr(1e12), EConvertError);
  EXPECT_THROW(quorl::DateTimeToStr(std::nan("")), EConvertError);
}

}  // namespace
