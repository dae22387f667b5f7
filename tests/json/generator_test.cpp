// GenerateText / GenerateReadableText: escaping, number format, layout, buffer
// growth, round trips, and saving to streams and files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "json/JsonInternal.h"
#include "json/JsonTreeEqual.h"
#include "platform/Exception.h"
#include "support/TempFolder.h"
#include "tests/json/JsonTestUtil.h"

using quorl::test::As;
using quorl::test::Compact;
using quorl::test::Parse;
using quorl::test::Readable;
using quorl::test::Tree;

namespace {

std::string Number(long double v) {
  Tree t(TvxJSONnumber::Generate(v));
  return Compact(t);
}

std::string StringText(std::u16string_view s) {
  Tree t(TvxJSONstring::Generate(s));
  return Compact(t);
}

}  // namespace

TEST(GenerateText, ClassesWithoutTextWriteNothing) {
  EXPECT_EQ("", TvxJSON::GenerateText(nullptr));
  Tree base(new TvxJSONbase);
  EXPECT_EQ("", Compact(base));
  Tree custom(new TvxJSONcustomlist);
  static_cast<TvxJSONcustomlist*>(custom.get())->_Add(TvxJSONnumber::Generate(1));
  EXPECT_EQ("", Compact(custom));
  EXPECT_EQ("", quorl::test::Readable(nullptr));
}

TEST(GenerateText, StringEscaping) {
  struct S {
    std::u16string value;
    std::string text;
  } cases[] = {
      {u"/\"\t\x01", R"("\/\"\t\u0001")"},
      {u"\b\f\n\r\\", R"("\b\f\n\r\\")"},
      {u"\x0B\x1F\x7F", "\"\\u000B\\u001F\x7F\""},
      {std::u16string(1, u'\0'), R"("\u0000")"},
      {u"'", "\"'\""},
      {u"\u00e9", "\"\xC3\xA9\""},
      {u"\u4e2d", "\"\xE4\xB8\xAD\""},
      {u"\U0001F600", "\"\xF0\x9F\x98\x80\""},
      {std::u16string(1, char16_t(0xD83D)), "\"\xED\xA0\xBD\""},  // a lone half keeps its own form
      {std::u16string(1, char16_t(0xDE00)) + u"x", "\"\xED\xB8\x80x\""},
      {u"", "\"\""},
  };
  for (const S& c : cases) EXPECT_EQ(c.text, StringText(c.value));
}

TEST(GenerateText, NumberFormat) {
  struct N {
    long double value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {-0.0L, "0"},
      {3, "3"},
      {-3, "-3"},
      {1.5L, "1.5"},
      {0.1L, "0.1"},
      {1.0L / 3, "0.333333333333333"},
      {2.0L / 3, "0.666666666666667"},
      {100, "100"},
      {123456789012345.0L, "123456789012345"},
      {999999999999999.0L, "999999999999999"},
      {1e15L, "1E15"},
      {1234567890123456.0L, "1.23456789012346E15"},
      {1e20L, "1E20"},
      {1.5e300L, "1.5E300"},
      {0.0001L, "0.0001"},
      {0.00012345L, "0.00012345"},
      {0.00001L, "1E-5"},
      {-1.25e-7L, "-1.25E-7"},
      {9.99999999999999999e14L, "1E15"},  // rounds up into the next decade
      {0.99999999999999999L, "1"},
      {1e4000L, "1E4000"},
      {LDBL_MAX, "1.18973149535723E4932"},
      {12.5L, "12.5"},
  };
  for (const N& c : cases) EXPECT_EQ(c.text, Number(c.value)) << static_cast<double>(c.value);
}

TEST(GenerateText, NumberFormatIgnoresTheThreadLocale) {
  const std::string saved = quorl::test::UseCommaLocale();
  if (saved.empty()) GTEST_SKIP() << "no locale with a decimal comma available";
  ASSERT_EQ(',', *std::localeconv()->decimal_point);
  const std::string a = Number(1.5L);
  const std::string b = Number(1.0L / 7);
  const std::string c = Number(1e-30L / 3);  // beyond the quick route: the exact conversion
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ("1.5", a);
  EXPECT_EQ("0.142857142857143", b);
  EXPECT_EQ("3.33333333333333E-31", c);
}

