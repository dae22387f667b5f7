// GetCardInfo over a fake HTTP transport: the request, the table built from
// the answer, and every failure ending in the empty table.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "fakes/FakeClock.h"
#include "fakes/FakeHttpTransport.h"
#include "huitouke/HtkTestSupport.h"
#include "huitouke/md5.h"
#include "huitouke/uHuiTouKe_ZEL.h"
#include "support/TempFolder.h"
#include "support/TestPaths.h"

namespace {

using quorl::test::FakeHttpFault;
using quorl::test::FormFields;
using quorl::test::Packet;
using quorl::test::ReadPacket;
using quorl::test::ScopedFakeClock;
using quorl::test::ScopedFakeHttp;
using quorl::test::ScopedPlatformConfig;

const char* const kFields[] = {"member_id",  "realname",    "username",   "password",
                               "mobile",     "email",       "gender",     "birthday",
                               "reg_date",   "tel",         "card_no",    "user_balance",
                               "user_point", "user_status", "memberType", "MemberTypeName"};

constexpr const char* kMember =
    R"("member":{"member_id":1001,"realname":"陈晓明","username":"chenxm","password":"123456",)"
    R"("mobile":"13800000001","email":"c@example.com","gender":0,"birthday":"1985-06-12",)"
    R"("reg_date":"2022-03-01 09:30:00","tel":"021-62001234"})";
constexpr const char* kCard1 =
    R"({"card_no":"8600000001","user_point":"1200","user_status":"正常","user_balance":500.5,)"
    R"("user_rank":3,"user_rank_name":"金卡会员","user_password":"123456"})";
constexpr const char* kCard2 =
    R"({"card_no":"8600000002","user_point":80,"user_status":"挂失","user_balance":"12.30",)"
    R"("user_rank":"3.50","user_rank_name":"普通","user_password":"654321"})";

std::string DataFile(const std::string& name) { return quorl::test::ReadFile(quorl::test::DataPath(name)); }

std::string Answer(const std::string& members) { return "{" + members + "}"; }
std::string TwoCards() {
  return Answer(std::string(R"("code":"A00006","total":2,)") + kMember + R"(,"data":[)" + kCard1 + "," +
                kCard2 + "]");
}

class GetCardInfoTest : public ::testing::Test {
 protected:
  Packet Lookup(const std::string& body, const std::string& key = "13800000001") {
    http.server.Respond(200, body);
    THuiTouKe_ZEL client;
    return ReadPacket(client.GetCardInfo(key, "123456"));
  }
  ScopedFakeClock clock{1700000000};
  ScopedFakeHttp http;
  ScopedPlatformConfig config{"http://127.0.0.1:9/api/", "M001|S01", "secret"};
};

TEST_F(GetCardInfoTest, PostsSignedFieldsWithTheFixedClock) {
  THuiTouKe_ZEL client;
  http.server.Respond(200, TwoCards());
  client.GetCardInfo("13800000001", "123456");
  ASSERT_EQ(http.server.requests.size(), 1u);
  EXPECT_EQ(http.server.LastRequest().url, "http://127.0.0.1:9/api/get_card_list");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"sbs_id", "M001"},
      {"mobile", "13800000001"},
      {"password", "dc04e128b792"},
      {"t", "1700000000"},
      {"sign", "7a69018c6ab477d1dd5197a4b92ca222"},
  };
  EXPECT_EQ(FormFields(http.server.LastRequest().body), expected);
}

TEST_F(GetCardInfoTest, EmptyBaseAddressSendsNothingAndGivesTheEmptyTable) {
  ScopedPlatformConfig none("", "M001|S01", "secret");
  THuiTouKe_ZEL client;
  const Packet p = ReadPacket(client.GetCardInfo("13800000001", "123456"));
  EXPECT_TRUE(http.server.requests.empty());
  EXPECT_EQ(p.fields, std::vector<std::string>(std::begin(kFields), std::end(kFields)));
  EXPECT_TRUE(p.rows.empty());
}

