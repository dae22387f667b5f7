// ParseText: the lenient grammar rule by rule, strings and escapes, UTF-8,
// numbers, depth, and loading from streams and files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "json/uVxJSON.h"
#include "platform/Exception.h"
#include "support/TempFolder.h"
#include "support/TestPaths.h"
#include "tests/json/JsonTestUtil.h"

using quorl::test::As;
using quorl::test::Compact;
using quorl::test::Parse;
using quorl::test::Tree;

namespace {

struct Case {
  std::string text;
  const char* compact;  // nullptr: the parse gives none
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    Tree t = Parse(c.text);
    if (c.compact == nullptr) {
      EXPECT_EQ(nullptr, t) << "input: " << c.text << " gave " << Compact(t);
    } else {
      ASSERT_NE(nullptr, t) << "input: " << c.text;
      EXPECT_EQ(c.compact, Compact(t)) << "input: " << c.text;
    }
  }
}

std::u16string ParseString(const std::string& json) {
  Tree t = Parse(json);
  auto* s = As<TvxJSONstring>(t.get());
  if (s == nullptr) return u"<none>";
  return std::u16string(s->Value());
}

}  // namespace

TEST(ParseText, TopLevelTextAndByteOrderMark) {
  RunCases({
      {"", nullptr},
      {"\xEF\xBB\xBF", nullptr},
      {" \t\r\n", nullptr},
      {"\xEF\xBB\xBF{}", "{}"},
      {"\xEF\xBB\xBF  [1]", "[1]"},
      {"\xEF\xBB", nullptr},
      {"{} other words", "{}"},  // bytes after the value are not examined
      {"1 2", "1"},
      {"\x01\x1F 7", "7"},  // every byte below 0x21 is whitespace
      {std::string("\0\0true", 6), "true"},
      {"x", nullptr},
  });
}

TEST(ParseText, LiteralsAreCaseSensitiveAndNotDelimited) {
  RunCases({
      {"true", "true"},
      {"false", "false"},
      {"null", "null"},
      {"tru", nullptr},
      {"True", nullptr},
      {"NULL", nullptr},
      {"truex", "true"},
      {"nullx", "null"},
      {"[truefalse]", "[true,false]"},
      {"fals", nullptr},
  });
}

TEST(ParseText, NumberGrammar) {
  RunCases({
      {"0", "0"},
      {"-0", "0"},
      {"007", "7"},
      {"+5", "5"},
      {"-0.5e+3", "-500"},
      {"1E2", "100"},
      {"1e-2", "0.01"},
      {"2.50", "2.5"},
      {"123456789012345678901234567890", "1.23456789012346E29"},
      {".5", nullptr},
      {"1.", nullptr},
      {"1e", nullptr},
      {"1e+", nullptr},
      {"-", nullptr},
      {"+", nullptr},
      {"--1", nullptr},
      {"[1.]", nullptr},
      {"[1.5.3]", nullptr},
      {"1.5.3", "1.5"},
      {"0x10", "0"},
      {"1e5000", nullptr},  // overflows the 80-bit float: out of range
      {"-1e5000", nullptr},
      {"1e-5000", nullptr},  // underflows to zero: out of range as well
      {"0.0e-5000", "0"},
      {"0e99999", "0"},
      {"1e4000", "1E4000"},  // inside the long double range
      {"[1e99999999999999999999]", nullptr},
  });
}

TEST(ParseText, NumbersAreExtendedPrecision) {
  Tree t = Parse("[0.1, 9007199254740993, 1.18973149535723176502e4932, 3.3621031431120935063e-4932]");
  auto* l = As<TvxJSONlist>(t.get());
  ASSERT_NE(nullptr, l);
  auto value = [&](int i) { return static_cast<TvxJSONnumber*>(l->GetChild(i))->Value(); };
  EXPECT_EQ(0.1L, value(0));                 // correctly rounded to long double, not double
  EXPECT_EQ(9007199254740993.0L, value(1));  // 2^53 + 1: beyond double, exact here
  EXPECT_EQ(LDBL_MAX, value(2));
  EXPECT_EQ(LDBL_MIN, value(3));
  // Its 15-digit text lies just below the smallest normal and reads back.
  Tree again = Parse(Compact(t));
  ASSERT_NE(nullptr, again);
  EXPECT_LT(static_cast<TvxJSONnumber*>(again->GetChild(3))->Value(), LDBL_MIN);
  Tree subnormal = Parse("1e-4940");
  ASSERT_NE(nullptr, subnormal);
  EXPECT_GT(static_cast<TvxJSONnumber*>(subnormal.get())->Value(), 0);
  EXPECT_EQ(Variant(0.1), l->GetChild(0)->GetValue());  // GetValue gives a double
}

TEST(ParseText, NumbersIgnoreTheThreadLocale) {
  const std::string saved = quorl::test::UseCommaLocale();
  if (saved.empty()) GTEST_SKIP() << "no locale with a decimal comma available";
  ASSERT_EQ(',', *std::localeconv()->decimal_point);
  Tree t = Parse("[1.5, 1.00000000000000000000001, 12345678901234567890.5]");
  const std::string out = Compact(t);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ("[1.5,1,1.23456789012346E19]", out);
}