TEST(GenerateText, ContainersPairsAndNoneElements) {
  Tree t(TvxJSONlist::Generate());
  auto* l = static_cast<TvxJSONlist*>(t.get());
  l->Add(int32_t{1});
  l->Add(TvxJSONnull::Generate());
  l->Add(int32_t{2});
  l->SetChild(1, nullptr);                               // a none element writes nothing between its commas
  l->Add(TvxJSONobjectmethod::Generate(u"p", nullptr));  // a pair without value: name and colon
  l->Add(TvxJSONobject::Generate(true));
  l->Add(TvxJSONlist::Generate());
  EXPECT_EQ(R"([1,,2,"p":,{},[]])", Compact(t));
  Tree emptyObject(TvxJSONobject::Generate(false));
  EXPECT_EQ("{}", Compact(emptyObject));
  EXPECT_EQ("{}", Readable(emptyObject.get()));
}

TEST(GenerateReadableText, LayoutOfNestedContainers) {
  Tree t = Parse(R"({"a":[1,2],"b":{}})");
  EXPECT_EQ(
      "{\r\n"
      "  \"a\":[\r\n"
      "    1,\r\n"
      "    2\r\n"
      "  ],\r\n"
      "  \"b\":{}\r\n"
      "}",
      Readable(t.get()));
  Tree deeper = Parse(R"([{"x":{"y":[true]}},"s"])");
  EXPECT_EQ(
      "[\r\n"
      "  {\r\n"
      "    \"x\":{\r\n"
      "      \"y\":[\r\n"
      "        true\r\n"
      "      ]\r\n"
      "    }\r\n"
      "  },\r\n"
      "  \"s\"\r\n"
      "]",
      Readable(deeper.get()));
  Tree empty = Parse("[{},[]]");
  EXPECT_EQ("[\r\n  {},\r\n  []\r\n]", Readable(empty.get()));
  Tree scalar = Parse("\"a/b\"");
  EXPECT_EQ(R"("a\/b")", Readable(scalar.get()));
}

TEST(GenerateReadableText, LevelComesBackUnchanged) {
  Tree t = Parse(R"({"a":[1,{"b":2}]})");
  for (int32_t start : {0, 3, -2}) {
    int32_t level = start;
    GenerateReadableText(t.get(), level);
    EXPECT_EQ(start, level);
  }
  // A non-zero start indents the body by that many steps.
  Tree l = Parse("[1]");
  int32_t level = 1;
  EXPECT_EQ("[\r\n    1\r\n  ]", GenerateReadableText(l.get(), level));
  level = -1;  // no indentation at all: a single element without text leaves the body empty
  Tree none(TvxJSONlist::Generate());
  static_cast<TvxJSONlist*>(none.get())->Add(new TvxJSONbase);
  EXPECT_EQ("[]", GenerateReadableText(none.get(), level));
  level = 0;
  EXPECT_EQ("[\r\n  \r\n]", GenerateReadableText(none.get(), level));
}

TEST(GenerateText, OutputBeyondTheFirstBufferIsComplete) {
  Tree t(TvxJSONlist::Generate());
  auto* l = static_cast<TvxJSONlist*>(t.get());
  std::string expected = "[";
  for (int i = 0; i < 30000; ++i) {
    l->Add(u"abcdefghij/");
    expected += std::string(i ? "," : "") + "\"abcdefghij\\/\"";
  }
  expected += "]";
  const std::string out = Compact(t);
  EXPECT_GT(out.size(), 150000u);
  EXPECT_EQ(expected, out);
  // One string larger than a buffer step by itself.
  Tree big(TvxJSONstring::Generate(std::u16string(120000, u'\x01')));
  EXPECT_EQ(2 + 120000u * 6, Compact(big).size());
}

TEST(GenerateText, RoundTripGivesAnEqualTree) {
  const char* texts[] = {
      R"({"code":"A00006","total":2,"data":[{"card_no":"8800001","user_balance":1288.5,"ok":true,"x":null}]})",
      R"([0.1,-7e-300,123456789.123456789,1e4000,"\u00e9\ud83d\ude00\ud800","\u0000\u001f",[],{}])",
      R"({"a":{"a":{"a":[[[]]]}},"":"","a":2})",
      "[3.3621031431120935063e-4932, 1e-4940, 1.18973149535723176502e4932, -0.0]",
  };
  for (const char* text : texts) {
    Tree first = Parse(text);
    ASSERT_NE(nullptr, first) << text;
    const std::string compact = Compact(first);
    Tree second = Parse(compact);
    ASSERT_NE(nullptr, second) << compact;
    EXPECT_TRUE(quorl::JsonTreeEqual(first.get(), second.get(), quorl::NumberMatch::FifteenDigits))
        << compact;
    EXPECT_EQ(compact, Compact(second));
    // The readable form parses back to the same tree too.
    Tree third = Parse(Readable(first.get()));
    EXPECT_TRUE(quorl::JsonTreeEqual(second.get(), third.get())) << text;
  }
}

