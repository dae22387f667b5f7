// membersys htk end to end: the host program loads the package, reads the
// platform row of a seeded host database (address type H from the INI file)
// and queries huitouke-sim on loopback.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/HostDatabase.h"
#include "huitouke/HtkTestSupport.h"
#include "support/RunProgram.h"

namespace {

using quorl::test::Lines;
using quorl::test::ReadFile;
using quorl::test::Result;
using quorl::test::RunProgram;

using quorl::test::HtkSim;

class MembersysHtk : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = quorl::test::BinaryDir() + "/bin/membersys";
    ASSERT_TRUE(std::filesystem::exists(program_)) << program_;
    // The seed's platform rows of node N001: merchant DEMO-SBS-0001, key demo-htk-key-N001.
    sim_ = std::make_unique<HtkSim>(dir_ + "/htk.db", "demo-htk-key-N001", "DEMO-SBS-0001");
    ASSERT_GT(sim_->Port(), 0);
    quorl::CreateHostDatabase(dir_ + "/host.db", true);
    quorl::ExecuteSqlScript(dir_ + "/host.db", "UPDATE QUORL_SOAPSERVER_ADDRESS SET SOAP_ADDR = '" +
                                                   sim_->BaseUrl() + "' WHERE ADDRESSTYPE = 'H';");
    std::ofstream(dir_ + "/QUORLZELCLIENT.LIC") << "[WSDLCONFIGURE]\nADDRESSTYPE=H\n";
  }
  void TearDown() override { sim_.reset(); }

  Result Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--db", dir_ + "/host.db", "--app-dir", dir_});
    return RunProgram(program_, args);
  }

  std::string program_;
  const quorl::test::TempFolder folder_{"quorl-htk-membersys-"};
  const std::string dir_ = folder_.path();
  std::unique_ptr<HtkSim> sim_;
};

TEST_F(MembersysHtk, CardsPrintsAlignedColumnsByDisplayWidth) {
  const Result r = Run({"htk", "cards", "13912345678", "123456"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 3u) << r.out;
  EXPECT_EQ(lines[0].rfind("member_id  realname  username", 0), 0u) << lines[0];
  // 陈晓明 is three characters but six columns wide: "realname" (8) + 2 blanks.
  EXPECT_NE(lines[1].find("1001       陈晓明    chenxm"), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find("8600000001"), std::string::npos);
  EXPECT_NE(lines[2].find("8600000002"), std::string::npos);
  EXPECT_NE(lines[1].find("金卡会员"), std::string::npos);
  // The same column starts at the same display column in every line.
  const auto column = [](const std::string& line, const std::string& text) {
    const std::string prefix = line.substr(0, line.find(text));
    int width = 0;
    for (size_t i = 0; i < prefix.size(); ++i) {
      const auto b = static_cast<unsigned char>(prefix[i]);
      if (b >= 0xE0) {
        width += 2;
        i += 2;
      } else {
        width += 1;
      }
    }
    return width;
  };
  EXPECT_EQ(column(lines[0], "card_no"), column(lines[1], "8600000001"));
  EXPECT_EQ(column(lines[0], "card_no"), column(lines[2], "8600000002"));
}

TEST_F(MembersysHtk, CardsAsJson) {
  const Result r = Run({"htk", "cards", "8600000005", "112233", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.front(), '[');
  EXPECT_NE(r.out.find(R"("realname": "爱新觉罗·玄")"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(R"("user_balance": 999.99)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(R"("memberType": "3.5")"), std::string::npos) << r.out;

  const Result none = Run({"htk", "cards", "15800003333", "135790", "--json"});
  ASSERT_EQ(none.exitCode, 0) << none.err;
  EXPECT_NE(none.out.find(R"("card_no": null)"), std::string::npos) << none.out;
}

TEST_F(MembersysHtk, RecordsNameOperatorsFromTheHostUsersTable) {
  const Result r = Run({"htk", "records", "8600000001", "0", "2024-01-01", "2024-03-31"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 61u);  // header and 60 records over three pages
  EXPECT_EQ(lines[0].rfind("card_no", 0), 0u);
  EXPECT_NE(lines[1].find("2024-01-02 09:00:00  1001      王小明"), std::string::npos) << lines[1];

  const Result json = Run({"htk", "records", "--json", "8600000001", "1", "2024-01-01", "2024-01-31"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  EXPECT_NE(json.out.find(R"("time": "2024-01-02 09:00:00", "UserCode": "1001", "CNAME": "王小明")"),
            std::string::npos)
      << json.out;
}

TEST_F(MembersysHtk, EmptyTablesAreNoErrors) {
  const Result r = Run({"htk", "cards", "13912345678", "wrong"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(Lines(r.out).size(), 1u);  // the header only
  EXPECT_EQ(r.err, "(no rows)\n");
  const Result json = Run({"htk", "records", "9999999999", "0", "", "", "--json"});
  EXPECT_EQ(json.exitCode, 0);
  EXPECT_EQ(json.out, "[]\n");
  EXPECT_EQ(json.err, "");
}

TEST_F(MembersysHtk, UsageErrorsAndHelp) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"htk"},
                                               {"htk", "cards", "13912345678"},
                                               {"htk", "fly"},
                                               {"htk", "records", "1", "2", "3"},
                                               {"htk", "cards", "a", "b", "--xml"}}) {
    const Result r = Run(args);
    EXPECT_EQ(r.exitCode, 2) << args.back();
    EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
  }
  const Result help = Run({"htk", "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("htk cards KEY PASSWORD"), std::string::npos);
  EXPECT_NE(help.out.find("htk records CARDNO TYPE SDATE EDATE"), std::string::npos);
}

TEST_F(MembersysHtk, NoPlatformAddressIsAnError) {
  std::ofstream(dir_ + "/QUORLZELCLIENT.LIC") << "[WSDLCONFIGURE]\nADDRESSTYPE=Z\n";
  const Result r = Run({"htk", "cards", "13912345678", "123456"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
}

}  // namespace