TEST_F(GetCardInfoTest, MobileSearchRepeatsMemberFieldsWithTheMemberPasswordDigest) {
  const Packet p = Lookup(TwoCards());
  EXPECT_EQ(p.fields, std::vector<std::string>(std::begin(kFields), std::end(kFields)));
  ASSERT_EQ(p.rows.size(), 2u);
  for (const auto& row : p.rows) {
    EXPECT_EQ(row.at("member_id"), "1001");
    EXPECT_EQ(row.at("realname"), "\xB3\xC2\xCF\xFE\xC3\xF7");  // 陈晓明 in GBK
    EXPECT_EQ(row.at("password"), "e10adc3949ba");              // digest of 123456, 12 digits
    EXPECT_EQ(row.at("gender"), "\xC4\xD0");                    // 男
    EXPECT_EQ(row.at("tel"), "021-62001234");
  }
  EXPECT_EQ(p.rows[0].at("card_no"), "8600000001");
  EXPECT_EQ(p.rows[0].at("user_balance"), "500.5");
  EXPECT_EQ(p.rows[0].at("memberType"), "3");
  EXPECT_EQ(p.rows[0].at("user_status"), "\xD5\xFD\xB3\xA3");  // 正常
  EXPECT_EQ(p.rows[1].at("card_no"), "8600000002");
  EXPECT_EQ(p.rows[1].at("user_point"), "80");      // a number becomes its decimal text
  EXPECT_EQ(p.rows[1].at("user_balance"), "12.3");  // a numeric text becomes a number
  EXPECT_EQ(p.rows[1].at("memberType"), "3.5");
}

TEST_F(GetCardInfoTest, ReadsARecordedPlatformAnswer) {
  const std::string body = DataFile("htk_card_list_answer.json");
  ASSERT_FALSE(body.empty());
  const Packet p = Lookup(body, "chenxm@example.com");
  ASSERT_EQ(p.rows.size(), 2u);
  EXPECT_EQ(p.rows[0].at("email"), "chenxm@example.com");
  EXPECT_EQ(p.rows[0].at("user_balance"), "500");
  EXPECT_EQ(p.rows[1].at("user_balance"), "120.5");
  EXPECT_EQ(p.rows[1].at("MemberTypeName"), "\xC6\xD5\xCD\xA8\xBB\xE1\xD4\xB1");  // 普通会员
  EXPECT_EQ(p.rows[1].at("birthday"), "1985-06-12");
}

TEST_F(GetCardInfoTest, CardSearchGivesEachRowItsCardPasswordDigest) {
  const Packet p = Lookup(TwoCards(), "8600000001");
  ASSERT_EQ(p.rows.size(), 2u);
  EXPECT_EQ(p.rows[0].at("password"), MD5Print(MD5String("123456")).substr(0, 12));
  EXPECT_EQ(p.rows[1].at("password"), MD5Print(MD5String("654321")).substr(0, 12));
}

TEST_F(GetCardInfoTest, TotalZeroGivesOneRowOfMemberFieldsOnly) {
  const Packet withMember =
      Lookup(Answer(std::string(R"("code":"A00006","total":0,)") + kMember), "8600000001");
  ASSERT_EQ(withMember.rows.size(), 1u);
  EXPECT_EQ(withMember.rows[0].at("member_id"), "1001");
  EXPECT_EQ(withMember.rows[0].at("password"), std::nullopt);  // card search: no member password
  EXPECT_EQ(withMember.rows[0].at("card_no"), std::nullopt);
  EXPECT_EQ(withMember.rows[0].at("user_balance"), std::nullopt);

  const Packet bare = Lookup(R"({"code":"A00006","total":"0"})");
  ASSERT_EQ(bare.rows.size(), 1u);
  for (const auto& [name, value] : bare.rows[0]) EXPECT_EQ(value, std::nullopt) << name;
}

TEST_F(GetCardInfoTest, UsesOnlyTheFirstTotalCardsAndFindsTotalAnywhere) {
  const Packet p = Lookup(Answer(std::string(R"("data":[)") + kCard1 + "," + kCard2 + "]," + kMember +
                                 R"(,"total":1,"code":"A00006")"));
  ASSERT_EQ(p.rows.size(), 1u);
  EXPECT_EQ(p.rows[0].at("card_no"), "8600000001");
}

TEST_F(GetCardInfoTest, NoMemberObjectLeavesMemberFieldsEmpty) {
  const Packet p = Lookup(Answer(std::string(R"("code":"A00006","total":1,"data":[)") + kCard1 + "]"));
  ASSERT_EQ(p.rows.size(), 1u);
  EXPECT_EQ(p.rows[0].at("member_id"), std::nullopt);
  EXPECT_EQ(p.rows[0].at("password"), std::nullopt);  // mobile search: the member's, absent
  EXPECT_EQ(p.rows[0].at("card_no"), "8600000001");
}

