// The till window against both local services, the simulated card reader and
// the print application, off screen. The package's modal boxes and the
// swipe-card dialog are driven by a timer that finds the active modal
// widget, as an operator would answer them.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "cardreader/swipecard.h"
#include "huitouke/HtkTestSupport.h"
#include "soap/SimProcess.h"
#include "support/RunProgram.h"
#include "support/TempFolder.h"
#include "support/TestPaths.h"
#include "tools/till/TillHost.h"
#include "tools/till/TillSale.h"
#include "tools/till/TillSettings.h"
#include "tools/till/TillTour.h"
#include "tools/till/TillWindow.h"

// Under LeakSanitizer: what Qt's and fontconfig's own code keeps for the
// life of the process (font caches, the scroll-gesture recognizer QPdfView
// registers, the PDF renderer's worker thread) is not ours to free. None of
// these stacks passes through the till's code.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:QScroller::grabGesture\n"
         "leak:QPdfPageRenderer\n";
}

namespace {

using quorl::till::Cents;
using quorl::till::TillWindow;

TEST(TillSale, MoneyLinesAndOrderCodes) {
  const struct {
    const char* text;
    std::optional<Cents> cents;
  } prices[] = {
      {"40", 4000}, {"40.5", 4050}, {"40.05", 4005}, {"0.99", 99},       {"999999999.99", 99999999999},
      {"", {}},     {"4a", {}},     {"40.", 4000},   {"40.123", {}},     {"-1", {}},
      {".5", {}},   {"1e3", {}},    {" 40", {}},     {"1000000000", {}}, {"40,00", {}},
  };
  for (const auto& p : prices) EXPECT_EQ(quorl::till::ParseCents(p.text), p.cents) << p.text;
  for (const Cents c : {Cents{0}, Cents{5}, Cents{4050}, Cents{-1234}, Cents{99999999999}})
    EXPECT_EQ(quorl::till::ParseCents(quorl::till::FormatCents(c < 0 ? -c : c)), c < 0 ? -c : c);
  EXPECT_EQ(quorl::till::FormatCents(-1234), "-12.34");
  // 0.10 + 0.20 in cents is 0.30, which doubles would not give.
  EXPECT_EQ(quorl::till::SaleTotal({{"A", 10, 1}, {"B", 20, 1}, {"C", 6850, 3}}), 20580);
  EXPECT_EQ(quorl::till::OrderCode("T1", "20261208", 7), "T1-20261208-0007");
  EXPECT_EQ(quorl::till::OrderCode("T1", "20261208", 12345), "T1-20261208-12345");
  EXPECT_EQ(quorl::till::PlatformLines("8600000002", "T1-1", 2050, "1001"),
            (std::vector<std::string>{"sbs_id=", "store_id=", "card_no=8600000002", "order_no=T1-1",
                                      "money=20.50", "emp_no=1001"}));
}

TEST(TillCsv, QuotesAndDisarmsCells) {
  const struct {
    const char* cell;
    const char* written;
  } cells[] = {
      {"张伟", "张伟"},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"=1+2", "'=1+2"},
      {"+86", "'+86"},
      {"@sum", "'@sum"},
      {"-x", "'-x"},
      {"-12.50", "-12.50"},
      {"", ""},
      {"=a,b", "\"'=a,b\""},
  };
  for (const auto& c : cells) {
    quorl::till::TextTable t;
    t.header = {"h"};
    t.rows = {{c.cell}};
    EXPECT_EQ(quorl::till::ToCsv(t), std::string("h\r\n") + c.written + "\r\n") << c.cell;
  }
}

QApplication& App() {
  static int argc = 1;
  static char name[] = "till_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return new QApplication(argc, argv);
  }();
  return *app;
}

// Answers every modal window that opens, with `answer`, until stopped.
class ModalDriver {
 public:
  explicit ModalDriver(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal->isVisible())
        answer_(modal);
    });
    timer_.start();
  }

 private:
  std::function<void(QWidget*)> answer_;
  QTimer timer_;
};

// Closes message boxes, keeping their captions and texts.
struct BoxCloser {
  QStringList seen;
  ModalDriver driver{[this](QWidget* w) {
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
      seen << box->windowTitle() + ": " + box->text();
      box->accept();
    }
  }};
};

constexpr const char* kPlatformKey = "demo-htk-key-N001";
constexpr const char* kMerchant = "DEMO-SBS-0001";

