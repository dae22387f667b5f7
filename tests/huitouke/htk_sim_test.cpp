// The platform client against huitouke-sim on loopback: real HTTP (libcurl),
// real signatures checked by the other side, a seeded SQLite platform.

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <vector>

#include "host/QuorlClientDataSet.h"
#include "huitouke/HtkTestSupport.h"
#include "huitouke/md5.h"
#include "huitouke/uHuiTouKe_ZEL.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "platform/Http.h"
#include "support/RunProgram.h"

namespace {

using quorl::test::HtkSim;
using quorl::test::Packet;
using quorl::test::ReadPacket;
using quorl::test::ScopedPlatformConfig;

constexpr const char* kKey = "sim-key-\xC3\xDC";  // key bytes beyond ASCII sign as well
constexpr const char* kMerchant = "SBS-7";

class HuiTouKeSim : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_ = std::make_unique<HtkSim>(dir_.File("htk.db"), kKey, kMerchant);
    ASSERT_GT(sim_->Port(), 0) << "huitouke-sim did not start";
    config_ =
        std::make_unique<ScopedPlatformConfig>(sim_->BaseUrl(), std::string(kMerchant) + "|ST-01", kKey);
  }
  void TearDown() override {
    config_.reset();
    sim_.reset();
  }

  static std::string Gbk(const char* utf8) { return quorl::Utf8ToGbk(utf8); }

  quorl::test::TempFolder dir_{"quorl-htk-sim-"};
  std::unique_ptr<HtkSim> sim_;
  std::unique_ptr<ScopedPlatformConfig> config_;
};

TEST_F(HuiTouKeSim, FindsTheMemberByMobileEmailAndCardNumber) {
  THuiTouKe_ZEL client;
  const Packet byMobile = ReadPacket(client.GetCardInfo("13912345678", "123456"));
  const Packet byEmail = ReadPacket(client.GetCardInfo("ChenXM@example.com", "123456"));
  const Packet byCard = ReadPacket(client.GetCardInfo("8600000002", "654321"));
  for (const Packet* p : {&byMobile, &byEmail, &byCard}) {
    ASSERT_EQ(p->rows.size(), 2u);
    EXPECT_EQ(p->rows[0].at("realname"), Gbk("陈晓明"));
    EXPECT_EQ(p->rows[0].at("card_no"), "8600000001");
    EXPECT_EQ(p->rows[1].at("card_no"), "8600000002");
    EXPECT_EQ(p->rows[0].at("user_balance"), "500");
    EXPECT_EQ(p->rows[1].at("user_status"), Gbk("正常"));
    EXPECT_EQ(p->rows[0].at("gender"), Gbk("男"));
  }
  EXPECT_EQ(byMobile.rows[1].at("password"), "e10adc3949ba");  // the member's password
  EXPECT_EQ(byCard.rows[0].at("password"), "e10adc3949ba");    // each card's own
  EXPECT_EQ(byCard.rows[1].at("password"), MD5Print(MD5String("654321")).substr(0, 12));
}

TEST_F(HuiTouKeSim, MemberWithoutCardsAndCutNames) {
  THuiTouKe_ZEL client;
  const Packet noCards = ReadPacket(client.GetCardInfo("15800003333", "135790"));
  ASSERT_EQ(noCards.rows.size(), 1u);
  EXPECT_EQ(noCards.rows[0].at("card_no"), std::nullopt);
  EXPECT_EQ(noCards.rows[0].at("gender").value_or(""), "");
  const Packet longName = ReadPacket(client.GetCardInfo("8600000005", "112233"));
  ASSERT_EQ(longName.rows.size(), 1u);
  EXPECT_EQ(longName.rows[0].at("realname"), Gbk("爱新觉罗·玄"));  // 12 of 14 bytes
  EXPECT_EQ(longName.rows[0].at("memberType"), "3.5");
}

TEST_F(HuiTouKeSim, WrongPasswordUnknownKeyOrWrongKeyGiveTheEmptyTable) {
  THuiTouKe_ZEL client;
  EXPECT_TRUE(ReadPacket(client.GetCardInfo("13912345678", "654321")).rows.empty());
  EXPECT_TRUE(ReadPacket(client.GetCardInfo("13912345678", "")).rows.empty());
  EXPECT_TRUE(ReadPacket(client.GetCardInfo("19999999999", "123456")).rows.empty());
  ScopedPlatformConfig wrongKey(sim_->BaseUrl(), std::string(kMerchant) + "|ST-01", "other");
  EXPECT_TRUE(ReadPacket(client.GetCardInfo("13912345678", "123456")).rows.empty());
}