TEST_F(GetCardInfoTest, EmptyOrNullMemberCountsAsAbsent) {
  // Absent: member fields stay empty, the lookup goes on. Total 0 gives the one
  // row of empty fields, total 1 the card row without member fields.
  for (const char* member : {"null", "{}", "[]", "\"\""}) {
    for (const char* total : {"0", "1"}) {
      const Packet p = Lookup(Answer(std::string(R"("code":"A00006","total":)") + total + R"(,"member":)" +
                                     member + R"(,"data":[)" + kCard1 + "]"));
      ASSERT_EQ(p.rows.size(), 1u) << member << " total " << total;
      EXPECT_EQ(p.rows[0].at("member_id"), std::nullopt) << member;
      EXPECT_EQ(p.rows[0].at("password"), std::nullopt) << member;  // mobile search: the member's
      EXPECT_EQ(p.rows[0].at("card_no"),
                *total == '1' ? std::optional<std::string>("8600000001") : std::nullopt)
          << member;
    }
  }
  // Something that is not an object is a broken answer, not an absent member.
  for (const char* member : {"\"1001\"", "5", "0", "true", "[{}]", "[1]"}) {
    const Packet p = Lookup(Answer(std::string(R"("code":"A00006","total":1,"member":)") + member +
                                   R"(,"data":[)" + kCard1 + "]"));
    EXPECT_TRUE(p.rows.empty()) << member;
  }
}

TEST_F(GetCardInfoTest, FractionalTotalIsRoundedHalfToEven) {
  struct Case {
    const char* total;
    size_t rows;
    bool cards;
  } cases[] = {
      {"1.5", 2, true},  {"2.5", 2, true},   {"1.4", 1, true}, {"\"1.5\"", 2, true},
      {"0.5", 1, false}, {"0.49", 1, false}, {"2.0", 2, true}, {"1e0", 1, true},
  };
  for (const Case& c : cases) {
    const Packet p = Lookup(Answer(std::string(R"("code":"A00006","total":)") + c.total + "," + kMember +
                                   R"(,"data":[)" + kCard1 + "," + kCard2 + "]"));
    ASSERT_EQ(p.rows.size(), c.rows) << c.total;
    EXPECT_EQ(p.rows[0].at("card_no").has_value(), c.cards) << c.total;
    EXPECT_EQ(p.rows[0].at("member_id"), "1001") << c.total;
  }
}

TEST_F(GetCardInfoTest, MapsGender) {
  struct Case {
    const char* json;
    std::optional<std::string> gender;
  } cases[] = {
      {"1", "\xC5\xAE"},     {"0", "\xC4\xD0"},     {"2", ""},
      {"\"1\"", "\xC5\xAE"}, {"\"0\"", "\xC4\xD0"}, {"\"x\"", ""},
      {"true", ""},          {"1.0", "\xC5\xAE"},   {"-1", ""},
  };
  for (const Case& c : cases) {
    std::string member = kMember;
    member.replace(member.find("\"gender\":0"), 10, std::string("\"gender\":") + c.json);
    const Packet p = Lookup(Answer(std::string(R"("code":"A00006","total":0,)") + member));
    ASSERT_EQ(p.rows.size(), 1u) << c.json;
    // An empty text is stored as an empty field.
    const auto& got = p.rows[0].at("gender");
    EXPECT_EQ(got.value_or(""), c.gender.value_or("")) << c.json;
  }
}

TEST_F(GetCardInfoTest, CutsTextAtItsSizeInBytesEvenInsideACharacter) {
  std::string member = kMember;
  member.replace(member.find("陈晓明"), std::string("陈晓明").size(), "A张三李四王五");  // 13 bytes in GBK
  const Packet p = Lookup(Answer(std::string(R"("code":"A00006","total":0,)") + member));
  ASSERT_EQ(p.rows.size(), 1u);
  EXPECT_EQ(p.rows[0].at("realname"), "A\xD5\xC5\xC8\xFD\xC0\xEE\xCB\xC4\xCD\xF5\xCE");
}

