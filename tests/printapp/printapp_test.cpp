// PrintApp.exe end to end: the built program copied into a temporary
// MemberPrint_vrisk/ folder (it finds everything beside itself), a GBK
// Print.xml written there, the PDF checked with poppler's tools and lp
// replaced by a script on PATH that records its arguments. The program is
// also run with the standard outputs a host may leave it: a pipe nobody reads
// any more, closed descriptors, a full device.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "support/RunProgram.h"

namespace {

namespace fs = std::filesystem;
using quorl::test::Lines;
using quorl::test::Quote;
using quorl::test::ReadFile;
using quorl::test::Result;
using quorl::test::RunProgram;
using Events = std::vector<std::string>;

// What a host may have left on the program's stdout and stderr.
enum class Streams { kCaptured, kBrokenPipe, kClosed, kFull, kStalledPipe };

constexpr const char* kValueNames[] = {"MC_Time",      "MC_PriceSum",    "MC_CostType",      "MC_Cost",
                                       "MC_MemberID",  "MC_Discount",    "MC_bPost",         "MC_Address",
                                       "MC_UserName",  "MC_PhoneNumber", "MC_PostMemo",      "MC_Creater",
                                       "MC_WareCode",  "MC_WareName",    "MC_WareTime",      "MC_PlaceName",
                                       "MC_OrderCode", "MC_OrderSource", "MC_SaleClassName", "MC_InvoiceHead",
                                       "MC_Isonecard", "MC_Group",       "MC_ProduceGroup"};

struct Line {
  std::string level, price, count, sum;
};

std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
  return out;
}

// A document as the package writes it (UTF-8 here; stored as GBK), the
// example values of the format description changed by `values`.
std::string Document(std::map<std::string, std::string> values, const std::vector<Line>& lines) {
  const std::map<std::string, std::string> example = {{"MC_Time", "2024-06-01 19:05:00"},
                                                      {"MC_PriceSum", "120.00"},
                                                      {"MC_CostType", "1"},
                                                      {"MC_Cost", "108.00"},
                                                      {"MC_MemberID", "1001"},
                                                      {"MC_Discount", "0.9"},
                                                      {"MC_bPost", "1"},
                                                      {"MC_UserName", "朱镕基"},
                                                      {"MC_PhoneNumber", "13800000000"},
                                                      {"MC_Creater", "op01"},
                                                      {"MC_WareCode", "F0001"},
                                                      {"MC_WareName", "电影票"},
                                                      {"MC_WareTime", "2024-06-01 19:30"},
                                                      {"MC_PlaceName", "一号厅"},
                                                      {"MC_OrderCode", "O20240601001"},
                                                      {"MC_OrderSource", "till"},
                                                      {"MC_SaleClassName", "member"},
                                                      {"MC_Isonecard", "0"},
                                                      {"MC_Group", "G1"},
                                                      {"MC_ProduceGroup", "G1"}};
  for (const auto& [name, value] : example) values.emplace(name, value);
  std::string xml = "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<MemberConsume>\n";
  for (const char* name : kValueNames)
    xml += std::string("  <") + name + ">" + Escape(values[name]) + "</" + name + ">\n";
  for (const Line& l : lines)
    xml += "  <Consume>\n    <CL_PriceLevel>" + Escape(l.level) + "</CL_PriceLevel>\n    <CL_WarePrice>" +
           l.price + "</CL_WarePrice>\n    <CL_WareNum>" + l.count + "</CL_WareNum>\n    <CL_CostSum>" +
           l.sum + "</CL_CostSum>\n  </Consume>\n";
  return xml + "</MemberConsume>\n";
}

const std::vector<Line> kTwoLines = {{"A", "40.00", "2", "80.00"}, {"学生票", "20.00", "2", "40.00"}};

// Columns on a till printer, counted strictly: printable ASCII one, any
// other character two.
int Columns(const std::string& utf8) {
  int n = 0;
  for (unsigned char c : utf8)
    if (c < 0x80)
      n += 1;
    else if (c >= 0xC0)
      n += 2;
  return n;
}

std::string WithoutBlanks(std::string s) {
  s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\n'; }), s.end());
  return s;
}