TEST(ParseText, StringScanningAndEscapes) {
  struct S {
    std::string json;
    std::u16string expected;
  } cases[] = {
      {R"("a\qb")", u"ab"},  // unknown escape dropped with its backslash
      {R"("\u00e9")", u"\u00e9"},
      {R"("\u00E9x")", u"\u00e9x"},
      {R"("a\\")", u"a\\"},
      {R"("\"\'\/\\")", u"\"'/\\"},
      {R"("\b\f\n\r\t")", u"\b\f\n\r\t"},
      {R"("\u41")", u"A"},  // fewer hex digits when the raw text ends
      {R"("\u4")", u"\u0004"},
      {R"("\u0000z")", std::u16string(u"\0z", 2)},
      {R"("\u07FF\u0800\uFFFF")", u"\u07ff\u0800\uffff"},
      {R"("\ud83d\ude00")", u"\U0001F600"},  // two escaped halves keep the pair
      {R"("\ud83d")", std::u16string(1, char16_t(0xD83D))},
      {"\"raw\x01\x1F\ttab\"", u"raw\x01\x1F\ttab"},  // raw control bytes stay
      {"  \"x\"", u"x"},
      {R"("")", u""},
      {R"("\\\"")", u"\\\""},
      {"'single'", u"<none>"},
      {R"("open)", u"<none>"},
      {R"("ends with backslash\")", u"<none>"},
      {R"("\uZZZZ")", u"<none>"},  // not hexadecimal: the whole parse fails
      {R"("\u")", u"<none>"},
      {R"("\u12G4")", u"<none>"},
      {R"("\u-123")", u"<none>"},
  };
  for (const S& c : cases) EXPECT_EQ(c.expected, ParseString(c.json)) << c.json;
}

TEST(ParseText, BadEscapeAnywhereFailsTheWholeParse) {
  RunCases({
      {R"([1, "\uXYZW"])", nullptr},
      {R"({"\uXYZW": 1})", nullptr},
      {R"({"a": ["\u12"]})", R"({"a":["\u0012"]})"},
  });
}