TEST_F(GetCardInfoTest, RefusalCodeOrMissingTotalGivesTheEmptyTable) {
  const std::string tail =
      std::string(R"("total":2,)") + kMember + R"(,"data":[)" + kCard1 + "," + kCard2 + "]";
  EXPECT_TRUE(Lookup(Answer(R"("code":"A00005",)" + tail)).rows.empty());
  EXPECT_TRUE(Lookup(Answer(R"("code":"a00006",)" + tail)).rows.empty());
  EXPECT_TRUE(Lookup(Answer(R"("code":null,)" + tail)).rows.empty());
  EXPECT_TRUE(Lookup(Answer(std::string(R"("code":"A00006",)") + kMember)).rows.empty());
}

TEST_F(GetCardInfoTest, EveryFailureGivesTheEmptyTableWithItsFields) {
  auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  const std::string good = TwoCards();
  struct Case {
    const char* what;
    std::string body;
  } cases[] = {
      {"not JSON", "<html>502</html>"},
      {"not an object", "[" + good + "]"},
      {"code missing", replaced(good, R"("code":"A00006",)", "")},
      {"code a number", replaced(good, R"("code":"A00006")", R"("code":6)")},
      {"total null", replaced(good, R"("total":2)", R"("total":null)")},
      {"total not a number", replaced(good, R"("total":2)", R"("total":"two")")},
      {"total rounds beyond data", replaced(good, R"("total":2)", R"("total":2.51)")},
      {"total beyond 32 bits", replaced(good, R"("total":2)", R"("total":4294967296.5)")},
      {"total beyond data", replaced(good, R"("total":2)", R"("total":3)")},
      {"data missing", replaced(good, R"(,"data":[)", R"(,"datum":[)")},
      {"data not a list",
       replaced(good, R"("data":[)" + std::string(kCard1) + "," + kCard2 + "]", R"("data":{})")},
      {"card not an object", replaced(good, kCard2, "5")},
      {"card lacks card_no", replaced(good, R"("card_no":"8600000002",)", "")},
      {"card null user_point", replaced(good, R"("user_point":80)", R"("user_point":null)")},
      {"card null user_status", replaced(good, R"("user_status":"正常")", R"("user_status":null)")},
      {"bad user_balance", replaced(good, R"("user_balance":500.5)", R"("user_balance":"lots")")},
      {"null user_balance", replaced(good, R"("user_balance":500.5)", R"("user_balance":null)")},
      {"bad user_rank", replaced(good, R"("user_rank":3,)", R"("user_rank":"gold",)")},
      {"list user_rank", replaced(good, R"("user_rank":3,)", R"("user_rank":[3],)")},
      {"member lacks realname", replaced(good, R"("realname":"陈晓明",)", "")},
      {"member null tel", replaced(good, R"("tel":"021-62001234")", R"("tel":null)")},
      {"member null gender", replaced(good, R"("gender":0)", R"("gender":null)")},
      {"member lacks password", replaced(good, R"("password":"123456",)", "")},
      {"member not an object", replaced(good, kMember, R"("member":"1001")")},
      {"member an object value", replaced(good, R"("email":"c@example.com")", R"("email":{})")},
  };
  for (const Case& c : cases) {
    const Packet p = Lookup(c.body);
    EXPECT_EQ(p.fields.size(), 16u) << c.what;
    EXPECT_TRUE(p.rows.empty()) << c.what;
  }
}

TEST_F(GetCardInfoTest, CardPasswordIsReadOnlyForCardSearches) {
  std::string body = TwoCards();
  body.replace(body.find(R"(,"user_password":"654321")"), 25, "");
  EXPECT_EQ(Lookup(body, "13800000001").rows.size(), 2u);  // member's password used
  EXPECT_TRUE(Lookup(body, "8600000001").rows.empty());    // the card's is missing
}

TEST_F(GetCardInfoTest, TransportFailuresGiveTheEmptyTable) {
  for (FakeHttpFault fault : {FakeHttpFault::kSocketError, FakeHttpFault::kTimeout,
                              FakeHttpFault::kTruncatedBody, FakeHttpFault::kGarbageBody}) {
    http.server.FailNext(fault);
    const Packet p = Lookup(TwoCards());
    EXPECT_EQ(p.fields.size(), 16u);
    EXPECT_TRUE(p.rows.empty());
  }
  http.server.queued.clear();  // answers the refused connections never took
  EXPECT_TRUE(Lookup("").rows.empty());
  http.server.Respond(500, TwoCards());
  THuiTouKe_ZEL client;
  EXPECT_TRUE(ReadPacket(client.GetCardInfo("13800000001", "1")).rows.empty());
}

}  // namespace