class Till : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { App(); }

  void SetUp() override {
    const std::string bin = quorl::test::BinaryDir() + "/bin/";
    till_ = dir_.File("till");
    ASSERT_EQ(Ms({"init-db", "--seed"}).exitCode, 0);
    ASSERT_EQ(Ms({"install-print"}).exitCode, 0);
    web_ = std::make_unique<quorl::test::TicketManageSim>(dir_.File("tm.db"));
    platform_ = std::make_unique<quorl::test::HtkSim>(dir_.File("htk.db"), kPlatformKey, kMerchant);
    ASSERT_NE(platform_->Port(), 0);
    ASSERT_EQ(
        Ms({"addresses", "--set", "G", web_->Endpoint(), "--wsdl", web_->Endpoint() + "?wsdl"}).exitCode, 0);
    ASSERT_EQ(Ms({"addresses", "--set", "H", platform_->BaseUrl()}).exitCode, 0);
    // 8800000002 padded with "$", as the card issuer writes it.
    std::ofstream(dir_.File("card.txt")) << "serial = 3735928559\nkey = 5a3e9c01b7d4\n"
                                            "block13 = 38383030303030303032242424242424\n"
                                            "block14 = 24242424242424242424242424242424\n";
    setenv("QUORL_CARDREADER_CARD", dir_.File("card.txt").c_str(), 1);
    setenv("QUORL_CARDREADER_LOG", dir_.File("reader.log").c_str(), 1);
    std::filesystem::create_directories(dir_.File("xdg"));
    std::filesystem::permissions(dir_.File("xdg"), std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", dir_.File("xdg").c_str(), 1);
  }

  quorl::test::Result Ms(std::vector<std::string> args) {
    args.insert(args.begin(), {quorl::test::BinaryDir() + "/bin/membersys", "--app-dir", till_});
    return quorl::test::RunProgram(args);
  }

  // A window in mode, the package's address type set to match (G for the web
  // service, H for the platform; the host accounts need none).
  std::unique_ptr<TillWindow> Window(const std::string& mode) {
    EXPECT_EQ(Ms({"addresses", "--use", mode == "H" ? "H" : "G"}).exitCode, 0);
    quorl::till::TillSettings s;
    s.appDir = till_;
    s.database = till_ + "/membersys.db";
    s.mode = mode;
    s.orderPrefix = "T" + mode;
    quorl::till::SaveSettings(dir_.File("till.ini"), s);
    auto w = std::make_unique<TillWindow>(dir_.File("till.ini"));
    w->resize(1024, 768);
    w->show();
    w->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
    return w;
  }

  static void Search(TillWindow& w, int by, const QString& value, const QString& password = {}) {
    w.ShowPage(TillWindow::kMemberPage);
    w.findChild<QComboBox*>("searchBy")->setCurrentIndex(by);
    w.findChild<QLineEdit*>("searchValue")->setText(value);
    w.findChild<QLineEdit*>("searchPassword")->setText(password);
    QTest::keyClick(w.findChild<QLineEdit*>("searchValue"), Qt::Key_Return);
  }

  quorl::test::TempFolder dir_;
  std::string till_;
  std::unique_ptr<quorl::test::TicketManageSim> web_;
  std::unique_ptr<quorl::test::HtkSim> platform_;
};

// Each mode asks its own back end; the chosen member is shown large.
TEST_F(Till, LooksMembersUpInEachMode) {
  const struct {
    const char* mode;
    int by;  // 0 card, 1 mobile, 2 name, 3 certificate
    const char* value;
    const char* password;
    const char* card;
    const char* name;
  } cases[] = {
      {"N", 0, "8800000001", "", "8800000001", "张伟"},
      {"N", 2, "李娜", "", "8800000002", "李娜"},
      {"N", 3, "E12345678", "", "8800000002", "李娜"},
      {"Y", 0, "8800000003", "", "8800000003", "王芳"},
      {"H", 0, "8600000002", "654321", "8600000002", "陈晓明"},
      {"H", 1, "13912345678", "123456", "8600000002", "陈晓明"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " " + c.value);
    auto w = Window(c.mode);
    Search(*w, c.by, QString::fromUtf8(c.value), c.password);
    bool found = false;
    for (const auto& m : w->Matches()) found |= m.cardNo == c.card && m.name == c.name;
    EXPECT_TRUE(found);
    if (c.by == 0) {
      EXPECT_EQ(w->Chosen().cardNo, c.card);  // a card search chooses that card
    }
    if (w->Matches().size() == 1) {
      EXPECT_TRUE(w->findChild<QLabel*>("memberName")->text().startsWith(QString::fromUtf8(c.name)));
    }
  }
}