TEST(ParseText, Utf8Decoding) {
  struct S {
    std::string bytes;
    std::u16string expected;
  } cases[] = {
      {"\xE4\xB8\xAD\xE6\x96\x87", u"\u4e2d\u6587"},
      {"\xC3\xA9", u"\u00e9"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xED\xA0\xBD\xED\xB8\x80", u"\U0001F600"},  // the same pair as two 3-byte halves
      {"\xED\xB8\x80", std::u16string(1, char16_t(0xDE00))},
      {"\xFF", u"\ufffd"},
      {"a\x80z", u"a\ufffdz"},
      {"\xC0\xAF", u"\ufffd\ufffd"},  // overlong: each byte replaced
      {"\xE4\xB8", u"\ufffd"},        // truncated sequence: one replacement
      {"\xE4\xB8z", u"\ufffdz"},
      {"\xF4\x90\x80\x80", u"\ufffd\ufffd\ufffd\ufffd"},  // above U+10FFFF
      {"\xF0\x9F\x98", u"\ufffd"},
      {std::string(40, 'a') + "\xE2\x82\xAC", std::u16string(40, u'a') + u"\u20ac"},
  };
  for (const S& c : cases) EXPECT_EQ(c.expected, ParseString("\"" + c.bytes + "\"")) << c.bytes;
}

TEST(ParseText, ListGrammar) {
  RunCases({
      {"[]", "[]"},
      {"[ ]", "[]"},
      {"[1 2]", "[1,2]"},
      {"[1 2,3,]", "[1,2,3]"},
      {"[1,]", "[1]"},
      {"[,1]", nullptr},
      {"[1,,2]", nullptr},
      {"[1", nullptr},
      {"[1,", nullptr},
      {"[[],[[]]]", "[[],[[]]]"},
      {"[1,}", nullptr},
      {"[tru]", nullptr},
      {"[\"a\"\"b\"]", "[\"a\",\"b\"]"},
  });
}

TEST(ParseText, ObjectGrammar) {
  RunCases({
      {"{}", "{}"},
      {R"({"a":1,"b":[true]})", R"({"a":1,"b":[true]})"},
      {R"({"a":1 "b":2})", R"({"a":1,"b":2})"},
      {R"({"a":1,})", R"({"a":1})"},
      {R"({ "a" : 1 })", R"({"a":1})"},
      {R"({"a"})", nullptr},   // key without colon
      {R"({"a":})", nullptr},  // colon without value
      {R"({a:1})", nullptr},   // unquoted key
      {R"({'a':1})", nullptr},
      {R"({,"a":1})", nullptr},
      {R"({"a":1,,"b":2})", nullptr},
      {R"({"a":1)", nullptr},
      {R"({"":0})", R"({"":0})"},
      {R"({"x":{"y":{}}})", R"({"x":{"y":{}}})"},
  });
}

TEST(ParseText, RepeatedNamesAreKeptAndTheFirstIsFound) {
  Tree t = Parse(R"({"a":1,"a":2})");
  auto* o = As<TvxJSONobject>(t.get());
  ASSERT_NE(nullptr, o);
  EXPECT_TRUE(o->UseIndex());
  EXPECT_EQ(2, o->GetCount());
  EXPECT_EQ(1, o->getInt("a"));
  EXPECT_EQ(1u, o->GetHashTable()->Size());
}

TEST(ParseText, ObjectsAreIndexedInMemberOrder) {
  Tree t = Parse(R"({"c":0,"b":1,"a":2,"d":3})");
  auto* o = As<TvxJSONobject>(t.get());
  const TvxBalTree* index = o->GetHashTable();
  EXPECT_EQ(0, index->IndexOf(u"c"));
  EXPECT_EQ(3, index->IndexOf(u"d"));
  // The same names inserted one by one give the same tree.
  TvxBalTree byHand;
  for (const char16_t* n : {u"c", u"b", u"a", u"d"}) byHand.Insert(n, 0);
  EXPECT_EQ(byHand.counters(), index->counters());
  EXPECT_EQ(byHand.Root()->name.View(), index->Root()->name.View());
}

TEST(ParseText, NestingDepthIsLimited) {
  auto nested = [](int depth, char open, char close) {
    return std::string(static_cast<size_t>(depth), open) + std::string(static_cast<size_t>(depth), close);
  };
  EXPECT_NE(nullptr, Parse(nested(kMaxJsonDepth, '[', ']')));
  EXPECT_EQ(nullptr, Parse(nested(kMaxJsonDepth + 1, '[', ']')));
  std::string objects;
  for (int i = 0; i < kMaxJsonDepth; ++i) objects += "{\"k\":";
  EXPECT_NE(nullptr, Parse(objects + "1" + std::string(kMaxJsonDepth, '}')));
  EXPECT_EQ(nullptr, Parse("[" + objects + "1" + std::string(kMaxJsonDepth, '}') + "]"));
  // Hostile input far beyond the limit fails quickly and cleanly.
  EXPECT_EQ(nullptr, Parse(std::string(1000000, '[')));
}

TEST(ParseText, ParsesLargeInput) {
  std::string text = "[";
  for (int i = 0; i < 100000; ++i)
    text += "{\"id\":" + std::to_string(i) + ",\"name\":\"member " + std::to_string(i) + "\"},";
  text += "]";
  Tree t = Parse(text);
  ASSERT_NE(nullptr, t);
  EXPECT_EQ(100000, t->GetCount());
  EXPECT_EQ(99999, As<TvxJSONobject>(t->GetChild(99999))->getInt("id"));
}

TEST(TvxJSONstreamed, LoadFromStreamReadsFromThePosition) {
  EXPECT_EQ(nullptr, TvxJSONstreamed::LoadFromStream(nullptr));
  std::istringstream in("xx[1,2]");
  in.seekg(2);
  Tree t(TvxJSONstreamed::LoadFromStream(&in));
  EXPECT_EQ("[1,2]", Compact(t));
  std::istringstream empty("");
  EXPECT_EQ(nullptr, TvxJSONstreamed::LoadFromStream(&empty));
}

TEST(TvxJSONstreamed, LoadFromFile) {
  const quorl::test::TempFolder dir("json_load_");
  const std::string path = dir.File("answer.json");
  {
    std::ofstream f(path, std::ios::binary);
    f << "\xEF\xBB\xBF{\"code\":\"A00006\"}";
  }
  Tree t(TvxJSONstreamed::LoadFromFile(path));
  ASSERT_NE(nullptr, t);
  EXPECT_EQ("A00006", As<TvxJSONobject>(t.get())->getString("code"));
  EXPECT_EQ(nullptr, TvxJSONstreamed::LoadFromFile(dir.File("missing.json")));
  EXPECT_THROW(TvxJSONstreamed::LoadFromFile(dir.path()), EFOpenError);  // exists, cannot be read as a file
}

TEST(ParseText, PlatformAnswerFromDataFile) {
  const std::string path = quorl::test::DataPath("json_card_list_answer.json");
  Tree t(TvxJSONstreamed::LoadFromFile(path));
  ASSERT_NE(nullptr, t) << path;
  auto* answer = As<TvxJSONobject>(t.get());
  ASSERT_NE(nullptr, answer);
  EXPECT_EQ("A00006", answer->getString("code"));
  auto* member = As<TvxJSONobject>(answer->OldGetField(u"member"));
  ASSERT_NE(nullptr, member);
  EXPECT_EQ("\xD5\xC5\xC8\xFD", member->getString("realname"));  // GBK
  auto* cards = As<TvxJSONlist>(answer->GetField(Variant("data")));
  ASSERT_NE(nullptr, cards);
  ASSERT_EQ(2, cards->GetCount());
  auto* card = As<TvxJSONobject>(cards->GetChild(0));
  EXPECT_EQ(Variant(1288.5), card->OldGetField(u"user_balance")->GetValue());
  EXPECT_EQ(Variant(u"0.00"), cards->GetChild(1)->GetField(Variant("user_balance"))->GetValue());
  EXPECT_EQ(u"http://example.com/a \U0001F600 end", answer->getWideString("note"));
}
