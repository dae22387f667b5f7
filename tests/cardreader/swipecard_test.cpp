// The swipe-card dialog and the reader binding, against the simulated reader
// library loaded with dlopen as a till loads the real one.
#include "cardreader/swipecard.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cardreader/ReaderLibrary.h"
#include "cardreader/drv_unit.h"
#include "host/WarningMessage.h"
#include "huitouke/md5.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

// One application object for the whole program, as a host has.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "cardreader";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

std::string Hex(const std::string& bytes) { return Tswpcard::StringToHex(bytes); }

// The card's 32 data bytes as the two blocks' lines of a card file.
std::string Blocks(const std::string& data) {
  const std::string hex = Hex(data);
  return "block13 = " + hex.substr(0, 32) + "\nblock14 = " + hex.substr(32, 32) + "\n";
}

std::string Padded(const std::string& number) { return number + std::string(32 - number.size(), '$'); }

class SwipeCard : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORL_CARDREADER_CARD", (dir_ / "card.txt").c_str(), 1);
    setenv("QUORL_CARDREADER_LOG", (dir_ / "calls.log").c_str(), 1);
    quorl::SetReaderLibraryPath(std::string());
    quorl::SetWarningHandler([this](const std::string& message, const std::string&) {
      warnings_.push_back(quorl::GbkToUtf8(message));
    });
    drv_unit::icdev = 0;
    drv_unit::st = 0;
    dialog_ = std::make_unique<Tswpcard>();
    swipecard::swpcard = dialog_.get();
  }
  void TearDown() override {
    dialog_.reset();
    quorl::SetWarningHandler(nullptr);
    quorl::SetReaderLibraryPath(std::string());
  }

  void Card(const std::string& text) { std::ofstream(dir_ / "card.txt") << text; }

  // The calls the reader saw, as "function -> status" without arguments.
  std::vector<std::string> Calls() {
    std::ifstream in(dir_ / "calls.log");
    std::vector<std::string> calls;
    for (std::string line; std::getline(in, line);) {
      const size_t arrow = line.find(" -> ");
      const std::string result = line.substr(arrow + 4, line.find(' ', arrow + 4) - arrow - 4);
      calls.push_back(line.substr(0, line.find(' ')) + " " + result);
    }
    fs::remove(dir_ / "calls.log");
    return calls;
  }

  const quorl::test::TempFolder folder_{"swipecard-"};
  const fs::path dir_ = folder_.path();
  std::vector<std::string> warnings_;
  std::unique_ptr<Tswpcard> dialog_;
};

const std::string kCardHead = "serial = 3735928559\nkey = 5a3e9c01b7d4\n";
const std::vector<std::string> kOpen = {"dc_init 3", "dc_card 0", "dc_beep 0",
                                        "dc_authentication_pass_hex 0"};
const std::vector<std::string> kClose = {"dc_reset 0", "dc_exit 0"};