// The web service session, keyboard first: swipe and look up, a refused
// sale, an accepted one with the balance read back and its receipt, the
// report and its CSV, a failure with the package's modal warning, the journal
// of it all and reconciliation.
TEST_F(Till, SellsReportsAndJournalsThroughTheWebService) {
  auto w = Window("N");
  // The swipe dialog: read, type the password, OK.
  ModalDriver swiper([](QWidget* modal) {
    if (auto* d = dynamic_cast<Tswpcard*>(modal)) {
      d->Button3->click();
      QTest::keyClicks(d->Edit1, "123456");
      d->Button1->click();
    }
  });
  w->ShowPage(TillWindow::kMemberPage);
  QTest::keyClick(w->findChild<QLineEdit*>("searchValue"), Qt::Key_F3);
  ASSERT_EQ(w->Chosen().cardNo, "8800000002");
  EXPECT_EQ(w->Chosen().name, "李娜");
  EXPECT_EQ(w->Chosen().balance, "12.50");
  QTest::keyClick(w->findChild<QTableWidget*>("matchTable"), Qt::Key_Return);  // Enter: to the sale
  EXPECT_EQ(w->findChild<QTabWidget*>("tabs")->currentIndex(), TillWindow::kSalePage);

  // Two lines typed and added with Enter and F4; the sum follows.
  QTest::keyClicks(w->findChild<QLineEdit*>("unitPrice"), "40");
  w->findChild<QSpinBox*>("quantity")->setValue(2);
  QTest::keyClick(w->findChild<QLineEdit*>("unitPrice"), Qt::Key_Return);
  w->findChild<QLineEdit*>("priceLevel")->setText("VIP");
  QTest::keyClicks(w->findChild<QLineEdit*>("unitPrice"), "0.1");
  QTest::keyClick(w->findChild<QLineEdit*>("unitPrice"), Qt::Key_F4);
  ASSERT_EQ(w->Lines().size(), 2u);
  EXPECT_EQ(w->findChild<QLabel*>("saleTotal")->text(), QString::fromUtf8("合计 80.10 元"));
  EXPECT_EQ(w->findChild<QTableWidget*>("lineTable")->item(1, 3)->text(), "0.10");
  const QString order = w->findChild<QLineEdit*>("orderCode")->text();
  EXPECT_TRUE(order.startsWith("TN-")) << order.toStdString();

  // 12.50 on the card: refused, no warning, the order code kept.
  BoxCloser boxes;
  QTest::keyClick(w.get(), Qt::Key_F5);
  EXPECT_TRUE(w->SaleResult().contains(QString::fromUtf8("余额不足"))) << w->SaleResult().toStdString();
  EXPECT_TRUE(boxes.seen.isEmpty());
  EXPECT_EQ(w->findChild<QLineEdit*>("orderCode")->text(), order);

  // Member 1001 (500.00) pays the same lines: accepted, the balance read back.
  Search(*w, 0, "8800000001");
  ASSERT_EQ(w->Chosen().balance, "500.00");
  EXPECT_TRUE(w->CheckOut());
  EXPECT_EQ(w->Chosen().balance, "419.90");
  EXPECT_TRUE(w->SaleResult().contains("419.90")) << w->SaleResult().toStdString();
  EXPECT_NE(w->findChild<QLineEdit*>("orderCode")->text(), order);
  EXPECT_EQ(quorl::till::LoadSettings(dir_.File("till.ini")).nextOrder, 2);
  // The receipt: the print application writes the PDF on its own.
  for (int i = 0; i < 100 && w->Host().LastReceiptPdf().empty(); ++i) QTest::qWait(50);
  EXPECT_NE(w->Host().LastReceiptPdf().find(order.toStdString()), std::string::npos);

  // Today's report of operator 1001: one payment of 80.10, exported.
  QTest::keyClick(w.get(), Qt::Key_F7);
  const auto& report = w->LastReport();
  ASSERT_TRUE(report.ok);
  ASSERT_EQ(report.table.rows.size(), 1u);
  EXPECT_EQ(report.total, 8010);
  EXPECT_TRUE(w->findChild<QLabel*>("reportTotal")->text().contains("80.10"));
  const QString csv = QString::fromStdString(dir_.File("report.csv"));
  ASSERT_TRUE(w->ExportReportCsv(csv));
  const std::string text = quorl::test::ReadFile(csv.toStdString());
  EXPECT_EQ(
      text.rfind("\xEF\xBB\xBFUserID,UserName,UserCode,MemberName,MemberMobileNO,PayMentName,PayAmount\r\n",
                 0),
      0u);
  EXPECT_NE(text.find("张伟"), std::string::npos);
  EXPECT_NE(text.find("\r\n合计,,,,,,80.10\r\n"), std::string::npos) << text;

  // The web service is gone: the package's warning is modal, the sale failed
  // and keeps its order code for the retry.
  web_.reset();
  w->findChild<QLineEdit*>("unitPrice")->setText("5");
  w->AddLine();
  const QString failedOrder = w->findChild<QLineEdit*>("orderCode")->text();
  EXPECT_FALSE(w->CheckOut());
  ASSERT_EQ(boxes.seen.size(), 1);
  EXPECT_TRUE(boxes.seen[0].startsWith(QString::fromUtf8("警告: 会员购票信息保存失败")))
      << boxes.seen[0].toStdString();
  EXPECT_TRUE(w->SaleResult().contains(QString::fromUtf8("结算失败"))) << w->SaleResult().toStdString();
  EXPECT_EQ(w->findChild<QLineEdit*>("orderCode")->text(), failedOrder);
  // A lookup raises: the till's own box.
  Search(*w, 0, "8800000001");
  ASSERT_EQ(boxes.seen.size(), 2);
  EXPECT_TRUE(boxes.seen[1].startsWith(QString::fromUtf8("查询失败: "))) << boxes.seen[1].toStdString();
  EXPECT_TRUE(w->Chosen().cardNo.empty());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the busy cursor is gone again

  // The journal of the day: refused, accepted, failed; reconcile settles none.
  w->ShowPage(TillWindow::kJournalPage);
  auto* journal = w->findChild<QTableWidget*>("journalTable");
  ASSERT_EQ(journal->rowCount(), 3);
  EXPECT_EQ(journal->item(0, 8)->text(), "refused");
  EXPECT_EQ(journal->item(1, 8)->text(), "accepted");
  EXPECT_EQ(journal->item(1, 4)->text(), order);
  EXPECT_EQ(journal->item(2, 8)->text(), "failed-not-sent");
  QTest::keyClick(w.get(), Qt::Key_F9);
  EXPECT_TRUE(w->findChild<QLabel*>("journalResult")->text().contains(QString::fromUtf8("待对账 0 笔")))
      << w->findChild<QLabel*>("journalResult")->text().toStdString();
  EXPECT_EQ(boxes.seen.size(), 2);
  QTest::keyClick(journal, Qt::Key_Escape);  // back to the search
  EXPECT_EQ(w->findChild<QTabWidget*>("tabs")->currentIndex(), TillWindow::kMemberPage);
}

