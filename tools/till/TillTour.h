// A scripted sale through the window, for the demo and the screenshots: look
// a card up, sell two tickets, wait for the receipt, run today's report and
// grab each page.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

namespace quorl::till {

class TillWindow;

struct TourResult {
  bool accepted = false;
  QString saleResult;
  QStringList screenshots;  // files written
};

// Saves member.png, sale.png, receipt.png, report.png and journal.png into
// dir (created when missing). Waits at most receiptWaitMs for the receipt.
TourResult RunTour(TillWindow& window, const std::string& card, const QString& dir, int receiptWaitMs = 8000);

// Grabs the whole window into file; false when it cannot be written.
bool SaveScreenshot(TillWindow& window, const QString& file);

}  // namespace quorl::till
