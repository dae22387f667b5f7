// The vxjson program end to end: output bytes, exit codes, stderr lines.
#include <gtest/gtest.h>

#include <string>

#include "support/RunProgram.h"

namespace {

using ToolRun = quorl::test::Result;

class VxjsonTool : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) { return folder_.Write(name, bytes); }
  // Runs the tool with `args` (words for the shell), standard input from `input`.
  ToolRun Exec(const std::string& args, const std::string& input = "") {
    return quorl::test::RunProgram({"/bin/sh", "-c", quorl::test::Quote(tool_) + " " + args},
                                   quorl::test::RunOptions().Input(input));
  }

  const quorl::test::TempFolder folder_{"vxjson_test_"};
  const std::string dir_ = folder_.path();
  const std::string tool_ = quorl::test::BinaryDir() + "/bin/vxjson";
};

int Lines(const std::string& s) {
  int n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

}  // namespace

TEST_F(VxjsonTool, CompactFromFileAndReadableFromStdin) {
  const std::string file =
      Write("a.json", "\xEF\xBB\xBF { \"name\" : \"\\u5f20\" , \"n\" : [1.50, +2] } trailing");
  ToolRun r = Exec("compact '" + file + "'");
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ("{\"name\":\"\xE5\xBC\xA0\",\"n\":[1.5,2]}", r.out);  // no newline added
  EXPECT_EQ("", r.err);

  r = Exec("readable", "{\"a\":[1,2],\"b\":{}}");
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ("{\r\n  \"a\":[\r\n    1,\r\n    2\r\n  ],\r\n  \"b\":{}\r\n}", r.out);
}

TEST_F(VxjsonTool, FailuresGiveOneLineAndAStatus) {
  ToolRun r = Exec("compact", "[1,,2]");
  EXPECT_EQ(1, r.exitCode);
  EXPECT_EQ("", r.out);
  EXPECT_EQ(1, Lines(r.err));

  r = Exec("readable '" + dir_ + "/missing.json'");
  EXPECT_EQ(1, r.exitCode);
  EXPECT_EQ(1, Lines(r.err));

  r = Exec("frobnicate");
  EXPECT_EQ(2, r.exitCode);
  EXPECT_NE(std::string::npos, r.err.find("usage"));

  r = Exec("");
  EXPECT_EQ(2, r.exitCode);

  r = Exec("--help");
  EXPECT_EQ(0, r.exitCode);
  EXPECT_NE(std::string::npos, r.out.find("vxjson compact"));
}
