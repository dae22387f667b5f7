// membersys end to end: the real program linked with the real package, a
// SQLite database and an INI file in a temporary folder, and the two local
// services on loopback for the till session.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "host/HostDatabase.h"
#include "huitouke/HtkTestSupport.h"
#include "soap/SimProcess.h"
#include "support/RunProgram.h"

namespace {

using nlohmann::json;
using quorl::test::Lines;
using quorl::test::ReadFile;
using quorl::test::Result;
using quorl::test::RunProgram;
using Args = std::vector<std::string>;

class Membersys : public ::testing::Test {
 protected:
  void SetUp() override {
    binDir_ = quorl::test::BinaryDir();
    program_ = binDir_ + "/bin/membersys";
    ASSERT_TRUE(std::filesystem::exists(program_)) << program_;
    db_ = dir_ + "/host.db";
  }

  Result Run(const Args& args) { return RunProgram(program_, args); }

  // Runs with --db and --app-dir of the temporary folder.
  Result RunHere(Args args) {
    args.insert(args.begin(), {"--db", db_, "--app-dir", dir_});
    return Run(args);
  }

  std::string WriteFile(const std::string& name, const std::string& content) {
    return folder_.Write(name, content);
  }

  std::string binDir_;
  std::string program_;
  const quorl::test::TempFolder folder_{"quorl-membersys-"};
  const std::string dir_ = folder_.path();
  std::string db_;
};

TEST_F(Membersys, HelpForTheProgramAndEachCommand) {
  const std::vector<std::string> commands = {
      "init-db",       "addresses",     "types",       "hello",      "lookup",   "member-info", "surplus",
      "surplus-image", "post",          "post-server", "post-order", "post-htk", "check",       "report",
      "print",         "install-print", "htk",         "swipe",      "journal",  "reconcile"};
  Result r = Run({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  for (const char* word : {"--db", "--node", "--group", "--app-dir"})
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  // Every command is listed once under "Commands:".
  std::vector<std::string> names;
  bool inCommands = false;
  for (const std::string& line : Lines(r.out)) {
    if (inCommands && line.size() > 2) names.push_back(line.substr(2, line.find(' ', 2) - 2));
    inCommands = inCommands || line == "Commands:";
  }
  std::vector<std::string> sorted = names, expected = commands;
  std::sort(sorted.begin(), sorted.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(sorted, expected);
  for (const std::string& command : commands) {
    r = Run({command, "--help"});
    EXPECT_EQ(r.exitCode, 0) << command;
    EXPECT_NE(r.out.find("usage: membersys [global options] " + command), std::string::npos) << command;
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(Membersys, WrongCommandLinesFailWithOneLine) {
  const std::vector<Args> cases = {
      {"--bogus", "types"},
      {"frobnicate"},
      {},
      {"--db"},
      {"init-db", "--seeds"},
      {"types", "extra"},
      {"lookup"},
      {"check", "1", "2", "3"},
      {"post-htk", "card_no=1"},
      {"addresses", "--wsdl", "x"},
      {"addresses", "--set", "G"},
      {"addresses", "--use", "G\nX=1"},
      {"report", "G01", "1001", "2024-01-01"},
  };
  for (const auto& args : cases) {
    const Result r = Run(args);
    const std::string what = args.empty() ? "(none)" : args.front();
    EXPECT_EQ(r.exitCode, 2) << what;
    EXPECT_EQ(Lines(r.err).size(), 1u) << what << ": " << r.err;
    EXPECT_EQ(r.err.rfind("membersys: ", 0), 0u) << r.err;
    EXPECT_EQ(r.out, "") << what;
  }
  EXPECT_EQ(Run({"--node", "N002", "frobnicate"}).err,
            "membersys: unknown command 'frobnicate' (see membersys --help)\n");
}

TEST_F(Membersys, SeededDatabaseAddressesAndTypes) {
  Result r = RunHere({"init-db", "--seed"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(db_));
  // Posting writes Print.xml there; the package never creates the folder.
  EXPECT_TRUE(std::filesystem::is_directory(dir_ + "/MemberPrint_vrisk"));
  r = RunHere({"hello", "你好"});
  EXPECT_EQ(r.out, "Hello\n");

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
  EXPECT_EQ(Lines(r.out),
            (std::vector<std::string>{"[customer types]", "1\t会员", "2\t用户", "3\t普通购票者",
                                      "[certificate types]", "01\t身份证", "02\t护照", "03\t军官证"}));
}

TEST_F(Membersys, AddressesSetRowsAndUseKeepsTheRestOfTheIniFile) {
  ASSERT_EQ(RunHere({"init-db", "--seed"}).exitCode, 0);
  const std::string ini = WriteFile("QUORLZELCLIENT.LIC",
                                    "[LICENSE]\r\nSERIAL=42\r\n[wsdlconfigure]\r\n"
                                    " AddressType = G\r\nOTHER=1\r\n");
  // The till's group row and the node's default row both change, so the
  // lookup finds the new address whichever of them it reads.
  Result r = RunHere({"addresses", "--use", "H", "--set", "H", "http://127.0.0.1:9/api/", "--key", "K1"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(ini), "[LICENSE]\r\nSERIAL=42\r\n[wsdlconfigure]\r\nADDRESSTYPE=H\r\nOTHER=1\r\n");
  EXPECT_EQ(Lines(r.out), (std::vector<std::string>{
                              "_MemberSysSoapURL_ZEL=http://127.0.0.1:9/api/",
                              "_MemberSysWSDLURL_ZEL=", "_MemberCommercial_ZEL=DEMO-SBS-0001|DEMO-STORE-01",
                              "_MemberPassWordKey_ZEL=K1", "_MemberConnectUmnByDB_ZEL=N"}));
  r = RunHere({"--group", "G03", "addresses"});  // no group row: the default row
  EXPECT_EQ(Lines(r.out).at(0), "_MemberSysSoapURL_ZEL=http://127.0.0.1:9/api/");

  // A node without rows gets a default row; a second --set keeps what it omits.
  ASSERT_EQ(
      RunHere({"--node", "N009", "addresses", "--set", "H", "http://a/", "--commercial", "M|S"}).exitCode, 0);
  r = RunHere({"--node", "N009", "addresses", "--set", "H", "http://b/", "--wsdl", "http://b/?wsdl"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Lines(r.out),
            (std::vector<std::string>{"_MemberSysSoapURL_ZEL=http://b/",
                                      "_MemberSysWSDLURL_ZEL=http://b/?wsdl", "_MemberCommercial_ZEL=M|S",
                                      "_MemberPassWordKey_ZEL=", "_MemberConnectUmnByDB_ZEL=N"}));

  std::filesystem::remove(ini);
  ASSERT_EQ(RunHere({"addresses", "--use", "G"}).exitCode, 0);
  EXPECT_EQ(ReadFile(ini), "[WSDLCONFIGURE]\nADDRESSTYPE=G\n");
  EXPECT_EQ(RunHere({"addresses", "--use", "G\nX=1"}).exitCode, 2);
}

TEST_F(Membersys, DefaultDatabaseLiesInTheApplicationDirectory) {
  const Result r = Run({"--app-dir", dir_, "init-db"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/membersys.db"));
}

TEST_F(Membersys, CommandsBeforeInitDbNameTheFileAndLeaveItAsItWas) {
  const std::string db = dir_ + "/membersys.db";  // the default, in the application directory
  const std::string initDb = " (run 'membersys init-db' first)\n";
  const std::string notInitialised = "membersys: host database " + db + " is not initialised" + initDb;
  const std::vector<Args> commands = {{"addresses"},
                                      {"types"},
                                      {"hello"},
                                      {"lookup", "Y"},
                                      {"report", "G01", "1001", "", ""},
                                      {"post-order", "W1", "1001"},
                                      {"print"},
                                      {"htk", "cards", "K", "P"}};
  struct State {
    const char* what;
    std::function<void()> make;
    std::string err;
  };
  const State states[] = {
      {"missing", [] {}, "membersys: no host database at " + db + initDb},
      {"empty", [&] { WriteFile("membersys.db", ""); }, notInitialised},
      {"other tables", [&] { quorl::ExecuteSqlScript(db, "CREATE TABLE T (X)"); }, notInitialised},
      // init-db would fail on it too, so it is not suggested.
      {"no SQLite", [&] { WriteFile("membersys.db", "[LICENSE]\nSERIAL=42\n"); },
       "membersys: " + db + " is not an SQLite database (check --db)\n"},
  };
  for (const State& state : states) {
    std::filesystem::remove(db);
    state.make();
    const bool existed = std::filesystem::exists(db);
    const std::string before = existed ? ReadFile(db) : "";
    for (Args args : commands) {
      args.insert(args.begin(), {"--app-dir", dir_});
      const Result r = Run(args);
      EXPECT_EQ(r.exitCode, 1) << state.what << ' ' << args[2];
      EXPECT_EQ(r.out, "") << state.what << ' ' << args[2];
      EXPECT_EQ(r.err, state.err) << state.what << ' ' << args[2];
      EXPECT_EQ(std::filesystem::exists(db), existed) << state.what << ' ' << args[2];
      if (existed) {
        EXPECT_EQ(ReadFile(db), before) << state.what << ' ' << args[2];
      }
    }
  }

  std::filesystem::remove(db);
  WriteFile("membersys.db", "");
  ASSERT_EQ(Run({"--app-dir", dir_, "init-db"}).exitCode, 0);
  for (const Args& args : std::vector<Args>{{"addresses"}, {"types"}, {"hello"}, {"lookup", "Y"}}) {
    Args here = {"--app-dir", dir_};
    here.insert(here.end(), args.begin(), args.end());
    EXPECT_EQ(Run(here).exitCode, 0) << args[0];
  }
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

// A till with both services running: TicketManage at address type G, the
// platform at H (demo merchant and key of node N001), G in the INI file.
class MembersysTill : public Membersys {
 protected:
  void SetUp() override {
    Membersys::SetUp();
    ASSERT_FALSE(HasFatalFailure());
    ticketManage_ = std::make_unique<quorl::test::TicketManageSim>(dir_ + "/tm.db");
    platform_ = std::make_unique<quorl::test::HtkSim>(dir_ + "/htk.db", "demo-htk-key-N001", "DEMO-SBS-0001");
    ASSERT_GT(platform_->Port(), 0);
    ASSERT_EQ(RunHere({"init-db", "--seed"}).exitCode, 0);
    ASSERT_EQ(RunHere({"addresses", "--set", "G", ticketManage_->Endpoint()}).exitCode, 0);
    ASSERT_EQ(RunHere({"addresses", "--set", "H", platform_->BaseUrl()}).exitCode, 0);
    Use("G");
  }
  void TearDown() override {
    ticketManage_.reset();
    platform_.reset();
    Membersys::TearDown();
  }
  void Use(const std::string& type) { ASSERT_EQ(RunHere({"addresses", "--use", type}).exitCode, 0); }

  // A purchase of two tickets by member 1001 (card 8800000001) for the web service.
  std::string Purchase(const std::string& order, const std::string& member = "1001",
                       const std::string& cost = "80.00") {
    return WriteFile(order + ".json", R"({"MC_Time": "2024-05-01 19:30:00", "MC_PriceSum": )" + cost +
                                          R"(, "MC_Cost": ")" + cost + R"(", "MC_CostType": "会员卡",
        "MC_MemberID": ")" + member + R"(", "MC_Creater": "1001", "MC_OrderCode": ")" +
                                          order +
                                          R"(", "MC_Group": "G01", "MC_WareName": "电影票",
        "Tickets": [{"CL_PriceLevel": "A", "CL_WarePrice": 40.00, "CL_WareNum": 2, "CL_CostSum": ")" +
                                          cost + R"("}]})");
  }

  std::unique_ptr<quorl::test::TicketManageSim> ticketManage_;
  std::unique_ptr<quorl::test::HtkSim> platform_;
};

std::vector<std::string> MemberNums(const std::string& out) {
  std::vector<std::string> nums;
  for (const json& m : json::parse(out)) nums.push_back(m.at("MemberNum").get<std::string>());
  return nums;
}

TEST_F(MembersysTill, LookupAsksTheBackEndTheModeNamesWithTheGivenCriteria) {
  struct Case {
    const char* type;
    Args args;
    std::vector<std::string> nums;
  };
  const std::vector<std::string> groupG01 = {"8800000001", "8800000011", "8800000002", "8800000003"};
  const Case cases[] = {
      {"G", {"Y"}, groupG01},  // no criterion given: the till's whole group
      {"G", {"Y", "--name", ""}, groupG01},
      {"G", {"Y", "--name", "张伟"}, {"8800000001", "8800000011"}},
      {"G", {"Y", "--member-id", "1002"}, {"8800000002"}},
      {"G", {"Y", "--cert-type", "01", "--mobile", "13800000003"}, {"8800000003"}},
      {"G", {"Y", "--cert-type", "02", "--mobile", "13800000003"}, {}},
      {"G", {"N", "--name", "张"}, {"8800000001"}},
      {"G", {"N", "--member-num", "8800000002", "--phone", "010-62001002"}, {"8800000002"}},
      {"H", {"H", "--member-num", "13912345678", "--password", "123456"}, {"8600000001", "8600000002"}},
      {"H", {"H", "--member-num", "13912345678"}, {}},  // no password given: none sent
  };
  for (const Case& c : cases) {
    Use(c.type);
    Args args = {"lookup"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back("--json");
    const Result r = RunHere(args);
    ASSERT_EQ(r.exitCode, 0) << args[1] << ' ' << r.err;
    EXPECT_EQ(MemberNums(r.out), c.nums) << args[1] << ' ' << (args.size() > 3 ? args[3] : "");
  }
}

TEST_F(MembersysTill, LookupShowsEveryFieldAndRefusesUnknownModes) {
  Result r = RunHere({"lookup", "Y", "--member-num", "8800000011", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const json member = json::parse(r.out).at(0);
  const std::vector<std::string> fields = {"MemberID",
                                           "Reserved",
                                           "MemberNum",
                                           "MemberValid",
                                           "MemberName",
                                           "MemberType",
                                           "MemberTypeName",
                                           "CardType",
                                           "CardTypeName",
                                           "CertificateType",
                                           "CertificateTypeName",
                                           "CertificateNum",
                                           "PhoneNum",
                                           "MobileNum",
                                           "Address",
                                           "Email",
                                           "MemberBalance",
                                           "IsFeesMember",
                                           "Points",
                                           "MemberGroupCode",
                                           "PayPassword",
                                           "IsOneCard",
                                           "ConsumePoints",
                                           "ConsumeMoney",
                                           "CardStatus"};
  const auto ordered = nlohmann::ordered_json::parse(r.out);
  std::vector<std::string> keys;
  for (const auto& [key, value] : ordered.at(0).items()) keys.push_back(key);
  EXPECT_EQ(keys, fields);
  EXPECT_EQ(member.at("MemberValid"), true);
  EXPECT_EQ(member.at("IsOneCard"), true);  // card class C
  EXPECT_EQ(member.at("CertificateType"), "01");
  EXPECT_EQ(member.at("CertificateTypeName"), "身份证");
  EXPECT_EQ(member.at("MemberName"), "张伟");

  r = RunHere({"lookup", "Y", "--member-num", "8800000011"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("MemberID  Reserved  MemberNum   MemberValid  MemberName", 0), 0u) << lines[0];
  EXPECT_NE(lines[1].find("true         张伟"), std::string::npos) << lines[1];

  r = RunHere({"lookup", "Y", "--member-num", "0000"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "(no rows)\n");

  r = RunHere({"lookup", "y"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("unknown connection mode 'y'"), std::string::npos) << r.err;
}

TEST_F(MembersysTill, CheckTicketAnswersPrintTheBoundDocument) {
  Result r = RunHere({"member-info", "8800000001"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::string> names;
  for (const std::string& line : Lines(r.out)) names.push_back(line.substr(0, line.find('=')));
  EXPECT_EQ(names, (std::vector<std::string>{
                       "memberID",        "memberNum",      "memberValid",   "memberName",   "memberType",
                       "certificateType", "certificateNum", "phoneNum",      "mobileNum",    "sAddress",
                       "sEmail",          "memberBalance",  "surplusCount",  "iEntryNumber", "sImageType",
                       "Base64Image",     "[book]",         "activity_name", "date_start",   "status",
                       "date_check"}));
  EXPECT_NE(r.out.find("memberName=张伟\n"), std::string::npos);
  EXPECT_NE(r.out.find("activity_name=春节联欢音乐会\n"), std::string::npos);

  r = RunHere({"surplus", "8800000004", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const json doc = json::parse(r.out);
  EXPECT_EQ(doc.at("memberBalance"), "1000.00");
  EXPECT_EQ(doc.at("Base64Image"), "");  // not sent by getSurplus
  ASSERT_EQ(doc.at("book").size(), 1u);
  EXPECT_EQ(doc.at("book")[0].at("status"), "已签到");

  r = RunHere({"surplus-image", "8800000001", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(json::parse(r.out).at("sImageType"), "png");

  r = RunHere({"surplus", "9999999999"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "(no member)\n");
}

TEST_F(MembersysTill, PostingTheSameOrderTwiceChargesOnce) {
  const std::string rows = WriteFile(
      "rows.json",
      R"([{"ORDER_CODE": "TILL-1", "MEMBER_CARD_NO": "8800000001", "AMOUNT": 35.50, "POINTS": 70}])");
  auto balance = [this](const Args& probe, const std::function<json(const json&)>& pick) {
    const Result r = RunHere(probe);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return pick(json::parse(r.out));
  };
  const auto webBalance = [](const json& d) { return d.at("memberBalance"); };
  const auto hostBalance = [](const json& d) { return d.at(0).at("MemberBalance"); };
  const auto platformBalance = [](const json& d) { return d.at(1).at("user_balance"); };
  struct Case {
    const char* type;
    Args post;
    std::string answer;
    Args probe;
    std::function<json(const json&)> pick;
    json before, after;
  };
  const Case cases[] = {
      {"G",
       {"post", Purchase("DEMO-1")},
       "true",
       {"surplus", "8800000001", "--json"},
       webBalance,
       "500.00",
       "420.00"},
      {"G",
       {"post-server", rows, "1001"},
       "true",
       {"lookup", "Y", "--member-num", "8800000001", "--json"},
       hostBalance,
       "500",
       "464.5"},
      {"G",
       {"post-order", "WEB20240101000001", "1001"},
       "true",
       {"lookup", "Y", "--member-num", "8800000001", "--json"},
       hostBalance,
       "464.5",
       "376.5"},
      {"H",
       {"post-htk", "sbs_id=", "store_id=", "card_no=8600000002", "order_no=H-1", "money=20.50", "points=0",
        "emp_no=1001"},
       "A00006",
       {"htk", "cards", "8600000002", "654321", "--json"},
       platformBalance,
       120.5,
       100},
  };
  for (const Case& c : cases) {
    Use(c.type);
    EXPECT_EQ(balance(c.probe, c.pick), c.before) << c.post[0];
    for (int i = 0; i < 2; ++i) {
      const Result r = RunHere(c.post);
      EXPECT_EQ(r.exitCode, 0) << c.post[0] << ": " << r.err;
      EXPECT_EQ(r.out.rfind(c.answer, 0), 0u) << c.post[0] << ": " << r.out;
      EXPECT_EQ(r.err, "") << c.post[0];
    }
    EXPECT_EQ(balance(c.probe, c.pick), c.after) << c.post[0];
  }

  // Every posting sent is in the journal, in order, accepted; nothing is
  // left to settle.
  const Result journal = RunHere({"journal", "--json"});
  ASSERT_EQ(journal.exitCode, 0) << journal.err;
  const json entries = json::parse(journal.out);
  std::vector<std::string> seen;
  for (const json& e : entries)
    seen.push_back(e.at("operation").get<std::string>() + " " + e.at("state").get<std::string>());
  const std::vector<std::string> expected = {"ComsumeInfoPost accepted",
                                             "ComsumeInfoPost accepted",
                                             "ComsumeInfoPost_ByServer accepted",
                                             "ComsumeInfoPost_ByServer accepted",
                                             "ComsumeInfoPost_ByServer_OrderHandle accepted",
                                             "ComsumeInfoPost_ByServer_OrderHandle accepted",
                                             "ComsumeInfoPost_ByHTK accepted",
                                             "ComsumeInfoPost_ByHTK accepted"};
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(entries.at(6).at("order"), "H-1");
  EXPECT_EQ(entries.at(6).at("amount"), "20.50");
  EXPECT_EQ(RunHere({"journal", "--state", "failed-uncertain"}).err, "(no rows)\n");
  const Result bad = RunHere({"journal", "--state", "lost"});
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.err.find("unknown state 'lost'"), std::string::npos) << bad.err;
  const Result reconcile = RunHere({"reconcile"});
  EXPECT_EQ(reconcile.exitCode, 0) << reconcile.err;
  EXPECT_EQ(reconcile.out, "0 entries to settle, 0 settled, 0 still uncertain\n");
}

TEST_F(MembersysTill, RefusalsAndFailures) {
  const std::string rows =
      WriteFile("rows.json", R"([{"ORDER_CODE": "TILL-2", "MEMBER_ID": 1002, "AMOUNT": "99.00"}])");
  const std::string posting = "警告: 会员购票信息保存失败!，请与管理员联系\n";
  struct Case {
    const char* type;
    Args args;
    std::string out, err;  // err empty: a refusal, no warning
  };
  // Member 1002 has 12.50 left in both back ends; card 8600000002 120.50.
  const std::vector<Case> refusals = {
      {"G", {"post", Purchase("DEMO-2", "1002")}, "false\n", ""},
      {"G", {"post-server", rows, "1001"}, "false\n", ""},
      {"G", {"post-order", "WEB20240101000002", "1001"}, "false\n", ""},  // 50.00 on card 8800000002
      {"G", {"post-order", "NO-SUCH-ORDER", "1001"}, "false\n", ""},
      {"G", {"check", "NO-SUCH-ORDER", "1001", "1001", ""}, "false\n", ""},
      {"H",
       {"post-htk", "sbs_id=", "store_id=", "card_no=8600000002", "order_no=H-2", "money=2000", "emp_no=1"},
       "",
       ""},
  };
  const std::vector<Case> failures = {
      {"G", {"post", Purchase("DEMO-3")}, "false\n", posting},
      {"G", {"check", "DEMO-3", "1001", "1001", ""}, "false\n", "警告: 会员校验失败，请与管理员联系\n"},
      {"G", {"report", "G01", "1001", "", ""}, "", "警告: 会员储入信息查询失败!，请与管理员联系\n"},
      {"H",
       {"post-htk", "sbs_id=", "store_id=", "card_no=8600000002", "order_no=H-3", "money=1"},
       "",
       posting},
  };
  for (const auto* list : {&refusals, &failures}) {
    if (list == &failures) {
      ticketManage_->Stop();
      platform_->Stop();
    }
    for (const Case& c : *list) {
      Use(c.type);
      const Result r = RunHere(c.args);
      EXPECT_EQ(r.exitCode, 1) << c.args[0] << ' ' << c.args[1];
      EXPECT_EQ(r.out, c.out) << c.args[0] << ' ' << c.args[1];
      EXPECT_EQ(r.err, c.err) << c.args[0] << ' ' << c.args[1];
    }
  }
}

TEST_F(MembersysTill, PostingFilesAreCheckedBeforeAnythingIsSent) {
  struct Case {
    Args args;
    std::string error;
  };
  const Case cases[] = {
      {{"post", WriteFile("a.json", R"({"MC_OrderCode": "X", "MC_Bogus": "1"})")}, "unknown key 'MC_Bogus'"},
      {{"post", WriteFile("b.json", R"({"Tickets": [{"CL_Price": "1"}]})")},
       "Tickets[0]: unknown key 'CL_Price'"},
      {{"post", WriteFile("c.json", R"({"MC_Cost": true})")}, "MC_Cost: expected text or a number"},
      {{"post", WriteFile("d.json", R"({"MC_Cost": "1", "MC_Cost": "2"})")}, "key 'MC_Cost' given twice"},
      {{"post", WriteFile("e.json", R"({"MC_Cost": )")}, "parse error"},
      {{"post", dir_ + "/missing.json"}, "cannot read"},
      {{"post-server", WriteFile("f.json", R"([{"ORDER_CODE": "X", "MEMBER_ID": "abc", "AMOUNT": 1}])"),
        "1001"},
       "row 1: MEMBER_ID: 'abc' is not a number"},
      {{"post-server", WriteFile("g.json", R"([{"ORDER": "X"}])"), "1001"}, "row 1: unknown key 'ORDER'"},
  };
  for (const Case& c : cases) {
    const Result r = RunHere(c.args);
    EXPECT_EQ(r.exitCode, 1) << c.error;
    EXPECT_EQ(r.out, "") << c.error;
    EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/MemberPrint_vrisk/Print.xml"));
  // Numbers reach the document as written, and --no-post charges nothing.
  const Result r = RunHere({"post", Purchase("DEMO-4"), "--no-post"});
  EXPECT_EQ(r.out, "true\n");
  const std::string document = ReadFile(dir_ + "/MemberPrint_vrisk/Print.xml");
  EXPECT_NE(document.find("<CL_WarePrice>40.00</CL_WarePrice>"), std::string::npos) << document;
  EXPECT_EQ(json::parse(RunHere({"surplus", "8800000001", "--json"}).out).at("memberBalance"), "500.00");
}

TEST_F(MembersysTill, CheckAndReportSeeThePostedOrder) {
  ASSERT_EQ(RunHere({"post", Purchase("DEMO-5")}).out, "true\n");
  for (const char* member : {"1001", "8800000001"}) {
    const Result r = RunHere({"check", "DEMO-5", member, "1001", ""});
    EXPECT_EQ(r.exitCode, 0) << member;
    EXPECT_EQ(r.out, "true\n") << member;
  }
  Result r = RunHere({"report", "G01", "1001", "2024-05-01", "2024-05-01"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Lines(r.out),
            (std::vector<std::string>{
                "UserID  UserName  UserCode  MemberName  MemberMobileNO  PayMentName  PayAmount",
                "2       王小明    1001      张伟        13800000001     会员卡       80"}));
  r = RunHere({"report", "G01", "1001", "2024-05-01", "", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(json::parse(r.out),
            json::parse(R"([{"UserID": 2, "UserName": "王小明", "UserCode": "1001", "MemberName": "张伟",
                           "MemberMobileNO": "13800000001", "PayMentName": "会员卡", "PayAmount": 80}])"));
  r = RunHere({"report", "G01", "1001", "2024-06-01", "", "--json"});
  EXPECT_EQ(r.out, "[]\n");
}

TEST_F(MembersysTill, PrintStartsTheInstalledPrintApplication) {
  const std::string built = binDir_ + "/bin/MemberPrint_vrisk/PrintApp.exe";
  if (!std::filesystem::exists(built)) GTEST_SKIP() << "no print application built at " << built;
  Result r = RunHere({"print"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("install-print"), std::string::npos) << r.err;

  r = RunHere({"install-print"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string installed = dir_ + "/MemberPrint_vrisk/PrintApp.exe";
  EXPECT_EQ(access(installed.c_str(), X_OK), 0);
  ASSERT_EQ(RunHere({"post", Purchase("PRINT-1"), "--no-post"}).out, "true\n");

  // The print application outlives membersys and writes to the outputs it
  // inherited: they get a folder of their own.
  const std::string scratch = dir_ + "/print-run";
  std::filesystem::create_directory(scratch);
  r = RunProgram(program_, {"--db", db_, "--app-dir", dir_, "print"},
                 quorl::test::RunOptions().OutputFolder(scratch));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::string paths;
  for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
       paths.find(".txt\n") == std::string::npos && std::chrono::steady_clock::now() < deadline;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    paths = ReadFile(scratch + "/stdout");
  }
  const auto lines = Lines(paths);
  ASSERT_EQ(lines.size(), 2u) << paths << ReadFile(dir_ + "/MemberPrint_vrisk/PrintApp.log");
  EXPECT_EQ(lines[0].rfind(dir_ + "/MemberPrint_vrisk/receipts/PRINT-1-", 0), 0u) << lines[0];
  EXPECT_TRUE(std::filesystem::exists(lines[0]));
  EXPECT_NE(ReadFile(lines[1]).find("PRINT-1"), std::string::npos);
}

}  // namespace
