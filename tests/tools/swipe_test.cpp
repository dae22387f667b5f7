// membersys swipe end to end: the real program shows the package's dialog on
// Qt's offscreen platform, the simulated reader library holds the card, and
// the lookup goes to the local web service.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "huitouke/md5.h"
#include "soap/SimProcess.h"
#include "support/RunProgram.h"

namespace {

using quorl::test::ReadFile;
using quorl::test::Result;
using quorl::test::RunProgram;
using Args = std::vector<std::string>;

class Swipe : public ::testing::Test {
 protected:
  void SetUp() override {
    // 8800000002 padded with "$" to 32 bytes, over blocks 13 and 14.
    std::ofstream(dir_ / "card.txt") << "serial = 3735928559\nkey = 5a3e9c01b7d4\n"
                                        "block13 = 38383030303030303032242424242424\n"
                                        "block14 = 24242424242424242424242424242424\n";
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QUORL_CARDREADER_CARD", (dir_ / "card.txt").c_str(), 1);
    setenv("QUORL_CARDREADER_LOG", (dir_ / "reader.log").c_str(), 1);
    // Qt wants a private runtime folder.
    std::filesystem::create_directories(dir_ / "xdg");
    std::filesystem::permissions(dir_ / "xdg", std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", (dir_ / "xdg").c_str(), 1);
  }
  Result Run(Args args) {
    args.insert(args.begin(), {"--db", (dir_ / "host.db").string(), "--app-dir", dir_.string()});
    return RunProgram(quorl::test::BinaryDir() + "/bin/membersys", args);
  }

  const quorl::test::TempFolder folder_{"quorl-swipe-"};
  const std::filesystem::path dir_ = folder_.path();
};

TEST_F(Swipe, DialogResultsAsTheHostReadsThem) {
  const std::string digest = MD5Print(MD5String("123456"));
  struct Case {
    Args args;
    int exitCode;
    std::string out;
  };
  const Case cases[] = {
      {{"swipe", "--press-read", "--password", "123456", "--ok"},
       0,
       "cardno=8800000002\npassmd5=" + digest + "\nsnr=3735928559\n"},
      {{"swipe", "--read-now", "--ok"}, 0, "cardno=8800000002\npassmd5=\nsnr=3735928559\n"},
      {{"swipe", "--password", "12ab34", "--ok"},
       0,
       "cardno=\npassmd5=" + MD5Print(MD5String("1234")) + "\nsnr=\n"},
      {{"swipe", "--press-read", "--password", "1", "--cancel"}, 1, ""},
      {{"swipe", "--read-now", "--password", "123456", "--ok", "--json"},
       0,
       nlohmann::json({{"cardno", "8800000002"}, {"passmd5", digest}, {"snr", "3735928559"}}).dump(2) + "\n"},
  };
  for (const Case& c : cases) {
    const Result r = Run(c.args);
    SCOPED_TRACE(c.args[1] + " " + r.err);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.out, c.out);
  }
  // Every read closed the reader it opened.
  const std::string log = ReadFile((dir_ / "reader.log").string());
  size_t inits = 0, exits = 0;
  for (size_t p = 0; (p = log.find("dc_init", p)) != std::string::npos; ++p) ++inits;
  for (size_t p = 0; (p = log.find("dc_exit", p)) != std::string::npos; ++p) ++exits;
  EXPECT_EQ(inits, 4u);
  EXPECT_EQ(exits, inits);
}

TEST_F(Swipe, LooksTheSwipedMemberUpAndKeepsAScreenshot) {
  const Result noDb = Run({"swipe", "--lookup", "N", "--ok"});
  EXPECT_EQ(noDb.exitCode, 1);
  EXPECT_NE(noDb.err.find("no host database"), std::string::npos) << noDb.err;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "reader.log")) << "checked before the dialog";
  quorl::test::TicketManageSim service((dir_ / "tm.db").string());
  ASSERT_EQ(Run({"init-db", "--seed"}).exitCode, 0);
  ASSERT_EQ(Run({"addresses", "--set", "G", service.Endpoint()}).exitCode, 0);
  const std::string png = (dir_ / "dialog.png").string();
  const Result r = Run({"swipe", "--press-read", "--password", "123456", "--screenshot", png, "--ok",
                        "--lookup", "N", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const nlohmann::json members = nlohmann::json::parse(r.out);
  ASSERT_EQ(members.size(), 1u);
  EXPECT_EQ(members[0].at("MemberNum"), "8800000002");
  // A PNG of the dialog's client area.
  const std::string image = ReadFile(png);
  ASSERT_GT(image.size(), 24u);
  EXPECT_EQ(image.substr(1, 3), "PNG");
  const auto be32 = [&](size_t at) {
    return (static_cast<unsigned char>(image[at]) << 24) | (static_cast<unsigned char>(image[at + 1]) << 16) |
           (static_cast<unsigned char>(image[at + 2]) << 8) | static_cast<unsigned char>(image[at + 3]);
  };
  EXPECT_EQ(be32(16), 287u);
  EXPECT_EQ(be32(20), 104u);
}

}  // namespace