// The scripted tour in each mode: the balance falls by the sale
// (2 x 40.00 + 28.50 from 500.00, or from the platform card's 120.50), and each page is kept as a screenshot
// in the build tree.
TEST_F(Till, TourSellsInEachModeAndTakesScreenshots) {
  const struct {
    const char* mode;
    const char* card;
    const char* password;
    const char* after;
  } cases[] = {
      {"N", "8800000001", "", "391.50"},
      {"Y", "8800000001", "", "391.50"},
      {"H", "8600000002", "654321", "12.00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    auto w = Window(c.mode);
    w->findChild<QLineEdit*>("searchPassword")->setText(c.password);
    BoxCloser boxes;
    const QString shots = QString::fromStdString(quorl::test::BinaryDir() + "/till-screens/" + c.mode);
    const quorl::till::TourResult tour = quorl::till::RunTour(*w, c.card, shots);
    EXPECT_TRUE(tour.accepted) << tour.saleResult.toStdString();
    EXPECT_TRUE(boxes.seen.isEmpty()) << boxes.seen.join('\n').toStdString();
    EXPECT_EQ(tour.screenshots.size(), *c.mode == 'H' ? 4 : 5);  // no web-service report in H
    EXPECT_EQ(w->Chosen().cardNo, c.card);
    EXPECT_EQ(w->Chosen().balance, c.after);
    if (*c.mode == 'N') {
      EXPECT_EQ(w->LastReport().total, 10850);  // the web service's report holds the sale
    }
    EXPECT_TRUE(tour.saleResult.contains(QString::fromStdString("新余额 " + w->Chosen().balance)));
  }
}

}  // namespace
