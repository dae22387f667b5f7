#include "platform/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/CodePage.h"
#include "support/TempFolder.h"
#include "support/TestPaths.h"

namespace {

using quorl::test::TempFolder;

TEST(TIniFile, ReadStringFollowsProfileRules) {
  TempFolder dir;
  const struct {
    const char* what;
    std::string content;
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"plain", "[WSDLCONFIGURE]\nADDRESSTYPE=Y\n", "WSDLCONFIGURE", "ADDRESSTYPE", "Y"},
      {"names ignore case", "[wsdlConfigure]\naddressType=Y\n", "WSDLCONFIGURE", "ADDRESSTYPE", "Y"},
      {"value trimmed", "[S]\n  K  =   v a l \t\n", "S", "K", "v a l"},
      {"quotes removed", "[S]\nK= \" spaced \" \n", "S", "K", " spaced "},
      {"single quote kept", "[S]\nK=\"half\n", "S", "K", "\"half"},
      {"empty value is empty", "[S]\nK=\n", "S", "K", ""},
      {"missing key", "[S]\nOTHER=1\n", "S", "K", "def"},
      {"missing section", "[T]\nK=1\n", "S", "K", "def"},
      {"key in other section", "[T]\nK=1\n[S]\nX=2\n", "S", "K", "def"},
      {"first of duplicate keys", "[S]\nK=1\nK=2\n", "S", "K", "1"},
      {"value after first equals", "[S]\nK=a=b\n", "S", "K", "a=b"},
      {"comments", "[S]\n;K=1\n#K=2\nK=3\n", "S", "K", "3"},
      {"CR LF", "[S]\r\nK=v\r\n", "S", "K", "v"},
      {"CR only", "[S]\rK=v\r", "S", "K", "v"},
      {"BOM", "\xEF\xBB\xBF[S]\nK=v\n", "S", "K", "v"},
      {"no final line break", "[S]\nK=v", "S", "K", "v"},
      {"blanks in header", "[ S ]\nK=v\n", "S", "K", "v"},
      {"text after header", "[S] trailing\nK=v\n", "S", "K", "v"},
      {"odd lines skipped", "[S]\ngarbage\n[unclosed\nK=v\n", "S", "K", "v"},
      {"before any section", "K=v\n[S]\n", "S", "K", "def"},
      {"GBK value", "[S]\nK=\xD6\xD0\xCE\xC4\n", "S", "K", "\xD6\xD0\xCE\xC4"},
      {"GBK trail byte is no letter", "[S]\n\x81\x41=1\n", "S", "\x81\x61", "def"},
      {"empty file", "", "S", "K", "def"},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string file = dir.Write("case" + std::to_string(n++) + ".lic", c.content);
    EXPECT_EQ(TIniFile(file).ReadString(c.section, c.key, "def"), c.expected) << c.what;
  }
}

TEST(TIniFile, UnreadableOrOversizedFileGivesDefault) {
  TempFolder dir;
  EXPECT_EQ(TIniFile(dir.path() + "/absent.lic").ReadString("S", "K", "G"), "G");
  EXPECT_EQ(TIniFile(dir.path()).ReadString("S", "K", "G"), "G");  // a folder

  // A FIFO with no writer would block a plain open; it must give the default.
  const std::string fifo = dir.path() + "/fifo.lic";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(TIniFile(fifo).ReadString("S", "K", "G"), "G");

  std::string big = "[S]\nK=v\n";
  const std::string atLimit = dir.Write("limit.lic", big + std::string(1024 * 1024 - big.size(), ';'));
  EXPECT_EQ(TIniFile(atLimit).ReadString("S", "K", "G"), "v");
  const std::string over = dir.Write("over.lic", big + std::string(1024 * 1024 - big.size() + 1, ';'));
  EXPECT_EQ(TIniFile(over).ReadString("S", "K", "G"), "G");
}

