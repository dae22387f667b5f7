// The vxjson program end to end: output bytes, exit codes, stderr lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

class VxjsonTool : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vxjson_test_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
    const char* binaryDir = std::getenv("QUORL_BINARY_DIR");
    tool_ = binaryDir ? std::string(binaryDir) + "/bin/vxjson" : VXJSON_PATH;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Runs the tool with `args`, standard input from `input`.
  ToolRun Exec(const std::string& args, const std::string& input = "") {
    const std::string in = Write("stdin", input);
    const std::string cmd = "'" + tool_ + "' " + args + " <'" + in + "' >'" + dir_ + "/out' 2>'" + dir_ + "/err'";
    const int rc = std::system(cmd.c_str());
    return ToolRun{WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, Slurp(dir_ + "/out"), Slurp(dir_ + "/err")};
  }

  std::string dir_;
  std::string tool_;
};

int Lines(const std::string& s) {
  int n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

}  // namespace

TEST_F(VxjsonTool, CompactFromFileAndReadableFromStdin) {
  const std::string file = Write("a.json", "\xEF\xBB\xBF { \"name\" : \"\\u5f20\" , \"n\" : [1.50, +2] } trailing");
  ToolRun r = Exec("compact '" + file + "'");
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("{\"name\":\"\xE5\xBC\xA0\",\"n\":[1.5,2]}", r.out);  // no newline added
  EXPECT_EQ("", r.err);

  r = Exec("readable", "{\"a\":[1,2],\"b\":{}}");
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("{\r\n  \"a\":[\r\n    1,\r\n    2\r\n  ],\r\n  \"b\":{}\r\n}", r.out);
}

TEST_F(VxjsonTool, FailuresGiveOneLineAndAStatus) {
  ToolRun r = Exec("compact", "[1,,2]");
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("", r.out);
  EXPECT_EQ(1, Lines(r.err));

  r = Exec("readable '" + dir_ + "/missing.json'");
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(1, Lines(r.err));

  r = Exec("frobnicate");
  EXPECT_EQ(2, r.status);
  EXPECT_NE(std::string::npos, r.err.find("usage"));

  r = Exec("");
  EXPECT_EQ(2, r.status);

  r = Exec("--help");
  EXPECT_EQ(0, r.status);
  EXPECT_NE(std::string::npos, r.out.find("vxjson compact"));
}