class PrintApp : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path built = fs::path(quorl::test::BinaryDir()) / "bin/MemberPrint_vrisk/PrintApp.exe";
    ASSERT_TRUE(fs::exists(built)) << built;
    dir_ = root_ / "MemberPrint_vrisk";
    fs::create_directories(dir_);
    fs::create_directories(root_ / "fakebin");
    fs::copy_file(built, dir_ / "PrintApp.exe");
  }
  void WriteFile(const fs::path& path, const std::string& bytes) { quorl::test::WriteFile(path, bytes); }
  void WriteDocument(const std::string& utf8) { WriteFile(dir_ / "Print.xml", quorl::Utf8ToGbk(utf8)); }

  // A fake lp first on PATH: records its arguments one a line, says
  // something on stderr and exits with `status`.
  void FakeLp(int status) {
    const fs::path lp = root_ / "fakebin/lp";
    WriteFile(lp, "#!/bin/sh\nprintf '%s\\n' \"$@\" > " + Quote((root_ / "lp.args").string()) +
                      "\necho 'lp: The printer or class does not exist.' >&2\nexit " +
                      std::to_string(status) + "\n");
    fs::permissions(lp, fs::perms::owner_all);
  }

  // Runs from the root folder (never its own), with the fake lp on PATH.
  Result Run(std::vector<std::string> args) {
    const char* path = std::getenv("PATH");
    args.insert(args.begin(), {"-C", root_.string(),
                               "PATH=" + (root_ / "fakebin").string() + ":" + (path ? path : "/usr/bin:/bin"),
                               (dir_ / "PrintApp.exe").string()});
    return RunProgram("/usr/bin/env", args);
  }

  // Runs the program with -h as Run does, with stdout and stderr both set up
  // as `streams`, XDG_RUNTIME_DIR as given (by default none), and SIGPIPE at
  // its default as a host that never touched it leaves it. The outputs are
  // returned when captured.
  Result RunWith(Streams streams, const std::optional<fs::path>& runtimeDir = std::nullopt) {
    const char* path = std::getenv("PATH");
    std::vector<std::string> words = {
        "/usr/bin/env",
        "-C",
        root_.string(),
        "-u",
        "XDG_RUNTIME_DIR",
        "PATH=" + (root_ / "fakebin").string() + ":" + (path ? path : "/usr/bin:/bin"),
        (dir_ / "PrintApp.exe").string(),
        "-h"};
    if (runtimeDir) words.insert(words.begin() + 5, "XDG_RUNTIME_DIR=" + runtimeDir->string());
    const std::string out = (root_ / "stdout").string(), err = (root_ / "stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    int pipe[2] = {-1, -1};
    switch (streams) {
      case Streams::kCaptured:
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        break;
      case Streams::kBrokenPipe:
      case Streams::kStalledPipe:
        EXPECT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
        if (streams == Streams::kBrokenPipe) {
          ::close(pipe[0]);
          pipe[0] = -1;
        } else {
          // Full before the program starts, and nobody reads it.
          ::fcntl(pipe[1], F_SETFL, O_NONBLOCK);
          const std::string block(4096, 'x');
          while (::write(pipe[1], block.data(), block.size()) > 0) {
          }
          ::fcntl(pipe[1], F_SETFL, 0);
        }
        posix_spawn_file_actions_adddup2(&actions, pipe[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipe[1], 2);
        break;
      case Streams::kClosed:
        posix_spawn_file_actions_addclose(&actions, 1);
        posix_spawn_file_actions_addclose(&actions, 2);
        break;
      case Streams::kFull:
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/full", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/full", O_WRONLY, 0);
        break;
    }
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &pipeSignal);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    Result r;
    if (posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ) != 0) {
      ADD_FAILURE() << "cannot start " << words[0];
      pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (pipe[1] >= 0) ::close(pipe[1]);
    int status = -1;
    if (pid > 0 &&
        !quorl::test::WaitUntil(pid, std::chrono::steady_clock::now() + std::chrono::seconds(20), status)) {
      status = quorl::test::EndProcess(pid, SIGKILL, std::chrono::milliseconds(0));
      ADD_FAILURE() << "PrintApp.exe did not end within 20 s";
    }
    if (pipe[0] >= 0) ::close(pipe[0]);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (streams == Streams::kCaptured) {
      r.out = ReadFile(out);
      r.err = ReadFile(err);
    }
    return r;
  }

  // The log's lines, each checked for its time stamp and returned without it.
  Events LogEvents() const {
    Events events;
    for (const std::string& line : Lines(ReadFile(dir_ / "PrintApp.log"))) {
      EXPECT_TRUE(line.size() > 20 && line[4] == '-' && line[13] == ':' && line[19] == ' ') << line;
      events.push_back(line.substr(std::min<std::size_t>(20, line.size())));
    }
    return events;
  }

  // The paths of the one receipt in receipts/, PDF first.
  std::vector<std::string> ReceiptPaths() const {
    std::vector<std::string> paths;
    for (const std::string& name : Receipts()) paths.push_back((dir_ / "receipts" / name).string());
    EXPECT_EQ(paths.size(), 2u);
    return paths;
  }

  // The log of a receipt written and handed to Till-1.
  Events Printed(const std::vector<std::string>& receipt) const {
    if (receipt.size() != 2) return {};
    return {"wrote " + receipt[0] + " and " + receipt[1],
            "handed " + receipt[0] + " to the print queue Till-1"};
  }

  // Clears what a run leaves, for the next case.
  void Reset() {
    fs::remove_all(dir_ / "receipts");
    fs::remove_all(dir_ / "PrintApp.log");
    fs::remove(dir_ / "PrintApp.log.1");
    fs::remove(root_ / "lp.args");
  }

  std::vector<std::string> Receipts() const {
    std::vector<std::string> names;
    if (fs::exists(dir_ / "receipts"))
      for (const auto& e : fs::directory_iterator(dir_ / "receipts")) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  const quorl::test::TempFolder folder_{"quorl-printapp-"};
  const fs::path root_ = folder_.path();
  fs::path dir_;
};