TEST_F(HuiTouKeSim, ConsumeInfoPostChargesOncePerOrder) {
  THuiTouKe_ZEL client;
  const std::string lines = "sbs_id=" + client.MerchantId() + "\nstore_id=" + client.StoreId() +
                            "\ncard_no=8600000003\norder_no=WEB-001\nmoney=10.30\npoints=10\nemp_no=1001\n";
  const std::string first = client.MemberInterface(lines, "ConsumeInfoPost");
  EXPECT_EQ(first.substr(0, 6), "A00006") << quorl::GbkToUtf8(first);
  EXPECT_NE(first.find(Gbk("余额 78.50")), std::string::npos) << quorl::GbkToUtf8(first);
  const std::string again = client.MemberInterface(lines, "ConsumeInfoPost");
  EXPECT_EQ(again.substr(0, 6), "A00006");
  EXPECT_NE(again.find(Gbk("未重复扣款")), std::string::npos) << quorl::GbkToUtf8(again);

  const Packet card = ReadPacket(client.GetCardInfo("8600000003", "888888"));
  ASSERT_EQ(card.rows.size(), 1u);
  EXPECT_EQ(card.rows[0].at("user_balance"), "78.5");
  EXPECT_EQ(card.rows[0].at("user_point"), "310");

  // Refusals are answers too: a code and a result, no error.
  const std::string tooMuch = client.MemberInterface(
      "sbs_id=" + client.MerchantId() + "\nstore_id=x\ncard_no=8600000003\norder_no=WEB-002\nmoney=1000\n",
      "ConsumeInfoPost");
  EXPECT_EQ(tooMuch.substr(0, 6), "A00004");
  const std::string badSign = client.MemberInterface("sbs_id=nobody\nstore_id=x\n", "ConsumeInfoPost");
  EXPECT_EQ(badSign.substr(0, 6), "A00003");
}

// One order number is one consumption: a repeat is accepted without a
// charge only for the same card, money and points; anything else is refused
// with A00001 and changes nothing.
TEST_F(HuiTouKeSim, AStoredOrderIsAcceptedAgainOnlyForTheSameConsumption) {
  THuiTouKe_ZEL client;
  auto post = [&](const std::string& card, const std::string& money, const std::string& points,
                  const std::string& emp = "1001") {
    std::string lines = "sbs_id=" + client.MerchantId() + "\nstore_id=" + client.StoreId() +
                        "\ncard_no=" + card + "\norder_no=ONE-1\nmoney=" + money;
    if (!points.empty()) lines += "\npoints=" + points;
    return client.MemberInterface(lines + "\nemp_no=" + emp + "\n", "ConsumeInfoPost");
  };
  auto card = [&](const std::string& no, const std::string& password) {
    const Packet p = ReadPacket(client.GetCardInfo(no, password));
    return p.rows.empty() ? std::string() : *p.rows[0].at("user_balance") + "/" + *p.rows[0].at("user_point");
  };
  ASSERT_EQ(post("8600000003", "10.30", "10").substr(0, 6), "A00006");
  const std::string charged = card("8600000003", "888888");
  const std::string other = card("8600000001", "123456");
  ASSERT_EQ(charged, "78.5/310");

  struct Repeat {
    const char* what;
    std::string card, money, points, emp;
    const char* code;
  };
  const std::vector<Repeat> repeats = {
      {"same consumption", "8600000003", "10.30", "10", "1001", "A00006"},
      {"money written otherwise, other operator", "8600000003", "10.3", "10", "2002", "A00006"},
      {"other money", "8600000003", "10.31", "10", "1001", "A00001"},
      {"other points", "8600000003", "10.30", "11", "1001", "A00001"},
      {"points left out (0)", "8600000003", "10.30", "", "1001", "A00001"},
      {"other card", "8600000001", "10.30", "10", "1001", "A00001"},
  };
  for (const Repeat& r : repeats) {
    SCOPED_TRACE(r.what);
    const std::string answer = post(r.card, r.money, r.points, r.emp);
    EXPECT_EQ(answer.substr(0, 6), r.code) << quorl::GbkToUtf8(answer);
    EXPECT_EQ(card("8600000003", "888888"), charged);
    EXPECT_EQ(card("8600000001", "123456"), other);
  }
  EXPECT_NE(post("8600000001", "1", "0").find(Gbk("已用于另一笔消费")), std::string::npos);
}

