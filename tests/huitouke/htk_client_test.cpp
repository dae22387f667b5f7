// The platform client's shared rules: identifiers, cipher, encoding, signing,
// time stamp, and the generic signed post MemberInterface over a fake HTTP
// transport.

#include <gtest/gtest.h>

#include <string>

#include "fakes/FakeClock.h"
#include "fakes/FakeHttpTransport.h"
#include "huitouke/HtkTestSupport.h"
#include "huitouke/md5.h"
#include "huitouke/uHuiTouKe_ZEL.h"
#include "platform/Exception.h"

namespace {

using quorl::test::FakeHttpFault;
using quorl::test::FormFields;
using quorl::test::ScopedFakeClock;
using quorl::test::ScopedFakeHttp;
using quorl::test::ScopedPlatformConfig;

TEST(THuiTouKe_ZEL, SplitsCommercialIntoMerchantAndStore) {
  struct Case {
    const char* commercial;
    const char* merchant;
    const char* store;
  } cases[] = {
      {"M001|S01", "M001", "S01"},
      {" M001 |  S01 \t", " M001 ", "S01"},  // merchant as written, store trimmed
      {"M001", "", "M001"},                  // no bar: all of it is the store
      {"  M001  ", "", "M001"},
      {"A|B|C", "A", "B|C"},  // split at the first bar only
      {"|S", "", "S"},
      {"M|", "M", ""},
      {"", "", ""},
  };
  ScopedFakeHttp http;
  for (const Case& c : cases) {
    ScopedPlatformConfig config("http://x/", c.commercial, "k");
    THuiTouKe_ZEL client;
    EXPECT_EQ(client.MerchantId(), c.merchant) << c.commercial;
    EXPECT_EQ(client.StoreId(), c.store) << c.commercial;
  }
}

TEST(SetEncrypt, MatchesPublishedRc4Vectors) {
  EXPECT_EQ(SetEncrypt("Key", "Plaintext"), "bbf316e8d940af0ad3");
  EXPECT_EQ(SetEncrypt("Wiki", "pedia"), "1021bf0420");
  EXPECT_EQ(SetEncrypt("Secret", "Attack at dawn"), "45a01f645fc35b383552544b9bf5");
}

TEST(SetEncrypt, EmptyKeyOrTextGivesEmptyAndOutputIsLowercaseHexOfTwiceTheLength) {
  EXPECT_EQ(SetEncrypt("", "123456"), "");
  EXPECT_EQ(SetEncrypt("key", ""), "");
  const std::string binary("\x00\xff\x80\x7f", 4);
  for (const std::string& text : {std::string("123456"), binary, std::string(300, 'x')}) {
    const std::string out = SetEncrypt(std::string("k\x00y", 3), text);
    EXPECT_EQ(out.size(), text.size() * 2);
    EXPECT_EQ(out.find_first_not_of("0123456789abcdef"), std::string::npos) << out;
  }
}

TEST(urlencode, ConvertsToUtf8ThenFormEncodes) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"abcXYZ019", "abcXYZ019"},
      {"a b", "a+b"},
      {"*-._", "*-._"},
      {"a&b=c+d/e", "a%26b%3Dc%2Bd%2Fe"},
      {"\xD5\xC5", "%E5%BC%A0"},  // 张 in GBK becomes its UTF-8 bytes
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(urlencode(c.in), c.out) << c.in;
}

TEST(THuiTouKe_ZEL, SearchTypeTellsMobileAndEmailFromCardNumbers) {
  ScopedFakeHttp http;
  ScopedPlatformConfig config("http://x/", "M|S", "k");
  THuiTouKe_ZEL client;
  struct Case {
    const char* key;
    bool bySearch;
  } cases[] = {
      {"13800000001", true}, {"86000000011", true},  // 11 bytes, even a card number
      {"a@b", true},         {"@", true},
      {"8600000001", false}, {"138000000011", false},
      {"", false},           {"\xD5\xC5\xC8\xFD\xC0\xEE\xCB\xC4\xCD\xF5\xCE", true},  // 11 bytes of GBK text
  };
  for (const Case& c : cases) EXPECT_EQ(client.SearchType(c.key), c.bySearch) << c.key;
}

TEST(SignPlatformRequest, ConcatenatesWithoutSeparatorsSo12And3SignLike1And23) {
  ScopedFakeHttp http;
  http.server.defaultResponse = {200, {}, R"({"code":"A00006","result":""})"};
  ScopedPlatformConfig config("http://x/", "M|S", "key");
  THuiTouKe_ZEL client;
  client.MemberInterface("a=12\nb=3\n", "ConsumeInfoPost");
  client.MemberInterface("a=1\nb=23\n", "ConsumeInfoPost");
  client.MemberInterface("a=1\nb=24\n", "ConsumeInfoPost");
  ASSERT_EQ(http.server.requests.size(), 3u);
  const auto sign = [&](int i) { return FormFields(http.server.requests[i].body).back().second; };
  EXPECT_EQ(sign(0), sign(1));
  EXPECT_NE(sign(1), sign(2));
  EXPECT_EQ(sign(0), MD5Print(MD5String("123key")));
}