// Checks a successful run: two paths on stdout, both files in receipts/, text
// lines within 48 columns, the PDF readable and drawable. Returns the
// receipt's text and the PDF's text.
void ExpectReceipt(const Result& r, const fs::path& dir, std::string& text, std::string& pdfText) {
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::vector<std::string> paths = Lines(r.out);
  ASSERT_EQ(paths.size(), 2u) << r.out;
  const fs::path pdf = paths[0], txt = paths[1];
  EXPECT_EQ(pdf.parent_path(), dir / "receipts");
  EXPECT_EQ(txt.parent_path(), dir / "receipts");
  EXPECT_EQ(pdf.extension(), ".pdf");
  EXPECT_EQ(txt.extension(), ".txt");
  EXPECT_EQ(pdf.stem(), txt.stem());
  EXPECT_EQ(ReadFile(pdf).substr(0, 5), "%PDF-");
  text = ReadFile(txt);
  for (const std::string& line : Lines(text)) EXPECT_LE(Columns(line), 48) << "'" << line << "'";
  EXPECT_EQ(RunProgram({"pdftotext", "-enc", "UTF-8", pdf.string(), (dir / "pdf.txt").string()}).exitCode, 0);
  pdfText = ReadFile(dir / "pdf.txt");
  EXPECT_EQ(RunProgram(
                {"pdftoppm", "-png", "-r", "50", "-f", "1", "-l", "1", pdf.string(), (dir / "page").string()})
                .exitCode,
            0);
  EXPECT_EQ(ReadFile(dir / "page-1.png").substr(0, 4), "\x89PNG");
}

TEST_F(PrintApp, WritesPdfAndTextReceiptFromGbkDocument) {
  WriteDocument(Document({}, kTwoLines));
  std::string text, pdfText;
  ExpectReceipt(Run({}), dir_, text, pdfText);
  // 镕 exists in GBK but not in GB2312, the name the declaration uses.
  for (const char* want :
       {"会员消费凭条", "订单号", "O20240601001", "会员", "朱镕基", "13800000000", "电影票", "一号厅",
        "学生票", "20.00", "40.00", "合计", "120.00", "实付", "108.00", "谢谢惠顾"}) {
    EXPECT_NE(text.find(want), std::string::npos) << "text: " << want;
    EXPECT_NE(pdfText.find(want), std::string::npos) << "pdf: " << want;
  }
  const std::vector<std::string> paths = ReceiptPaths();
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(LogEvents(), Events{"wrote " + paths[0] + " and " + paths[1]});

  // Printed again within the same second: a second pair, the first untouched.
  const std::vector<std::string> first = Receipts();
  ASSERT_EQ(first.size(), 2u);
  const std::string firstPdf = ReadFile(dir_ / "receipts" / first[0]);
  ASSERT_EQ(Run({}).exitCode, 0);
  ASSERT_EQ(Run({}).exitCode, 0);
  const std::vector<std::string> all = Receipts();
  EXPECT_EQ(all.size(), 6u);  // and no temporary file left behind
  for (const std::string& name : all) EXPECT_NE(name.front(), '.') << name;
  EXPECT_EQ(ReadFile(dir_ / "receipts" / first[0]), firstPdf);
}