std::vector<std::string> Seq(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct ReadCase {
  const char* name;
  std::string card;    // card file text
  std::string cardno;  // expected cardno (GBK)
  std::string snr;     // expected snr and cardid
  std::vector<std::string> calls;
  bool shown;  // Button3Click shows the number and moves the focus
};

TEST_F(SwipeCard, ReadsFollowTheReaderSequenceAndAlwaysCloseTheReader) {
  const std::string gbkNumber = quorl::Utf8ToGbk("会员A1");
  const ReadCase cases[] = {
      {"padded number", kCardHead + Blocks(Padded("12345678")), "12345678", "3735928559",
       Seq({kOpen, {"dc_read_hex 0", "dc_read_hex 0"}, kClose}), true},
      {"no padding", kCardHead + Blocks("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"),
       "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", "3735928559",
       Seq({kOpen, {"dc_read_hex 0", "dc_read_hex 0"}, kClose}), true},
      {"dollar inside the number", kCardHead + Blocks(Padded("12$34")), "12$34", "3735928559",
       Seq({kOpen, {"dc_read_hex 0", "dc_read_hex 0"}, kClose}), true},
      {"GBK number", kCardHead + Blocks(Padded(gbkNumber)), gbkNumber, "3735928559",
       Seq({kOpen, {"dc_read_hex 0", "dc_read_hex 0"}, kClose}), true},
      {"all dollars", kCardHead + Blocks(std::string(32, '$')), "", "3735928559",
       Seq({kOpen, {"dc_read_hex 0", "dc_read_hex 0"}, kClose}), false},
      {"wrong key",
       "serial = 42\nkey = 000000000000\n" + Blocks(Padded("1")),
       "",
       "42",
       {"dc_init 3", "dc_card 0", "dc_beep 0", "dc_authentication_pass_hex 2", "dc_reset 0", "dc_exit 0"},
       false},
      {"block 14 missing", kCardHead + "block13 = " + Hex(Padded("1")).substr(0, 32) + "\n", "", "3735928559",
       Seq({kOpen, {"dc_read_hex 0", "dc_read_hex 3"}, kClose}), false},
      {"block 13 missing", kCardHead + "block14 = " + Hex(Padded("1")).substr(32) + "\n", "", "3735928559",
       Seq({kOpen, {"dc_read_hex 3"}, kClose}), false},
      {"no card", "card = none\n", "", "", {"dc_init 3", "dc_card 1", "dc_reset 0", "dc_exit 0"}, false},
  };
  for (const ReadCase& c : cases) {
    for (const bool visible : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (visible ? " (Button3)" : " (Button4)"));
      Card(c.card);
      dialog_->cardno = "old";
      dialog_->snr = dialog_->cardid = "";
      dialog_->Edit2->setText(QStringLiteral("shown before"));
      dialog_->Button1->setFocus();
      Calls();
      if (visible)
        dialog_->Button3Click();
      else
        dialog_->Button4Click();
      EXPECT_EQ(dialog_->cardno, c.cardno);
      EXPECT_EQ(dialog_->snr, c.snr);
      EXPECT_EQ(dialog_->cardid, c.snr);
      EXPECT_EQ(Calls(), c.calls);
      EXPECT_EQ(drv_unit::icdev, -1);
      const bool shows = visible && c.shown;
      EXPECT_EQ(dialog_->Edit2->text().toStdString(),
                shows ? quorl::GbkToUtf8(c.cardno) : std::string("shown before"));
      EXPECT_EQ(dialog_->focusWidget(), shows ? static_cast<QWidget*>(dialog_->Edit1) : dialog_->Button1);
    }
  }
  EXPECT_TRUE(warnings_.empty());
}

TEST_F(SwipeCard, AReaderThatCannotBeOpenedChangesNothing) {
  struct Case {
    const char* name;
    std::string card;
    std::string libraryPath;
    std::vector<std::string> calls;
    std::string warning;  // the start of the one warning, empty for none
  };
  const Case cases[] = {
      {"reader absent", "reader = absent\n", "", {"dc_init -1"}, ""},
      {"malformed card file", "serial = twelve\n", "", {"dc_init -1"}, ""},
      {"no library",
       kCardHead,
       (fs::temp_directory_path() / "no-such-dir/libcardreader.so").string(),
       {},
       "无法加载读卡器库 "},
      {"library without the reader functions",
       kCardHead,
       std::string(QUORL_TEST_BINARY_DIR) + "/lib/libQuorlRTL.so",
       {},
       "读卡器库 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Card(c.card);
    quorl::SetReaderLibraryPath(c.libraryPath);
    warnings_.clear();
    dialog_->cardno = "kept";
    dialog_->snr = "1";
    for (int read = 0; read < 2; ++read) dialog_->Button3Click();
    EXPECT_EQ(dialog_->cardno, "kept");
    EXPECT_EQ(dialog_->snr, "1");
    EXPECT_LT(drv_unit::icdev, 0);
    const std::vector<std::string> calls = Calls();
    std::vector<std::string> expected;
    for (int read = 0; read < 2; ++read) expected.insert(expected.end(), c.calls.begin(), c.calls.end());
    EXPECT_EQ(calls, expected);
    if (c.warning.empty()) {
      EXPECT_TRUE(warnings_.empty());
    } else {
      // Reported once, however often the operator presses the button.
      ASSERT_EQ(warnings_.size(), 1u);
      EXPECT_EQ(warnings_[0].rfind(c.warning, 0), 0u) << warnings_[0];
    }
  }
}

TEST_F(SwipeCard, QuitClosesOnlyAnOpenHandleOnce) {
  Card(kCardHead + Blocks(Padded("7")));
  drv_unit::quit();  // right after loading: handle 0
  EXPECT_EQ(drv_unit::icdev, 0);
  EXPECT_TRUE(Calls().empty());

  dialog_->Button3Click();
  Calls();
  drv_unit::quit();
  drv_unit::quit();
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(drv_unit::icdev, -1);

  // A handle the host left open is closed, statuses kept, handle marked closed.
  ASSERT_EQ(quorl::BoundReaderLibrary()->dc_init(100, 115200), 3);
  drv_unit::icdev = 3;
  drv_unit::quit();
  EXPECT_EQ(drv_unit::icdev, -1);
  EXPECT_EQ(drv_unit::st, 0);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"dc_init 3", "dc_reset 0", "dc_exit 0"}));
  // A stale handle: the library refuses it, the unit still counts it closed.
  drv_unit::icdev = 3;
  drv_unit::quit();
  EXPECT_EQ(drv_unit::st, -1);
  EXPECT_EQ(drv_unit::icdev, -1);
}