TEST(TIniFile, ReadsTheFileAgainOnEveryCall) {
  TempFolder dir;
  const std::string file = dir.Write("QUORLZELCLIENT.LIC", "[WSDLCONFIGURE]\nADDRESSTYPE=A\n");
  TIniFile ini(file);
  EXPECT_EQ(ini.ReadString("WSDLCONFIGURE", "ADDRESSTYPE", "G"), "A");
  dir.Write("QUORLZELCLIENT.LIC", "[WSDLCONFIGURE]\nADDRESSTYPE=B\n");
  EXPECT_EQ(ini.ReadString("WSDLCONFIGURE", "ADDRESSTYPE", "G"), "B");
  std::filesystem::remove(file);
  EXPECT_EQ(ini.ReadString("WSDLCONFIGURE", "ADDRESSTYPE", "G"), "G");
}

TEST(TIniFile, ReadsWindowsSavedFile) {
  TIniFile ini(quorl::test::DataPath("ini_bom_crlf.lic"));
  EXPECT_EQ(ini.ReadString("WSDLCONFIGURE", "ADDRESSTYPE", "G"), "H");
  EXPECT_EQ(ini.ReadString("wsdlconfigure", "NOTE", ""), "\xBB\xE1\xD4\xB1");
  EXPECT_EQ(ini.ReadString("OTHER", "ADDRESSTYPE", "G"), "");
}

}  // namespace

namespace {

// Encodes UTF-8 text as UTF-16 bytes of the given order, with its byte-order mark.
std::string Utf16File(const std::string& utf8, bool little) {
  std::string out = little ? std::string("\xFF\xFE") : std::string("\xFE\xFF");
  for (char16_t u : quorl::Utf8ToUtf16(utf8)) {
    const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
    out += little ? std::string{lo, hi} : std::string{hi, lo};
  }
  return out;
}

TEST(TIniFile, FindsTheFileIgnoringCaseAndDecodesUtf16) {
  const std::string ini = "[WSDLCONFIGURE]\r\nADDRESSTYPE=H\r\nNAME=会员\r\n";
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;  // name, content
    const char* key;
    std::string expected;
  } cases[] = {
      {"exact name", {{"QUORLZELCLIENT.LIC", ini}}, "ADDRESSTYPE", "H"},
      {"lower-case name", {{"quorlzelclient.lic", ini}}, "ADDRESSTYPE", "H"},
      {"mixed-case name", {{"QuorlZelClient.Lic", ini}}, "ADDRESSTYPE", "H"},
      {"exact name wins",
       {{"quorlzelclient.lic", "[WSDLCONFIGURE]\nADDRESSTYPE=X\n"}, {"QUORLZELCLIENT.LIC", ini}},
       "ADDRESSTYPE",
       "H"},
      {"first in byte order",
       {{"quorlzelclient.lic", "[WSDLCONFIGURE]\nADDRESSTYPE=L\n"},
        {"QuorlZelClient.lic", "[WSDLCONFIGURE]\nADDRESSTYPE=M\n"}},
       "ADDRESSTYPE",
       "M"},
      {"other name", {{"QUORLZELCLIENT.LIC.bak", ini}}, "ADDRESSTYPE", "def"},
      {"UTF-16LE", {{"QUORLZELCLIENT.LIC", Utf16File(ini, true)}}, "NAME", quorl::Utf8ToGbk("会员")},
      {"UTF-16BE", {{"QUORLZELCLIENT.LIC", Utf16File(ini, false)}}, "ADDRESSTYPE", "H"},
      {"UTF-16 with odd last byte",
       {{"QUORLZELCLIENT.LIC", Utf16File(ini, true) + "x"}},
       "NAME",
       quorl::Utf8ToGbk("会员")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder dir;
    for (const auto& [name, content] : c.files) dir.Write(name, content);
    const TIniFile file(dir.path() + "/QUORLZELCLIENT.LIC");
    EXPECT_EQ(file.ReadString("WSDLCONFIGURE", c.key, "def"), c.expected);
  }
}

}  // namespace