TEST_F(HuiTouKeSim, StoredConsumeDataSpansPagesAndNamesOperators) {
  TQuorlClientDataSet users;
  users.FieldDefs.Add("UserCode", TFieldType::ftString, 12);
  users.FieldDefs.Add("CNAME", TFieldType::ftString, 32);
  users.CreateDataSet();
  users.Append();
  users.FieldByName("UserCode")->SetAsString("1001");
  users.FieldByName("CNAME")->SetAsString(Gbk("王小明"));
  users.Post();

  THuiTouKe_ZEL client;
  const Packet all =
      ReadPacket(client.GetStoredConsumeData("8600000001", "0", "2024-01-01", "2024-03-31", &users));
  ASSERT_EQ(all.rows.size(), 60u);  // three pages of 25, 25 and 10
  EXPECT_EQ(all.rows[0].at("time"), "2024-01-02 09:00:00");
  EXPECT_EQ(all.rows[0].at("UserCode"), "1001");
  EXPECT_EQ(all.rows[0].at("CNAME"), Gbk("王小明"));
  EXPECT_EQ(all.rows[1].at("CNAME").value_or(""), "");
  EXPECT_EQ(all.rows[0].at("saving_add"), "200.00");
  for (size_t i = 1; i < all.rows.size(); ++i)
    EXPECT_LT(*all.rows[i - 1].at("time"), *all.rows[i].at("time"));

  // A blank inside a value travels escaped and is signed unescaped.
  const Packet january = ReadPacket(
      client.GetStoredConsumeData("8600000001", "1", "2024-01-01 00:00:00", "2024-01-31 23:59:59", &users));
  ASSERT_EQ(january.rows.size(), 4u);
  for (const auto& row : january.rows) EXPECT_EQ(row.at("type"), "1");

  EXPECT_TRUE(ReadPacket(client.GetStoredConsumeData("0000000000", "0", "", "", &users)).rows.empty());
}

TEST_F(HuiTouKeSim, ConsumptionShowsUpInTheRecords) {
  TQuorlClientDataSet users;
  users.FieldDefs.Add("UserCode", TFieldType::ftString, 12);
  users.FieldDefs.Add("CNAME", TFieldType::ftString, 32);
  users.CreateDataSet();
  THuiTouKe_ZEL client;
  client.MemberInterface(
      "sbs_id=" + client.MerchantId() +
          "\nstore_id=ST-01\ncard_no=8600000002\norder_no=A-1\nmoney=20\npoints=20\nemp_no=" + Gbk("张三") +
          "\n",
      "ConsumeInfoPost");
  const Packet p = ReadPacket(client.GetStoredConsumeData("8600000002", "2", "", "", &users));
  ASSERT_EQ(p.rows.size(), 1u);
  EXPECT_EQ(p.rows[0].at("saving_sub"), "20.00");
  EXPECT_EQ(p.rows[0].at("point_add"), "20");
  EXPECT_EQ(p.rows[0].at("UserCode"), Gbk("张三"));
}

TEST_F(HuiTouKeSim, RefusesOversizedMalformedAndUnsignedRequests) {
  TIdHTTP http;
  const std::string base = sim_->BaseUrl();
  EXPECT_THROW(
      http.Post(base + "get_card_list", std::string(200000, 'a'), "application/x-www-form-urlencoded"),
      EIdHTTPProtocolException);
  EXPECT_THROW(http.Get(base + "no_such_method"), EIdHTTPProtocolException);
  const std::string garbage[] = {"", "&&&===%%%", "sign", "sbs_id=SBS-7&sign=%zz",
                                 std::string("\0\xff=\x01", 5)};
  for (const std::string& body : garbage) {
    const std::string answer = http.Post(base + "ConsumeInfoPost", body, "application/x-www-form-urlencoded");
    EXPECT_NE(answer.find("\"code\":\"A00003\""), std::string::npos) << answer;
  }
  EXPECT_NE(http.Get(base + "view_invoice?page=1").find("A00003"), std::string::npos);
  // Still serving.
  THuiTouKe_ZEL client;
  EXPECT_EQ(ReadPacket(client.GetCardInfo("13912345678", "123456")).rows.size(), 2u);
}