TEST(JsonTreeEqual, TellsTreesApart) {
  Tree a = Parse(R"({"a":[1,"x",true,null]})");
  const char* others[] = {R"({"b":[1,"x",true,null]})", R"({"a":[2,"x",true,null]})",
                          R"({"a":[1,"y",true,null]})", R"({"a":[1,"x",false,null]})",
                          R"({"a":[1,"x",true]})",      R"({"a":[1,"x",true,0]})",
                          R"([[1,"x",true,null]])"};
  for (const char* o : others) {
    Tree b = Parse(o);
    EXPECT_FALSE(quorl::JsonTreeEqual(a.get(), b.get())) << o;
  }
  Tree same = Parse(R"({ "a" : [ 1.0 , "x" , true , null ] })");
  EXPECT_TRUE(quorl::JsonTreeEqual(a.get(), same.get()));
  EXPECT_FALSE(quorl::JsonTreeEqual(a.get(), nullptr));
  EXPECT_TRUE(quorl::JsonTreeEqual(nullptr, nullptr));
}

TEST(GenerateText, DeepTreesWithoutRecursion) {
  constexpr int kDepth = 1000000;
  Tree root(TvxJSONlist::Generate());
  auto* at = static_cast<TvxJSONlist*>(root.get());
  for (int i = 0; i < kDepth; ++i) {
    auto* next = TvxJSONlist::Generate();
    at->Add(next);
    at = next;
  }
  const std::string out = Compact(root);
  EXPECT_EQ(std::string(kDepth + 1, '[') + std::string(kDepth + 1, ']'), out);
  // The same for the readable form, at a depth whose indentation still fits.
  Tree mid(TvxJSONobject::Generate(true));
  auto* o = static_cast<TvxJSONobject*>(mid.get());
  for (int i = 0; i < 2000; ++i) {
    auto* next = TvxJSONobject::Generate(true);
    o->Add(u"k", next);
    o = next;
  }
  const std::string readable = Readable(mid.get());
  EXPECT_EQ(0u, readable.find("{\r\n  \"k\":{\r\n    \"k\":{"));
  EXPECT_EQ(nullptr, Parse(readable));  // deeper than the parser accepts
}

TEST(TvxJSONstreamed, SaveToStreamWritesTheCompactText) {
  Tree t = Parse(R"({"a":"\u00e9"})");
  std::ostringstream out;
  TvxJSONstreamed::SaveToStream(t.get(), &out);
  EXPECT_EQ("{\"a\":\"\xC3\xA9\"}", out.str());  // no byte-order mark, no terminator
  TvxJSONstreamed::SaveToStream(nullptr, &out);
  TvxJSONstreamed::SaveToStream(t.get(), nullptr);
  EXPECT_EQ(10u, out.str().size());
  std::ostringstream failing;
  failing.setstate(std::ios::badbit);
  EXPECT_THROW(TvxJSONstreamed::SaveToStream(t.get(), &failing), EFOpenError);
}

TEST(TvxJSONstreamed, SaveToFileAndLoadBack) {
  const quorl::test::TempFolder dir("json_save_");
  const std::string path = dir.File("out.json");
  {
    std::ofstream old(path);
    old << "previous content that is longer than the new one";
  }
  Tree t = Parse("[1,2]");
  TvxJSONstreamed::SaveToFile(t.get(), path);
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  EXPECT_EQ("[1,2]", bytes.str());  // truncated, then written
  Tree back(TvxJSONstreamed::LoadFromFile(path));
  EXPECT_TRUE(quorl::JsonTreeEqual(t.get(), back.get()));

  const std::string none = dir.File("none.json");
  TvxJSONstreamed::SaveToFile(nullptr, none);
  EXPECT_NE(0, access(none.c_str(), F_OK));  // no value: no file
  EXPECT_THROW(TvxJSONstreamed::SaveToFile(t.get(), dir.File("no/such/dir.json")), EFOpenError);
}
