#include "huitouke/md5.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/RunProgram.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kEmptyDigest = "d41d8cd98f00b204e9800998ecf8427e";

std::string Hex(std::string_view text) { return MD5Print(MD5String(text)); }

// 'a'..'z' repeated, so that every length gives a different text.
std::string Pattern(size_t length) {
  std::string text(length, ' ');
  for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + i % 26);
  return text;
}

std::string Incremental(const std::vector<std::string_view>& pieces) {
  MD5Context context;
  MD5Init(context);
  for (std::string_view piece : pieces) MD5Update(context, piece.data(), static_cast<uint32_t>(piece.size()));
  MD5Digest digest;
  MD5Final(context, digest);
  return MD5Print(digest);
}

using quorl::test::TempFolder;

TEST(MD5String, GivesTheRfc1321TestSuiteDigests) {
  const struct {
    const char* text;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"1234567890123456789012345678901234567890"
       "1234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) EXPECT_EQ(Hex(c.text), c.digest) << '"' << c.text << '"';
}

TEST(MD5String, GivesKnownDigestsAroundThePaddingBoundaries) {
  const struct {
    size_t length;
    const char* digest;
  } cases[] = {
      {55, "0d7ae056b2f015cd7dc67494efd658f1"},  {56, "31fcfb5165169eb55898e7e4cf34d19a"},
      {57, "fd62afaf3aa1e2a52882cb464f5ccc4d"},  {63, "1b30c0670c15e7da3c2ba7bce77ebe99"},
      {64, "a2eaf6295c32adc403865fd96a2f182b"},  {65, "eba2cce0ca8df47e62414a736b3105a2"},
      {119, "b05187e08da41fa3ef16bd56afaafd99"}, {120, "62af9b597a9f55e16ab2b897387fc052"},
      {127, "f41f37f8b5a7782d5cfeafc43e3d3c1c"}, {128, "3e8c1ccbd71838ef3df4b72e57fb9bf6"},
      {129, "a9ca66cd8dd6b0f6d8cbb6a21bbf5206"},
  };
  for (const auto& c : cases) EXPECT_EQ(Hex(Pattern(c.length)), c.digest) << c.length << " bytes";
}

TEST(MD5String, DigestsTheBytesAsHeldWithoutConversion) {
  // "会员" in GBK; its UTF-8 form has another digest.
  EXPECT_EQ(Hex("\xbb\xe1\xd4\xb1"), "42e635fa982d467cc3b90a2a99c1de58");
  EXPECT_EQ(Hex("\xe4\xbc\x9a\xe5\x91\x98"), "4d9dd5e4987503f3e84976a233398d5a");
  // A zero byte is data, not the end of the text.
  EXPECT_EQ(Hex(std::string("a\0b", 3)), "70350f6027bce3713f6b76473084309b");
}

TEST(MD5String, DigestsAMillionBytes) {
  EXPECT_EQ(Hex(std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(MD5Update, GivesTheSameDigestWhateverTheSplit) {
  const std::string text = Pattern(200);
  const std::string_view all = text;
  const std::string whole = Hex(text);
  for (size_t i = 0; i <= all.size(); ++i) {
    EXPECT_EQ(Incremental({all.substr(0, i), all.substr(i)}), whole) << "split at " << i;
  }
  // Three pieces, so a piece can both complete a buffered block and leave a tail.
  for (size_t i = 0; i <= 130; i += 7) {
    for (size_t j = i; j <= 200; j += 13) {
      EXPECT_EQ(Incremental({all.substr(0, i), all.substr(i, j - i), all.substr(j)}), whole)
          << "split at " << i << " and " << j;
    }
  }
  std::vector<std::string_view> bytes;
  for (size_t i = 0; i < all.size(); ++i) bytes.push_back(all.substr(i, 1));
  EXPECT_EQ(Incremental(bytes), whole) << "one byte at a time";
}

TEST(MD5Update, CarriesTheBitCountIntoTheHighWord) {
  MD5Context context;
  MD5Init(context);
  context.Count[0] = 0xfffffe00u;  // 2^29 - 64 bytes fed, on a block boundary
  const std::string block(64, 'x');
  MD5Update(context, block.data(), 64);
  EXPECT_EQ(context.Count[0], 0u);
  EXPECT_EQ(context.Count[1], 1u);

  MD5Init(context);
  std::vector<char> big((size_t{1} << 29) + 3, 'y');  // 2^32 + 24 bits in one call
  MD5Update(context, big.data(), static_cast<uint32_t>(big.size()));
  EXPECT_EQ(context.Count[0], 24u);
  EXPECT_EQ(context.Count[1], 1u);
}

TEST(MD5Final, LeavesOnlyZerosInTheContext) {
  for (size_t length : {0, 3, 55, 56, 64, 100}) {
    MD5Context context;
    std::memset(&context, 0xa5, sizeof context);
    MD5Init(context);
    const std::string text = Pattern(length);
    MD5Update(context, text.data(), static_cast<uint32_t>(text.size()));
    MD5Digest digest;
    MD5Final(context, digest);
    const auto* raw = reinterpret_cast<const unsigned char*>(&context);
    EXPECT_EQ(std::count(raw, raw + sizeof context, 0), static_cast<long>(sizeof context))
        << length << " bytes";
    EXPECT_EQ(MD5Print(digest), Hex(text));
  }
}

TEST(MD5Print, WritesLowercaseHexHighHalfFirst) {
  const MD5Digest digest = {0x00, 0x01, 0x0a, 0x10, 0x7f, 0x80, 0x9b, 0xa0,
                            0xab, 0xc5, 0xde, 0xef, 0xf0, 0xfa, 0xfe, 0xff};
  EXPECT_EQ(MD5Print(digest), "00010a107f809ba0abc5deeff0fafeff");
}

TEST(MD5Match, ComparesAllSixteenBytes) {
  const MD5Digest d = MD5String("abc");
  EXPECT_TRUE(MD5Match(d, d));
  EXPECT_TRUE(MD5Match(d, MD5String("abc")));
  for (size_t i : {0, 7, 15}) {
    MD5Digest other = d;
    other[i] ^= 0x01;
    EXPECT_FALSE(MD5Match(d, other)) << "byte " << i;
  }
}

TEST(MD5File, DigestsTheWholeFile) {
  TempFolder dir;
  std::string contents(1000, '\0');
  for (size_t i = 0; i < contents.size(); ++i) contents[i] = static_cast<char>(i % 251);
  const std::string name = dir.Write("data.bin", contents);
  EXPECT_EQ(MD5Print(MD5File(name)), "a24f1e3ef66950e1327f210e3997ba2c");
  EXPECT_EQ(MD5Print(MD5File(dir.Write("abc.txt", "abc"))), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(MD5File, GivesTheEmptyDigestForWhatItCannotMap) {
  TempFolder dir;
  const std::string empty = dir.Write("empty", "");
  const std::string present = dir.Write("present", "abc");
  const std::string fifo = dir.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    const char* what;
    std::string name;
  } cases[] = {
      {"missing file", dir.File("missing")},
      {"empty file", empty},
      {"directory", dir.path()},
      {"named pipe without a writer", fifo},
      {"empty name", ""},
      {"name with a zero byte", present + std::string(1, '\0') + "x"},
  };
  for (const auto& c : cases) EXPECT_EQ(MD5Print(MD5File(c.name)), kEmptyDigest) << c.what;
}

TEST(MD5File, DigestsFilesOfFourGibibytesAndMoreWhole) {
  // A sparse file: 2^32 zero bytes, then 5 more. Feeding only the low 32
  // bits of the size would digest just the first 5 zero bytes.
  TempFolder dir;
  const std::string name = dir.File("big");
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  const bool written = ftruncate(fd, off_t{1} << 32) == 0 && pwrite(fd, "tail!", 5, off_t{1} << 32) == 5;
  close(fd);
  if (!written) GTEST_SKIP() << "no room for a sparse file of 4 GiB here";
  const std::string digest = MD5Print(MD5File(name));
  EXPECT_NE(digest, "ca9c491ac66b2c62500882e93f3719a8");
  EXPECT_EQ(digest, "a37ef9312d1792bed4281939772ad827");
}

using ToolResult = quorl::test::Result;

// Runs the built md5print, in the folder workDir when one is given.
ToolResult RunMd5print(const std::vector<std::string>& args, const std::string& workDir = "") {
  return quorl::test::RunProgram(quorl::test::BinaryDir() + "/bin/md5print", args,
                                 quorl::test::RunOptions().WorkDir(workDir));
}

TEST(Md5printTool, PrintsTheDigestOfATextsBytes) {
  const ToolResult abc = RunMd5print({"-s", "abc"});
  EXPECT_EQ(abc.exitCode, 0);
  EXPECT_EQ(abc.out, "900150983cd24fb0d6963f7d28e17f72\n");
  EXPECT_EQ(abc.err, "");

  EXPECT_EQ(RunMd5print({"-s", ""}).out, std::string(kEmptyDigest) + "\n");
  EXPECT_EQ(RunMd5print({"-s", "\xbb\xe1\xd4\xb1"}).out, "42e635fa982d467cc3b90a2a99c1de58\n");
}

TEST(Md5printTool, PrintsFileLinesAndReportsFilesItCannotRead) {
  TempFolder dir;
  const std::string abc = dir.Write("abc.txt", "abc");
  const std::string empty = dir.Write("empty", "");
  const std::string missing = dir.File("missing");
  const ToolResult r = RunMd5print({abc, missing, dir.path(), empty});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "900150983cd24fb0d6963f7d28e17f72  " + abc + "\n" + kEmptyDigest + "  " + empty + "\n");
  EXPECT_EQ(r.err, "md5print: " + missing + ": No such file or directory\n" + "md5print: " + dir.path() +
                       ": Is a directory\n");
}

TEST(Md5printTool, EscapesNamesAsMd5sumDoes) {
  TempFolder dir;
  const std::string odd = dir.Write("a\\b\nc", "abc");
  std::string shown = odd;
  shown.replace(shown.find('\\'), 1, "\\\\");
  shown.replace(shown.find('\n'), 1, "\\n");
  EXPECT_EQ(RunMd5print({odd}).out, "\\900150983cd24fb0d6963f7d28e17f72  " + shown + "\n");
  // After "--" a name that looks like an option is a file name.
  dir.Write("-s", "abc");
  const ToolResult r = RunMd5print({"--", "-s"}, dir.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "900150983cd24fb0d6963f7d28e17f72  -s\n");
}

TEST(Md5printTool, RejectsWrongArgumentsWithOneLine) {
  const std::vector<std::vector<std::string>> cases = {{},     {"-s"}, {"-s", "a", "b"},
                                                       {"-x"}, {"--"}, {"file", "--bogus"}};
  for (const auto& args : cases) {
    const ToolResult r = RunMd5print(args);
    EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(args);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  const ToolResult help = RunMd5print({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("usage: md5print -s TEXT"), std::string::npos);
}

}  // namespace