TEST_F(SwipeCard, PasswordFieldTakesDigitsBackspaceAndEnter) {
  QTest::keyClicks(dialog_->Edit1, "1a2 B;3-");
  EXPECT_EQ(dialog_->Edit1->text(), QStringLiteral("123"));
  QTest::keyClick(dialog_->Edit1, Qt::Key_Backspace);
  EXPECT_EQ(dialog_->Edit1->text(), QStringLiteral("12"));
  QTest::keyClick(dialog_->Edit1, Qt::Key_V, Qt::ControlModifier);  // paste is no way round the filter
  QTest::keyClick(dialog_->Edit1, Qt::Key_Insert, Qt::ShiftModifier);
  EXPECT_EQ(dialog_->Edit1->text(), QStringLiteral("12"));
  EXPECT_EQ(dialog_->result(), 0);
  QTest::keyClick(dialog_->Edit1, Qt::Key_Return);
  EXPECT_EQ(dialog_->result(), Tswpcard::kModalOk);
  EXPECT_EQ(dialog_->passmd5, MD5Print(MD5String("12")));

  for (char key : std::string("09\b\r")) {
    char k = key;
    dialog_->Edit1KeyPress(k);
    EXPECT_EQ(k, key);
  }
  for (char key : std::string("aZ /\x7f\x1b")) {
    char k = key;
    dialog_->Edit1KeyPress(k);
    EXPECT_EQ(k, 0) << int(key);
  }
}

TEST_F(SwipeCard, OkStoresTheDigestOfTheTrimmedPasswordAndCancelKeepsTheFields) {
  const std::string digest1234 = MD5Print(MD5String("1234"));
  const std::pair<const char*, std::string> cases[] = {{"", ""},
                                                       {"1234", digest1234},
                                                       {"  1234  ", digest1234},
                                                       {"\t1234", digest1234},
                                                       {"   ", MD5Print(MD5String(""))}};
  for (const auto& [typed, digest] : cases) {
    SCOPED_TRACE(typed);
    dialog_->passmd5 = "before";
    dialog_->setResult(0);
    dialog_->Edit1->setText(QString::fromUtf8(typed));
    dialog_->Button1->click();
    EXPECT_EQ(dialog_->passmd5, digest);
    EXPECT_EQ(dialog_->result(), Tswpcard::kModalOk);
  }
  dialog_->cardno = "1";
  dialog_->Button2->click();
  EXPECT_EQ(dialog_->result(), Tswpcard::kModalCancel);
  EXPECT_EQ(dialog_->cardno, "1");
  EXPECT_EQ(dialog_->passmd5, MD5Print(MD5String("")));  // kept from the last OK

  // OK and Cancel act on the dialog in swpcard, not on the one clicked.
  Tswpcard other;
  swipecard::swpcard = &other;
  dialog_->setResult(0);
  dialog_->Button2Click();
  EXPECT_EQ(other.result(), Tswpcard::kModalCancel);
  EXPECT_EQ(dialog_->result(), 0);
  swipecard::swpcard = dialog_.get();
}

TEST_F(SwipeCard, ModalRunEndsWithTheButtonsResult) {
  Card(kCardHead + Blocks(Padded("8866")));
  QTimer::singleShot(0, dialog_.get(), [this] {
    dialog_->Button3->click();
    QTest::keyClicks(dialog_->Edit1, "4321");
    QTest::keyClick(dialog_->Edit1, Qt::Key_Enter);
  });
  EXPECT_EQ(dialog_->exec(), Tswpcard::kModalOk);
  EXPECT_EQ(dialog_->cardno, "8866");
  EXPECT_EQ(dialog_->passmd5, MD5Print(MD5String("4321")));

  QTimer::singleShot(0, dialog_.get(), [this] {
    QTest::keyClick(dialog_.get(), Qt::Key_Escape);  // no cancel button: Escape does nothing
    dialog_->close();                                // the window's close box is Cancel
  });
  EXPECT_EQ(dialog_->exec(), Tswpcard::kModalCancel);

  dialog_.reset();  // FormDestroy; the variable no longer points at a freed dialog
  EXPECT_EQ(swipecard::swpcard, nullptr);
}

