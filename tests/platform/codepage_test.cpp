#include "platform/CodePage.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <atomic>
#include <bit>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/Text.h"

namespace {

const std::string kHuiYuanGbk = "\xBB\xE1\xD4\xB1";           // 会员
const std::string kHuiYuanUtf8 = "\xE4\xBC\x9A\xE5\x91\x98";  // 会员
const std::u16string kHuiYuanUtf16 = u"\u4F1A\u5458";
// U+1F600 (grinning face): outside the basic plane, absent from GBK.
const std::string kEmojiUtf8 = "\xF0\x9F\x98\x80";
const std::u16string kEmojiUtf16 = u"\xD83D\xDE00";

TEST(CodePage, RoundTripsChineseTextThroughAllThreeForms) {
  EXPECT_EQ(quorl::GbkToUtf16(kHuiYuanGbk), kHuiYuanUtf16);
  EXPECT_EQ(quorl::Utf16ToGbk(kHuiYuanUtf16), kHuiYuanGbk);
  EXPECT_EQ(quorl::GbkToUtf8(kHuiYuanGbk), kHuiYuanUtf8);
  EXPECT_EQ(quorl::Utf8ToGbk(kHuiYuanUtf8), kHuiYuanGbk);
  EXPECT_EQ(quorl::Utf8ToUtf16(kHuiYuanUtf8), kHuiYuanUtf16);
  EXPECT_EQ(quorl::Utf16ToUtf8(kHuiYuanUtf16), kHuiYuanUtf8);

  // Mixed ASCII and two-byte text, also where a trail byte is an ASCII letter
  // (0x81 0x40 is U+4E02).
  const std::string mixed = "ab" + kHuiYuanGbk + "\x81\x40" + "z";
  EXPECT_EQ(quorl::Utf16ToGbk(quorl::GbkToUtf16(mixed)), mixed);
  EXPECT_EQ(quorl::GbkToUtf16("\x81\x40"), u"\u4E02");
}

TEST(CodePage, EuroSignIsByte80AsInCodePage936) {
  EXPECT_EQ(quorl::GbkToUtf16(""), u"");
  EXPECT_EQ(quorl::Utf8ToGbk(""), "");
  EXPECT_EQ(quorl::GbkToUtf16("\x80"), u"\u20AC");
  EXPECT_EQ(quorl::Utf16ToGbk(u"\u20AC"), "\x80");
  EXPECT_EQ(quorl::Utf8ToGbk("\xE2\x82\xAC"), "\x80");
}

TEST(CodePage, UnrepresentableCharacterBecomesOneQuestionMark) {
  EXPECT_EQ(quorl::Utf16ToGbk(u"a" + kEmojiUtf16 + u"b"), "a?b");
  EXPECT_EQ(quorl::Utf8ToGbk("a" + kEmojiUtf8 + "b"), "a?b");
  // Hangul is not in GBK.
  EXPECT_EQ(quorl::Utf16ToGbk(u"\uD55C" + kHuiYuanUtf16), "?" + kHuiYuanGbk);
}

// Bad UTF-8 gives one U+FFFD per maximal invalid subpart (a sequence cut
// short is one bad character, a byte that cannot start or continue one is
// another); in host text each shows as one '?'. Bad GBK bytes give '?'.
TEST(CodePage, InvalidInputBecomesOneMarkPerBadSequence) {
  struct Case {
    const char* name;
    std::string utf8;
    std::u16string expected;
  };
  const Case utf8Cases[] = {
      {"lone continuation", "a\x80z", u"a\uFFFDz"},
      {"cut three-byte sequence", "\xE4\xBC", u"\uFFFD"},
      {"cut sequence before ASCII", "\xE4\xBCz", u"\uFFFDz"},
      {"cut four-byte sequence", "\xF0\x9F\x98z", u"\uFFFDz"},
      {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"overlong three-byte", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"byte FF", "\xFF", u"\uFFFD"},
  };
  for (const auto& c : utf8Cases) {
    EXPECT_EQ(quorl::Utf8ToUtf16(c.utf8), c.expected) << c.name;
    std::string gbk;
    for (char16_t u : c.expected) gbk += u == 0xFFFD ? '?' : static_cast<char>(u);
    EXPECT_EQ(quorl::Utf8ToGbk(c.utf8), gbk) << c.name;
  }

  // GBK: a lead byte without a valid trail, a lone 0xFF, a cut final lead byte.
  EXPECT_EQ(quorl::GbkToUtf16("\x81\x20x"), u"? x");
  EXPECT_EQ(quorl::GbkToUtf16("a\xFF"
                              "b"),
            u"a?b");
  EXPECT_EQ(quorl::GbkToUtf16(kHuiYuanGbk + "\xBB"), kHuiYuanUtf16 + u"?");
  EXPECT_EQ(quorl::GbkToUtf8("\xBB"), "?");

  // Lone surrogates in UTF-16.
  EXPECT_EQ(quorl::Utf16ToUtf8(u"a\xD83D"
                               "b"),
            "a?b");
  EXPECT_EQ(quorl::Utf16ToUtf8(u"\xDE00"), "?");
  EXPECT_EQ(quorl::Utf16ToGbk(u"a\xD83D"), "a?");
  EXPECT_EQ(quorl::Utf16ToGbk(u"\xDE00" + kHuiYuanUtf16), "?" + kHuiYuanGbk);
}

TEST(CodePage, SurrogatePairsTravelBetweenUtf8AndUtf16) {
  EXPECT_EQ(quorl::Utf8ToUtf16(kEmojiUtf8), kEmojiUtf16);
  EXPECT_EQ(quorl::Utf16ToUtf8(kEmojiUtf16), kEmojiUtf8);
  const std::string highest = "\xF4\x8F\xBF\xBF";  // U+10FFFF
  EXPECT_EQ(quorl::Utf8ToUtf16(highest), u"\xDBFF\xDFFF");
  EXPECT_EQ(quorl::Utf16ToUtf8(u"\xDBFF\xDFFF"), highest);
}

TEST(CodePage, LongMixedTextConvertsCompletely) {
  // Crosses any internal buffer size with errors spread through it.
  std::string gbk;
  std::u16string expected;
  for (int i = 0; i < 5000; ++i) {
    gbk += kHuiYuanGbk + "x\xFF";
    expected += kHuiYuanUtf16 + u"x?";
  }
  // Compared as a whole so a failure does not print 20,000 characters.
  EXPECT_TRUE(quorl::GbkToUtf16(gbk) == expected);
  std::u16string wide;
  for (int i = 0; i < 5000; ++i) wide += kEmojiUtf16 + kHuiYuanUtf16;
  const std::string narrow = quorl::Utf16ToGbk(wide);
  EXPECT_EQ(narrow.size(), 5000u * 5u);
}

TEST(CodePage, ConvertsOnSeveralThreads) {
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        if (quorl::Utf16ToGbk(quorl::GbkToUtf16(kHuiYuanGbk)) != kHuiYuanGbk) ++failures;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
}

TEST(Trim, RemovesBlanksAndControlCharactersAtBothEnds) {
  EXPECT_EQ(quorl::Trim(" \t\r\n a b \x01\x20"), "a b");
  EXPECT_EQ(quorl::Trim("   "), "");
  EXPECT_EQ(quorl::Trim(""), "");
  // Bytes of two-byte characters are above 0x20 and stay.
  EXPECT_EQ(quorl::Trim(" " + kHuiYuanGbk + " "), kHuiYuanGbk);
  EXPECT_EQ(quorl::Trim(u"\t x y \x1F"), u"x y");
  EXPECT_EQ(quorl::Trim(u"\u3000x"), u"\u3000x");  // ideographic space is not a control
}

// Names, keys and header words compare by ASCII letters only: bytes of GBK or
// UTF-8 characters must never fold, or two different names would match.
TEST(Text, AsciiCaseFoldingLeavesOtherBytesAlone) {
  EXPECT_TRUE(quorl::SameTextAscii("Content-Type", "content-TYPE"));
  EXPECT_FALSE(quorl::SameTextAscii("utf-8", "utf-8 "));
  EXPECT_FALSE(quorl::SameTextAscii("\xC9", "\xE9"));  // upper/lower pair in Latin-1
  EXPECT_FALSE(quorl::SameTextAscii("a[", "A{"));      // '[' and '{' differ by 0x20 too
  EXPECT_EQ(quorl::ToUpperAscii("node\xE9" + kHuiYuanGbk), "NODE\xE9" + kHuiYuanGbk);
  EXPECT_TRUE(quorl::StartsWithTextAscii("PostgreSQL://h/db", "postgresql://"));
  EXPECT_FALSE(quorl::StartsWithTextAscii("postgres", "postgresql://"));
}

// The ASCII path widens sixteen bytes at a time; every kind of sequence must
// come out right wherever it falls against those blocks.
TEST(CodePage, Utf8ToUtf16AcrossAsciiBlocks) {
  std::string text;
  std::u16string expected;
  for (int i = 0; i < 3000; ++i) {
    text += std::string(static_cast<size_t>(i % 23), 'a');
    expected += std::u16string(static_cast<size_t>(i % 23), u'a');
    switch (i % 4) {
      case 0:
        text += "\xE4\xBC\x9A";
        expected += u"\u4F1A";
        break;  // 会
      case 1:
        text += "\xC3\xA9";
        expected += u"\u00E9";
        break;  // é
      case 2:
        text += "\xF0\x9F\x98\x80";
        expected += u"\U0001F600";
        break;
      default:
        text += "\xFF";
        expected += u"\uFFFD";
        break;  // invalid byte
    }
  }
  EXPECT_EQ(quorl::Utf8ToUtf16(text), expected);
  EXPECT_EQ(quorl::Utf8ToUtf16("0123456789abcde\xE4\xB8"), u"0123456789abcde\uFFFD");
}

}  // namespace

// The table behind Utf16ToGbk against iconv itself, character by character,
// over the whole basic plane (surrogates are covered above).
TEST(CodePage, Utf16ToGbkAgreesWithIconvOnEveryCharacter) {
  iconv_t cd = iconv_open("GBK", std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::u16string all;
  std::string expected;
  for (uint32_t c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const char16_t unit = static_cast<char16_t>(c);
    all.push_back(unit);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(&unit));
    size_t inLeft = sizeof unit;
    char bytes[8];
    char* out = bytes;
    size_t outLeft = sizeof bytes;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1))
      expected += '?';
    else
      expected.append(bytes, sizeof bytes - outLeft);
  }
  iconv_close(cd);
  EXPECT_EQ(quorl::Utf16ToGbk(all), expected);
}