TEST(HuiTouKeSimPageCap, AHistoryBeyondTheCapGivesTheEmptyTableAShorterPeriodDoesNot) {
  const quorl::test::TempFolder dir("quorl-htk-cap-");
  {
    // The first 60 movements are those of the usual seed (the first quarter of
    // 2024); the rest follow them.
    const int movements = THuiTouKe_ZEL::kMaxStoredConsumeRecords + 1;
    HtkSim sim(dir.File("htk.db"), kKey, kMerchant, true, {"--seed-movements", std::to_string(movements)});
    ASSERT_GT(sim.Port(), 0) << "huitouke-sim did not start";
    ScopedPlatformConfig config(sim.BaseUrl(), std::string(kMerchant) + "|ST-01", kKey);
    TQuorlClientDataSet users;
    users.FieldDefs.Add("UserCode", TFieldType::ftString, 12);
    users.FieldDefs.Add("CNAME", TFieldType::ftString, 32);
    users.CreateDataSet();
    THuiTouKe_ZEL client;
    const Packet everything = ReadPacket(client.GetStoredConsumeData("8600000001", "0", "", "", &users));
    EXPECT_EQ(everything.fields.size(), 11u);
    EXPECT_TRUE(everything.rows.empty());
    const Packet quarter =
        ReadPacket(client.GetStoredConsumeData("8600000001", "0", "2024-01-01", "2024-03-31", &users));
    EXPECT_EQ(quarter.rows.size(), 60u);
  }
}

// The helper that starts the simulator gives up on a child that never says its
// port (hung before its first line, a line cut short, a wrong line, an early
// exit) instead of waiting on it for ever, and stops it.
TEST(ServerProcess, GivesUpOnAChildThatNeverSaysItsPort) {
  const std::vector<std::string> children[] = {
      {"/bin/sh", "-c", "exec sleep 600"},
      {"/bin/sh", "-c", "printf 'listening on 5'; exec sleep 600"},
      {"/bin/sh", "-c", "echo starting; exec sleep 600"},
      {"/bin/sh", "-c", "exit 3"},
  };
  for (const auto& argv : children) {
    quorl::test::ServerProcess child(argv, std::chrono::milliseconds(300));
    EXPECT_EQ(child.Port(), 0) << argv[2];
    const int status = child.Stop();
    EXPECT_TRUE(WIFSIGNALED(status) || WIFEXITED(status)) << argv[2];
  }
  quorl::test::ServerProcess quick({"/bin/sh", "-c", "echo 'listening on 4321'; exec sleep 600"},
                                   std::chrono::seconds(20));
  EXPECT_EQ(quick.Port(), 4321);
}

// A program still running at its deadline is killed and fails the test
// instead of holding it until the test runner's time-out; one that ends in
// time gives its status (128 + signal when killed), input and outputs.
TEST(RunProgram, KillsAProgramPastItsDeadlineAndFailsTheTest) {
  quorl::test::Result hung;
  EXPECT_NONFATAL_FAILURE(
      hung = quorl::test::RunProgram({"/bin/sh", "-c", "exec sleep 600"},
                                     quorl::test::RunOptions().Deadline(std::chrono::milliseconds(300))),
      "did not end within");
  EXPECT_EQ(hung.exitCode, 128 + SIGKILL);

  const quorl::test::Result echoed = quorl::test::RunProgram({"/bin/sh", "-c", "cat; echo oops >&2; exit 4"},
                                                             quorl::test::RunOptions().Input("in\n"));
  EXPECT_EQ(echoed.exitCode, 4);
  EXPECT_EQ(echoed.out, "in\n");
  EXPECT_EQ(echoed.err, "oops\n");
  EXPECT_EQ(quorl::test::RunProgram({"/bin/sh", "-c", "kill -TERM $$"}).exitCode, 128 + SIGTERM);
}

TEST_F(HuiTouKeSim, StopsOnSigterm) {
  const int status = sim_->Stop();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  THuiTouKe_ZEL client;  // nobody listens any more: an empty table, no error
  EXPECT_TRUE(ReadPacket(client.GetCardInfo("13912345678", "123456")).rows.empty());
}

}  // namespace
