// membersys end to end: the real program, the real package loaded with
// dlopen, a SQLite database and an INI file in a temporary folder.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/HostDatabase.h"
#include "support/RunProgram.h"

namespace {

using quorl::testsupport::Lines;
using quorl::testsupport::ReadFile;
using quorl::testsupport::Result;
using quorl::testsupport::RunProgram;

class Membersys : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* bin = std::getenv("QUORL_BINARY_DIR");
    ASSERT_NE(bin, nullptr) << "QUORL_BINARY_DIR is set by CTest";
    program_ = std::string(bin) + "/bin/membersys";
    ASSERT_TRUE(std::filesystem::exists(program_)) << program_;
    std::string pattern = (std::filesystem::temp_directory_path() / "quorl-membersys-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    db_ = dir_ + "/host.db";
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  Result Run(const std::vector<std::string>& args) { return RunProgram(program_, args, dir_); }

  // Runs with --db and --app-dir of the temporary folder.
  Result RunHere(std::vector<std::string> args) {
    args.insert(args.begin(), {"--db", db_, "--app-dir", dir_});
    return Run(args);
  }

  std::string program_;
  std::string dir_;
  std::string db_;
};

TEST_F(Membersys, HelpForTheProgramAndEachCommand) {
  Result r = Run({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  for (const char* word : {"--db", "--node", "--group", "--app-dir", "init-db", "addresses", "types"})
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  // Every command is listed once under "Commands:".
  std::vector<std::string> names;
  bool inCommands = false;
  for (const std::string& line : Lines(r.out)) {
    if (inCommands && line.size() > 2) names.push_back(line.substr(2, line.find(' ', 2) - 2));
    inCommands = inCommands || line == "Commands:";
  }
  std::vector<std::string> unique = names;
  std::sort(unique.begin(), unique.end());
  unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
  EXPECT_EQ(names.size(), unique.size());
  for (const char* command : {"init-db", "addresses", "types"}) {
    r = Run({command, "--help"});
    EXPECT_EQ(r.exitCode, 0) << command;
    EXPECT_NE(r.out.find(std::string("usage: membersys [global options] ") + command), std::string::npos);
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(Membersys, WrongCommandLinesFailWithOneLine) {
  const std::vector<std::vector<std::string>> cases = {
      {"--bogus", "types"}, {"frobnicate"}, {}, {"--db"}, {"init-db", "--seeds"}, {"types", "extra"},
  };
  for (const auto& args : cases) {
    const Result r = Run(args);
    const std::string what = args.empty() ? "(none)" : args.front();
    EXPECT_NE(r.exitCode, 0) << what;
    EXPECT_EQ(Lines(r.err).size(), 1u) << what << ": " << r.err;
    EXPECT_EQ(r.err.rfind("membersys: ", 0), 0u) << r.err;
    EXPECT_EQ(r.out, "") << what;
  }
}

TEST_F(Membersys, SeededDatabaseAddressesAndTypes) {
  Result r = RunHere({"init-db", "--seed"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(db_));

  r = RunHere({"addresses"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Lines(r.out), (std::vector<std::string>{
                              "_MemberSysSoapURL_ZEL=http://127.0.0.1:18081/services/TicketManage",
                              "_MemberSysWSDLURL_ZEL=http://127.0.0.1:18081/services/TicketManage?wsdl",
                              "_MemberCommercial_ZEL=",
                              "_MemberPassWordKey_ZEL=",
                              "_MemberConnectUmnByDB_ZEL=N",
                          }));

  std::ofstream(dir_ + "/QUORLZELCLIENT.LIC") << "[WSDLCONFIGURE]\nADDRESSTYPE=H\n";
  r = RunHere({"--node", "N002", "--group", "G02", "addresses"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Lines(r.out), (std::vector<std::string>{
                              "_MemberSysSoapURL_ZEL=http://127.0.0.1:18082/api/",
                              "_MemberSysWSDLURL_ZEL=",
                              "_MemberCommercial_ZEL=DEMO-SBS-0002|DEMO-STORE-02",
                              "_MemberPassWordKey_ZEL=demo-htk-key-N002",
                              "_MemberConnectUmnByDB_ZEL=Y",
                          }));

  r = RunHere({"--node", "N002", "types"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Lines(r.out), (std::vector<std::string>{
                              "[customer types]", "1\t会员", "2\t用户", "3\t普通购票者",
                              "[certificate types]", "01\t身份证", "02\t护照", "03\t军官证"}));
}

TEST_F(Membersys, DefaultDatabaseLiesInTheApplicationDirectory) {
  const Result r = Run({"--app-dir", dir_, "init-db"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/membersys.db"));
}

TEST_F(Membersys, DatabaseErrorsAreOneLineAndNonZero) {
  quorl::CreateHostDatabase(db_, false);
  std::filesystem::remove(db_);
  std::filesystem::create_directory(db_);  // a folder where the database file should be
  const Result r = RunHere({"addresses"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
  EXPECT_EQ(r.out, "");
}

}  // namespace
