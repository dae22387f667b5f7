// GetStoredConsumeData over a fake HTTP transport: the page requests, the
// page count, the user look-up, and failures that drop every row.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "fakes/FakeClock.h"
#include "fakes/FakeHttpTransport.h"
#include "host/QuorlClientDataSet.h"
#include "huitouke/HtkTestSupport.h"
#include "huitouke/md5.h"
#include "huitouke/uHuiTouKe_ZEL.h"
#include "platform/Exception.h"
#include "support/TempFolder.h"
#include "support/TestPaths.h"

namespace {

using quorl::HttpRequest;
using quorl::HttpResponse;
using quorl::test::Packet;
using quorl::test::ReadPacket;
using quorl::test::ScopedFakeClock;
using quorl::test::ScopedFakeHttp;
using quorl::test::ScopedPlatformConfig;

std::string Record(const std::string& empNo, const std::string& time = "\"2024-01-02 09:00:00\"") {
  return R"({"card_no":"8600000001","type":"2","saving_add":"0.00","saving_sub":45.5,)"
         R"("saving_reward":"0.00","point_add":"45","point_sub":"0","bank_amount":"0.00","time":)" +
         time + R"(,"emp_no":")" + empNo + R"("})";
}

std::string Page(int count, int records, const std::string& code = "A00006") {
  std::string data;
  for (int i = 0; i < records; ++i) data += (i ? "," : "") + Record("1001");
  return R"({"code":")" + code + R"(","count":)" + std::to_string(count) + R"(,"data":[)" + data + "]}";
}

int PageOf(const HttpRequest& request) {
  const size_t at = request.url.find("&page=");
  return at == std::string::npos ? 0 : std::stoi(request.url.substr(at + 6));
}

class StoredConsumeTest : public ::testing::Test {
 protected:
  StoredConsumeTest() {
    users.FieldDefs.Add("UserCode", TFieldType::ftString, 12);
    users.FieldDefs.Add("CNAME", TFieldType::ftString, 32);
    users.CreateDataSet();
    for (auto [code, name] : {std::pair{"1001", "\xCD\xF5\xD0\xA1\xC3\xF7"}, std::pair{"abc", "Lower"},
                              std::pair{"2001", "Zhou"}}) {
      users.Append();
      users.FieldByName("UserCode")->SetAsString(code);
      users.FieldByName("CNAME")->SetAsString(name);
      users.Post();
    }
  }
  Packet Query(TQuorlClientDataSet* with = nullptr, bool useDefault = true) {
    THuiTouKe_ZEL client;
    return ReadPacket(client.GetStoredConsumeData("8600000001", "0", "2024-01-01", "2024-01-31 23:59:59",
                                                  useDefault ? &users : with));
  }
  ScopedFakeClock clock{1700000000};
  ScopedFakeHttp http;
  ScopedPlatformConfig config{"http://127.0.0.1:9/api/", "M001|S01", "secret"};
  TQuorlClientDataSet users;
};

TEST_F(StoredConsumeTest, BuildsTheUnencodedSignedAddressOfEachPage) {
  http.server.Respond(200, Page(0, 0));
  Query();
  ASSERT_EQ(http.server.requests.size(), 1u);
  EXPECT_EQ(http.server.LastRequest().method, "GET");
  EXPECT_EQ(http.server.LastRequest().url,
            "http://127.0.0.1:9/api/view_invoice?sbs_id=M001&card_no=8600000001&type=0"
            "&sdate=2024-01-01&edate=2024-01-31 23:59:59&page=1&t=1700000000"
            "&sign=5ce11cc6732319c52ff93d49ba84e955");
}

TEST_F(StoredConsumeTest, EveryPageCarriesItsOwnTimeStampAndSignature) {
  clock.fake.autoAdvanceSeconds = 1;
  http.server.handler = [](const HttpRequest&) { return HttpResponse{200, {}, Page(60, 25)}; };
  const Packet p = Query();
  ASSERT_EQ(http.server.requests.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    const std::string& url = http.server.requests[i].url;
    const std::string t = std::to_string(1700000000 + i);
    EXPECT_NE(url.find("&page=" + std::to_string(i + 1) + "&t=" + t + "&sign="), std::string::npos) << url;
    const std::string sign =
        MD5Print(MD5String("M0018600000001"
                           "02024-01-012024-01-31 23:59:59" +
                           std::to_string(i + 1) + t + "secret"));
    EXPECT_EQ(url.substr(url.size() - 32), sign);
  }
  EXPECT_EQ(p.rows.size(), 75u);
}

TEST_F(StoredConsumeTest, FetchesCountDividedBy25RoundedUpPages) {
  constexpr int kCap = THuiTouKe_ZEL::kMaxStoredConsumeRecords;
  struct Case {
    std::string count;
    size_t requests;
    size_t rows;
  } cases[] = {
      {"0", 1, 1},
      {"1", 1, 1},
      {"25", 1, 1},
      {"26", 2, 2},
      {"30", 2, 2},
      {"50", 2, 2},
      {"51", 3, 3},
      {"\"51\"", 3, 3},
      {"-4", 1, 1},
      // A fraction is rounded half to even first; the pages follow from that.
      {"25.5", 2, 2},
      {"24.5", 1, 1},
      {"25.4", 1, 1},
      {"50.5", 2, 2},
      {"50.51", 3, 3},
      {"\"25.5\"", 2, 2},
      // The page cap: up to it every page is fetched, beyond it the first
      // page's answer is refused and nothing is kept.
      {std::to_string(kCap), kCap / 25, kCap / 25},
      {std::to_string(kCap) + ".5", kCap / 25, kCap / 25},
      {std::to_string(kCap + 1), 1, 0},
      {std::to_string(kCap) + ".51", 1, 0},
  };
  for (const Case& c : cases) {
    http.server.requests.clear();
    http.server.handler = [&](const HttpRequest& r) {
      // Later pages say something else: only the first page's count counts.
      const std::string count = PageOf(r) == 1 ? c.count : "1000";
      return HttpResponse{
          200, {}, R"({"code":"A00006","count":)" + count + R"(,"data":[)" + Record("1001") + "]}"};
    };
    const Packet p = Query();
    EXPECT_EQ(http.server.requests.size(), c.requests) << c.count;
    EXPECT_EQ(p.rows.size(), c.rows) << c.count;
  }
}

TEST_F(StoredConsumeTest, FillsRowsAndNamesTheOperatorByExactUserCode) {
  std::string data =
      Record("1001") + "," + Record("ABC") + "," + Record("9999") + "," + Record("abc", "null");
  http.server.Respond(200, R"({"code":"A00006","count":4,"data":[)" + data + "]}");
  const Packet p = Query();
  ASSERT_EQ(p.rows.size(), 4u);
  EXPECT_EQ(p.fields,
            (std::vector<std::string>{"card_no", "type", "saving_add", "saving_sub", "saving_reward",
                                      "point_add", "point_sub", "bank_amount", "time", "UserCode", "CNAME"}));
  EXPECT_EQ(p.rows[0].at("saving_sub"), "45.5");
  EXPECT_EQ(p.rows[0].at("time"), "2024-01-02 09:00:00");
  EXPECT_EQ(p.rows[0].at("UserCode"), "1001");
  EXPECT_EQ(p.rows[0].at("CNAME"), "\xCD\xF5\xD0\xA1\xC3\xF7");
  EXPECT_EQ(p.rows[1].at("CNAME").value_or(""), "");  // "ABC" is not "abc"
  EXPECT_EQ(p.rows[2].at("CNAME").value_or(""), "");  // nobody
  EXPECT_EQ(p.rows[3].at("CNAME"), "Lower");
  EXPECT_EQ(p.rows[3].at("time"), std::nullopt);                // null time leaves the field empty
  EXPECT_EQ(users.FieldByName("UserCode")->AsString(), "abc");  // left on the last user found
  EXPECT_EQ(users.RecordCount(), 3);
}

TEST_F(StoredConsumeTest, ReadsARecordedPage) {
  const std::string body = quorl::test::ReadFile(quorl::test::DataPath("htk_view_invoice_answer.json"));
  ASSERT_FALSE(body.empty());
  http.server.Respond(200, body);
  const Packet p = Query();
  ASSERT_EQ(p.rows.size(), 3u);
  EXPECT_EQ(p.rows[1].at("saving_sub"), "45.00");
  EXPECT_EQ(p.rows[1].at("time"), "2024-01-03 21:07:00");
  EXPECT_EQ(p.rows[2].at("point_sub"), "100");
  EXPECT_EQ(p.rows[2].at("time"), std::nullopt);
  EXPECT_EQ(p.rows[0].at("CNAME"), "\xCD\xF5\xD0\xA1\xC3\xF7");
}

TEST_F(StoredConsumeTest, SkipsAFailurePageButKeepsThePagesAroundIt) {
  http.server.handler = [](const HttpRequest& r) {
    const int page = PageOf(r);
    return HttpResponse{200, {}, page == 2 ? Page(0, 0, "A00009") : Page(60, page == 3 ? 10 : 25)};
  };
  const Packet p = Query();
  EXPECT_EQ(http.server.requests.size(), 3u);
  EXPECT_EQ(p.rows.size(), 35u);
}

TEST_F(StoredConsumeTest, AnErrorOnAnyPageDropsEveryRow) {
  const std::function<void()> lastPageFaults[] = {
      [&] { http.server.Respond(200, "not json"); },
      [&] { http.server.Respond(500, Page(60, 25)); },
      [&] {  // the connection fails when the queued answers are used up
        http.server.handler = [](const HttpRequest& r) -> HttpResponse {
          throw EIdSocketError("HTTP request to " + r.url + " failed: Couldn't connect to server");
        };
      },
      [&] { http.server.Respond(200, R"({"count":60,"data":[]})"); },        // code missing
      [&] { http.server.Respond(200, R"({"code":"A00006","count":60})"); },  // data missing
      [&] {
        http.server.Respond(200,
                            R"({"code":"A00006","count":60,"data":[)" + Record("1", "\"31/02/2024\"") + "]}");
      },
  };
  for (const auto& fault : lastPageFaults) {
    http.server.requests.clear();
    http.server.handler = nullptr;
    http.server.Respond(200, Page(60, 25));
    http.server.Respond(200, Page(60, 25));
    fault();
    const Packet p = Query();
    EXPECT_EQ(http.server.requests.size(), 3u);
    EXPECT_TRUE(p.rows.empty());
    EXPECT_EQ(p.fields.size(), 11u);
  }
}

TEST_F(StoredConsumeTest, EveryFailureOfTheFirstPageGivesTheEmptyTable) {
  auto page = [](const std::string& members) { return "{" + members + "}"; };
  const std::string records = R"("data":[)" + Record("1001") + "]";
  const std::string cases[] = {
      "[]",
      page(R"("code":"A00006",)" + records),  // count missing
      page(R"("code":"A00006","count":null,)" + records),
      page(R"("code":"A00006","count":"many",)" + records),
      page(R"("code":"A00006","count":100000000,)" + records),  // more than any card holds
      page(R"("code":7,"count":1,)" + records),
      page(R"("code":"A00006","count":1,"data":{})"),
      page(R"("code":"A00006","count":1,"data":[5])"),
      page(R"("code":"A00006","count":1,"data":[)" + Record("1001", "12345") + "]"),
      page(R"("code":"A00006","count":1,"data":[)" + Record("1001", "\"soon\"") + "]"),
  };
  for (const std::string& body : cases) {
    http.server.requests.clear();
    http.server.Respond(200, body);
    const Packet p = Query();
    EXPECT_EQ(http.server.requests.size(), 1u) << body;
    EXPECT_TRUE(p.rows.empty()) << body;
  }
  // A record lacking a member, or holding null where text is read.
  for (const std::string& member : {std::string(R"("point_sub":"0",)"), std::string(R"("type":"2",)")}) {
    std::string record = Record("1001");
    record.erase(record.find(member), member.size());
    http.server.Respond(200, page(R"("code":"A00006","count":1,"data":[)" + record + "]"));
    EXPECT_TRUE(Query().rows.empty()) << member;
  }
  std::string nullEmp = Record("1001");
  nullEmp.replace(nullEmp.find(R"("emp_no":"1001")"), 15, R"("emp_no":null)");
  http.server.Respond(200, page(R"("code":"A00006","count":1,"data":[)" + nullEmp + "]"));
  EXPECT_TRUE(Query().rows.empty());
}

TEST_F(StoredConsumeTest, UsersLackingTheirFieldsFailTheQuery) {
  TQuorlClientDataSet noName;
  noName.FieldDefs.Add("UserCode", TFieldType::ftString, 12);
  noName.CreateDataSet();
  http.server.Respond(200, Page(1, 1));
  EXPECT_TRUE(Query(&noName, false).rows.empty());
  http.server.Respond(200, Page(1, 1));
  EXPECT_TRUE(Query(nullptr, false).rows.empty());
  // Without records the users are never needed.
  http.server.Respond(200, Page(0, 0));
  EXPECT_TRUE(Query(nullptr, false).rows.empty());
  EXPECT_EQ(http.server.requests.size(), 3u);
}

TEST_F(StoredConsumeTest, CutsTextFieldsAtTheirSize) {
  std::string record = Record("EMP-0123456789");
  record.replace(record.find(R"("type":"2")"), 10, R"("type":"23")");
  http.server.Respond(200, R"({"code":"A00006","count":1,"data":[)" + record + "]}");
  const Packet p = Query();
  ASSERT_EQ(p.rows.size(), 1u);
  EXPECT_EQ(p.rows[0].at("type"), "2");
  EXPECT_EQ(p.rows[0].at("UserCode"), "EMP-01234567");
}

TEST_F(StoredConsumeTest, EmptyBaseAddressSendsNothing) {
  ScopedPlatformConfig none("", "M001|S01", "secret");
  const Packet p = Query();
  EXPECT_TRUE(http.server.requests.empty());
  EXPECT_EQ(p.fields.size(), 11u);
  EXPECT_TRUE(p.rows.empty());
}

}  // namespace