TEST(PlatformTimeStamp, IsLocalSecondsFromTheClockSeam) {
  ScopedFakeClock clock(1700000000);
  EXPECT_EQ(quorl::PlatformTimeStamp(), "1700000000");
  clock.fake.Set(7);
  EXPECT_EQ(quorl::PlatformTimeStamp(), "7");
}

class MemberInterfaceTest : public ::testing::Test {
 protected:
  ScopedFakeHttp http;
  ScopedPlatformConfig config{"http://127.0.0.1:9/htk/", "M001|S01", "secret"};
};

TEST_F(MemberInterfaceTest, PostsTheLinesThenTheSignatureToBasePlusMethod) {
  http.server.Respond(200, R"({"code":"A00006","result":"ok"})");
  THuiTouKe_ZEL client;
  const std::string answer = client.MemberInterface(
      "sbs_id=M001\r\nstore_id=S01\rcard_no=8600000001\norder_no=ORD-1\nmoney=88.00\n", "ConsumeInfoPost");
  EXPECT_EQ(answer, "A00006ok");
  ASSERT_EQ(http.server.requests.size(), 1u);
  const auto& request = http.server.LastRequest();
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.url, "http://127.0.0.1:9/htk/ConsumeInfoPost");
  const auto fields = FormFields(request.body);
  ASSERT_EQ(fields.size(), 6u);  // the final line break adds no field
  EXPECT_EQ(fields[0], (std::pair<std::string, std::string>{"sbs_id", "M001"}));
  EXPECT_EQ(fields[4], (std::pair<std::string, std::string>{"money", "88.00"}));
  EXPECT_EQ(fields[5], (std::pair<std::string, std::string>{"sign", "f0c3493bad40bf65c040e9d01768f38f"}));
}

TEST_F(MemberInterfaceTest, SignsTheTextAfterTheFirstEqualsSign) {
  THuiTouKe_ZEL client;
  http.server.defaultResponse = {200, {}, R"({"code":"A00006","result":""})"};
  client.MemberInterface("a=x=y\nnoequals\nb=\n", "M");
  EXPECT_EQ(FormFields(http.server.LastRequest().body).back().second, MD5Print(MD5String("x=ysecret")));
}

TEST_F(MemberInterfaceTest, ReturnsCodeAndResultOfAnyCode) {
  struct Case {
    const char* body;
    std::string expected;
  } cases[] = {
      {R"({"code":"A00006","result":""})", "A00006"},
      {R"({"result":"余额不足","code":"A00004"})", "A00004\xD3\xE0\xB6\xEE\xB2\xBB\xD7\xE3"},
      {R"({"code":"A00006","result":"done","code":"X"})", "A00006done"},  // first of a repeated name
  };
  for (const Case& c : cases) {
    http.server.Respond(200, c.body);
    THuiTouKe_ZEL client;
    EXPECT_EQ(client.MemberInterface("sbs_id=M001\n", "ConsumeInfoPost"), c.expected) << c.body;
  }
}

TEST_F(MemberInterfaceTest, RaisesOnEveryFailure) {
  struct Case {
    const char* what;
    int status;
    const char* body;
  } cases[] = {
      {"HTTP 500", 500, R"({"code":"A00006","result":"ok"})"},
      {"not JSON", 200, "<html>oops</html>"},
      {"empty body", 200, ""},
      {"not an object", 200, R"(["A00006","ok"])"},
      {"missing code", 200, R"({"result":"ok"})"},
      {"missing result", 200, R"({"code":"A00006"})"},
      {"result a number", 200, R"({"code":"A00006","result":5})"},
      {"result null", 200, R"({"code":"A00006","result":null})"},
      {"result an object", 200, R"({"code":"A00006","result":{}})"},
      {"result a list", 200, R"({"code":"A00006","result":[]})"},
      {"result a Boolean", 200, R"({"code":"A00006","result":true})"},
      {"code null", 200, R"({"code":null,"result":"x"})"},
  };
  for (const Case& c : cases) {
    http.server.Respond(c.status, c.body);
    THuiTouKe_ZEL client;
    EXPECT_THROW(client.MemberInterface("sbs_id=M001\n", "ConsumeInfoPost"), Exception) << c.what;
  }
  http.server.FailNext(FakeHttpFault::kSocketError);
  THuiTouKe_ZEL client;
  EXPECT_THROW(client.MemberInterface("sbs_id=M001\n", "ConsumeInfoPost"), EIdSocketError);
  http.server.Respond(503, "busy");
  EXPECT_THROW(client.MemberInterface("sbs_id=M001\n", "ConsumeInfoPost"), EIdHTTPProtocolException);
}

}  // namespace
