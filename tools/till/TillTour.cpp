#include "tools/till/TillTour.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSpinBox>
#include <QThread>

#include "tools/till/TillWindow.h"

namespace quorl::till {

bool SaveScreenshot(TillWindow& window, const QString& file) {
  QApplication::processEvents();
  return window.grab().save(file, "PNG");
}

TourResult RunTour(TillWindow& window, const std::string& card, const QString& dir, int receiptWaitMs) {
  TourResult result;
  QDir().mkpath(dir);
  auto shot = [&](const char* name) {
    const QString file = dir + "/" + name;
    if (SaveScreenshot(window, file)) result.screenshots << file;
  };
  const std::string receiptBefore = window.Host().LastReceiptPdf();

  window.ShowPage(TillWindow::kMemberPage);
  window.findChild<QComboBox*>("searchBy")->setCurrentIndex(0);
  window.findChild<QLineEdit*>("searchValue")->setText(QString::fromStdString(card));
  window.LookUp();
  shot("member.png");

  window.ShowPage(TillWindow::kSalePage);
  window.findChild<QLineEdit*>("priceLevel")->setText("A");
  window.findChild<QLineEdit*>("unitPrice")->setText("40.00");
  window.findChild<QSpinBox*>("quantity")->setValue(2);
  window.AddLine();
  window.findChild<QLineEdit*>("priceLevel")->setText("B");
  window.findChild<QLineEdit*>("unitPrice")->setText("28.50");
  window.AddLine();
  window.findChild<QLineEdit*>("wareName")->setText("电影票《流浪地球》一号厅 20:00");
  result.accepted = window.CheckOut();
  result.saleResult = window.SaleResult();
  shot("sale.png");

  // The print application runs on its own; its PDF appears when it is done.
  if (result.accepted) {
    QElapsedTimer waited;
    waited.start();
    while (window.Host().LastReceiptPdf() == receiptBefore && waited.elapsed() < receiptWaitMs) {
      QApplication::processEvents();
      QThread::msleep(50);
    }
  }
  window.ShowPage(TillWindow::kReceiptPage);
  window.RefreshReceipt();
  // The preview renders its pages in the background.
  QElapsedTimer rendering;
  rendering.start();
  while (rendering.elapsed() < 800) {
    QApplication::processEvents();
    QThread::msleep(20);
  }
  shot("receipt.png");

  // The report is the web service's: a platform till (H) reaches none.
  if (window.Host().Settings().mode != "H") {
    window.RunReport();
    shot("report.png");
  }
  window.ShowPage(TillWindow::kJournalPage);
  shot("journal.png");
  window.ShowPage(TillWindow::kMemberPage);
  return result;
}

}  // namespace quorl::till