TEST_F(PrintApp, LaysOutAnyDocumentWithin48Columns) {
  const std::string longName(30, 'X');
  struct Case {
    const char* what;
    std::string document;
    std::vector<std::string> inText;  // each must survive wrapping, blanks aside
    std::string stemPrefix;
  };
  const std::vector<Case> cases = {
      {"long Chinese values",
       Document({{"MC_UserName", "欧阳长长长长长长长长长长长长长长长长长长长长长长长长长名字"},
                 {"MC_PlaceName", "一号厅（IMAX 激光巨幕 杜比全景声 超长超长超长的名字）"}},
                {{"学生票（周末优惠场次特别价格，仅限持学生证的会员购买）", "20.00", "2", "40.00"}}),
       {"欧阳长长长长长长长长长长长长长长长长长长长长长长长长长名字",
        "学生票（周末优惠场次特别价格，仅限持学生证的会员购买）"},
       "O20240601001-"},
      {"amounts too wide for their columns",
       Document({{"MC_PriceSum", "123456789012345678901234567890123456789012345678901234.00"}},
                {{"VIP票", "1234567890123.00", "99999999999", "12345678901234567890.00"}}),
       {"123456789012345678901234567890123456789012345678901234.00", "VIP票", "1234567890123.00",
        "12345678901234567890.00"},
       "O20240601001-"},
      {"order code unfit for a file name, line breaks in values",
       Document({{"MC_OrderCode", "../../etc/" + longName + " " + longName + "/<x>"},
                 {"MC_Address", "北京市\n朝阳区\t某某路 1 号"}},
                kTwoLines),
       {"../../etc/" + longName + longName + "/<x>", "北京市朝阳区某某路1号"},
       "_._.._etc_"},
      {"incomplete document: no ticket lines, no order code",
       "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<MemberConsume>\n  <MC_Time>2024-06-01</MC_Time>\n"
       "  <MC_PriceSum>80.00</MC_PriceSum>\n  <MC_Discount/>\n</MemberConsume>\n",
       {"合计", "80.00"},
       "receipt-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir_ / "receipts");
    WriteDocument(c.document);
    const Result r = Run({});
    std::string text, pdfText;
    ExpectReceipt(r, dir_, text, pdfText);
    for (const std::string& want : c.inText)
      EXPECT_NE(WithoutBlanks(text).find(want), std::string::npos) << want << "\n" << text;
    const std::vector<std::string> names = Receipts();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0].rfind(c.stemPrefix, 0), 0u) << names[0];
    EXPECT_LE(names[0].size(), 64u + 25u);
  }
}