TEST_F(SwipeCard, LayoutMatchesTheForm) {
  Tswpcard& d = *dialog_;
  EXPECT_EQ(d.windowTitle(), QStringLiteral("请刷卡"));
  EXPECT_EQ(d.size(), QSize(287, 104));
  EXPECT_EQ(d.minimumSize(), d.maximumSize());
  struct Item {
    QWidget* widget;
    const char* name;
    QRect geometry;
    const char* caption;
    int fontPixels;
    bool bold;
  };
  const Item items[] = {
      {d.Panel1, "Panel1", {0, 0, 287, 104}, "", 11, false},
      {d.GroupBox1, "GroupBox1", {1, 1, 285, 102}, "", 11, false},
      {d.Label1, "Label1", {11, 16, 51, 16}, "卡号：", 16, true},
      {d.Label2, "Label2", {11, 42, 51, 16}, "密码：", 16, true},
      {d.Edit2, "Edit2", {56, 12, 185, 24}, "", 13, false},
      {d.Edit1, "Edit1", {56, 40, 185, 24}, "", 20, false},
      {d.Button1, "Button1", {60, 70, 75, 25}, "确定", 14, false},
      {d.Button2, "Button2", {164, 71, 75, 25}, "取消", 12, false},
      {d.Button3, "Button3", {242, 10, 38, 52}, "读卡", 12, false},
      {d.Button4, "Button4", {288, 184, 75, 25}, "read", 11, false},
  };
  for (const Item& i : items) {
    SCOPED_TRACE(i.name);
    EXPECT_EQ(i.widget->objectName().toStdString(), i.name);
    EXPECT_EQ(i.widget->geometry(), i.geometry);
    EXPECT_EQ(i.widget->font().pixelSize(), i.fontPixels);
    EXPECT_EQ(i.widget->font().bold(), i.bold);
    QString caption;
    if (auto* b = qobject_cast<QPushButton*>(i.widget)) caption = b->text();
    if (auto* l = qobject_cast<QLabel*>(i.widget)) caption = l->text();
    if (auto* g = qobject_cast<QGroupBox*>(i.widget)) caption = g->title();
    EXPECT_EQ(caption.toStdString(), i.caption);
  }
  EXPECT_EQ(d.Label1->palette().color(QPalette::WindowText), QColor(Qt::blue));
  EXPECT_EQ(d.Edit1->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(d.Edit2->isReadOnly());
  EXPECT_TRUE(d.Button1->isDefault());
  EXPECT_TRUE(d.Button4->isHidden());

  // Tab order: password, OK, Cancel, read card; the card number is no tab stop.
  d.show();
  d.Edit1->setFocus();
  std::vector<std::string> order;
  for (QWidget* w = d.Edit1; order.size() < 4; w = w->nextInFocusChain())
    if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->parentWidget() == d.GroupBox1)
      order.push_back(w->objectName().toStdString());
  EXPECT_EQ(order, (std::vector<std::string>{"Edit1", "Button1", "Button2", "Button3"}));
  EXPECT_FALSE(d.Edit2->focusPolicy() & Qt::TabFocus);
  d.hide();
}

TEST(SwipeCardConversions, HexTextAndNumbers) {
  const std::pair<std::string, int32_t> numbers[] = {{" ff", 255},
                                                     {"1G", 16},
                                                     {"", 0},
                                                     {"   ", 0},
                                                     {"7fffffff", INT_MAX},
                                                     {"ffffffff", -1},
                                                     {"100000000", 0},
                                                     {"aB\t", 0xAB},
                                                     {"zz", 0},
                                                     {"\x01"
                                                      "10\x20",
                                                      16}};
  for (const auto& [text, value] : numbers) EXPECT_EQ(Tswpcard::HexToInt(text), value) << text;
  EXPECT_EQ(Tswpcard::hextostring("41424"), "AB");
  EXPECT_EQ(Tswpcard::hextostring("4"), "");
  EXPECT_EQ(Tswpcard::hextostring("00ff"), std::string("\0\xff", 2));
  EXPECT_EQ(Tswpcard::StringToHex(std::string("A\0\xff", 3)), "4100FF");
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Tswpcard::hextostring(Tswpcard::StringToHex(all)), all);
}

TEST(ReaderLibraryBinding, NamesTheFileAndTheMissingFunction) {
  try {
    quorl::LoadReaderLibrary("/nonexistent/libcardreader.so");
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find("/nonexistent/libcardreader.so"), std::string::npos);
  }
  try {
    quorl::LoadReaderLibrary(std::string(QUORL_TEST_BINARY_DIR) + "/lib/libQuorlRTL.so");
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find("dc_init"), std::string::npos);
  }
  // The default is the simulated library beside the file that holds the
  // package's code: this program, which links the package's objects.
  EXPECT_EQ(quorl::DefaultReaderLibraryPath(),
            std::string(QUORL_TEST_BINARY_DIR) + "/tests/libcardreader.so");
}

}  // namespace