TEST_F(PrintApp, UnreadableDocumentLogsOneLineAndFails) {
  const std::string valid = Document({}, kTwoLines);
  struct Case {
    const char* what;
    std::optional<std::string> gbkBytes;  // none: no Print.xml, or a folder of that name
    bool directory = false;
  };
  const std::vector<Case> cases = {
      {"missing", std::nullopt},
      {"a folder", std::nullopt, true},
      {"empty file", ""},
      {"not well-formed", quorl::Utf8ToGbk(valid.substr(0, valid.size() / 2))},
      {"another document element", "<?xml version=\"1.0\"?>\n<CheckTicket><MC_Time/></CheckTicket>\n"},
      {"DOCTYPE",
       "<?xml version=\"1.0\"?>\n<!DOCTYPE MemberConsume [<!ENTITY x \"y\">]>\n<MemberConsume/>\n"},
      {"over 4 MiB", "<MemberConsume><!--" + std::string(4 * 1024 * 1024, 'x') + "--></MemberConsume>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir_ / "Print.xml");
    fs::remove(dir_ / "PrintApp.log");
    if (c.directory)
      fs::create_directory(dir_ / "Print.xml");
    else if (c.gbkBytes)
      WriteFile(dir_ / "Print.xml", *c.gbkBytes);
    const Result r = Run({"-h"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    const std::vector<std::string> log = Lines(ReadFile(dir_ / "PrintApp.log"));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].size() > 20 && log[0][4] == '-' && log[0][13] == ':', true) << log[0];
    EXPECT_NE(log[0].find("Print.xml"), std::string::npos) << log[0];
    EXPECT_TRUE(Receipts().empty());
  }
}

TEST_F(PrintApp, HandsThePdfToTheConfiguredPrinterOnlyWithH) {
  struct Case {
    const char* what;
    const char* ini;  // nullptr: no PrintApp.ini
    std::vector<std::string> args;
    int lpStatus;
    bool lpCalled;
    int exitCode;
    std::string logged;  // after the receipt's line; PDF stands for its path
  };
  const std::string noPrinter = "not printed: no printer named in " + (dir_ / "PrintApp.ini").string();
  const std::vector<Case> cases = {
      {"printer and -h",
       "[Printer]\nName=Till-1\n",
       {"-h"},
       0,
       true,
       0,
       "handed PDF to the print queue Till-1"},
      {"names are case-blind",
       "; till 1\n[printer]\r\nname = Till-1 \r\n",
       {"-h"},
       0,
       true,
       0,
       "handed PDF to the print queue Till-1"},
      {"printer without -h", "[Printer]\nName=Till-1\n", {}, 0, false, 0, ""},
      {"-h without an INI file", nullptr, {"-h"}, 0, false, 0, noPrinter},
      {"-h with an empty name", "[Printer]\nName=\n", {"-h"}, 0, false, 0, noPrinter},
      {"lp fails",
       "[Printer]\nName=Till-1\n",
       {"-h"},
       1,
       true,
       1,
       "cannot print PDF: lp -d Till-1 failed with status 1: lp: The printer or class does not exist."},
  };
  WriteDocument(Document({}, kTwoLines));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Reset();
    fs::remove(dir_ / "PrintApp.ini");
    if (c.ini) WriteFile(dir_ / "PrintApp.ini", c.ini);
    FakeLp(c.lpStatus);
    const Result r = Run(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    // The receipt is written whether or not printing works.
    const std::vector<std::string> paths = Lines(r.out);
    ASSERT_EQ(paths.size(), 2u) << r.out;
    EXPECT_EQ(ReceiptPaths(), paths);
    if (c.lpCalled)
      EXPECT_EQ(Lines(ReadFile(root_ / "lp.args")), (std::vector<std::string>{"-d", "Till-1", paths[0]}));
    else
      EXPECT_FALSE(fs::exists(root_ / "lp.args"));
    Events logged = {"wrote " + paths[0] + " and " + paths[1]};
    if (!c.logged.empty()) {
      std::string line = c.logged;
      if (const auto at = line.find("PDF"); at != std::string::npos) line.replace(at, 3, paths[0]);
      logged.push_back(line);
    }
    EXPECT_EQ(LogEvents(), logged);
    // A failure is also said on stderr.
    if (c.exitCode != 0) {
      EXPECT_NE(r.err.find("PrintApp: " + logged.back() + "\n"), std::string::npos) << r.err;
    }
  }
}

// Whatever the host left on stdout and stderr, the receipt is written, handed
// to the print queue and logged, and the program ends in time with status 0.
TEST_F(PrintApp, PrintsWhateverTheHostLeftOnItsOutputs) {
  struct Case {
    const char* what;
    Streams streams;
  };
  const std::vector<Case> cases = {
      {"a pipe whose reader has gone", Streams::kBrokenPipe},
      {"closed descriptors", Streams::kClosed},
      {"a full device", Streams::kFull},
      {"a full pipe nobody reads", Streams::kStalledPipe},
      {"files", Streams::kCaptured},
  };
  WriteDocument(Document({}, kTwoLines));
  WriteFile(dir_ / "PrintApp.ini", "[Printer]\nName=Till-1\n");
  FakeLp(0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Reset();
    const Result r = RunWith(c.streams);
    EXPECT_EQ(r.exitCode, 0);
    const std::vector<std::string> receipt = ReceiptPaths();
    ASSERT_EQ(receipt.size(), 2u);
    EXPECT_EQ(Lines(ReadFile(root_ / "lp.args")), (std::vector<std::string>{"-d", "Till-1", receipt[0]}));
    EXPECT_EQ(LogEvents(), Printed(receipt));
    // Nothing of the program's output went into a file it opened itself.
    EXPECT_EQ(ReadFile(receipt[1]).find(receipt[0]), std::string::npos);
    if (c.streams == Streams::kCaptured) {
      EXPECT_EQ(Lines(r.out), receipt);
      EXPECT_EQ(r.err.find("XDG_RUNTIME_DIR"), std::string::npos) << r.err;
    }
  }
}

// A till's host often runs without a login session: whatever its runtime
// folder (none, gone, open to others, a file), Qt's notice about it never
// reaches the host's stderr, which stays empty after a receipt was printed.
TEST_F(PrintApp, SaysNothingOnStderrWhateverTheRuntimeFolder) {
  struct Case {
    const char* what;
    bool set;
    void (*make)(const fs::path& runtime);
  };
  const std::vector<Case> cases = {
      {"not set", false, [](const fs::path&) {}},
      {"set to a missing folder", true, [](const fs::path&) {}},
      {"set to a folder others may read", true,
       [](const fs::path& runtime) {
         fs::create_directory(runtime);
         fs::permissions(runtime, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
       }},
      {"set to a file", true, [](const fs::path& runtime) { quorl::test::WriteFile(runtime, "x"); }},
  };
  WriteDocument(Document({}, kTwoLines));
  WriteFile(dir_ / "PrintApp.ini", "[Printer]\nName=Till-1\n");
  FakeLp(0);
  const fs::path runtime = root_ / "runtime";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Reset();
    fs::remove_all(runtime);
    c.make(runtime);
    const Result r = RunWith(Streams::kCaptured, c.set ? std::optional<fs::path>(runtime) : std::nullopt);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Lines(r.out), ReceiptPaths());
    EXPECT_EQ(LogEvents(), Printed(ReceiptPaths()));
  }
}

// A log that cannot be written is reported once on stderr; printing goes on.
TEST_F(PrintApp, PrintsWhenItsLogCannotBeWritten) {
  struct Case {
    const char* what;
    void (*make)(const fs::path& log);
  };
  const std::vector<Case> cases = {
      {"a folder", [](const fs::path& log) { fs::create_directory(log); }},
      {"a FIFO nobody reads", [](const fs::path& log) { ASSERT_EQ(::mkfifo(log.c_str(), 0644), 0); }},
      {"a full device", [](const fs::path& log) { fs::create_symlink("/dev/full", log); }},
  };
  WriteDocument(Document({}, kTwoLines));
  WriteFile(dir_ / "PrintApp.ini", "[Printer]\nName=Till-1\n");
  FakeLp(0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Reset();
    c.make(dir_ / "PrintApp.log");
    const Result r = RunWith(Streams::kCaptured);
    EXPECT_EQ(r.exitCode, 0);
    const std::vector<std::string> receipt = ReceiptPaths();
    ASSERT_EQ(receipt.size(), 2u);
    EXPECT_EQ(Lines(r.out), receipt);
    EXPECT_EQ(Lines(ReadFile(root_ / "lp.args")), (std::vector<std::string>{"-d", "Till-1", receipt[0]}));
    const std::string said = "PrintApp: cannot write " + (dir_ / "PrintApp.log").string() + "\n";
    EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(said), r.err.rfind(said)) << "said more than once: " << r.err;
  }
}

// Past 1 MiB the log moves to PrintApp.log.1 (replacing an older one) once,
// and the next lines start a new log.
TEST_F(PrintApp, RotatesALogPastOneMiBOnce) {
  const std::string full(1024 * 1024 + 1, 'x');
  WriteFile(dir_ / "PrintApp.log.1", "older\n");
  WriteFile(dir_ / "PrintApp.log", full);
  WriteDocument(Document({}, kTwoLines));
  ASSERT_EQ(Run({}).exitCode, 0);
  ASSERT_EQ(Run({}).exitCode, 0);
  EXPECT_EQ(ReadFile(dir_ / "PrintApp.log.1"), full);
  const Events events = LogEvents();
  ASSERT_EQ(events.size(), 2u);
  for (const std::string& e : events) EXPECT_EQ(e.rfind("wrote ", 0), 0u) << e;
}

TEST_F(PrintApp, CommandLine) {
  Result r = Run({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("usage: PrintApp.exe"), std::string::npos);
  EXPECT_NE(r.out.find("PrintApp.ini"), std::string::npos);
  WriteDocument(Document({}, kTwoLines));
  r = Run({"-x"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("-x"), std::string::npos);
  EXPECT_TRUE(Receipts().empty());
}

}  // namespace
