// The till window: member lookup (typed or swiped), the sale and its
// posting, the last receipt, the balance report, the posting journal and the
// till's settings, one tab each. Keyboard first: the function keys on the
// buttons run the main actions, Enter confirms, Escape goes back to the
// member search.
#pragma once

#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

#include "tools/till/TillHost.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;
class QWidget;
class QPdfDocument;
class QPdfView;

namespace quorl::till {

class TillWindow : public QMainWindow {
 public:
  // Loads the settings file (created on the first save) and the package.
  explicit TillWindow(std::string settingsPath, QWidget* parent = nullptr);
  ~TillWindow() override;

  enum Page { kMemberPage, kSalePage, kReceiptPage, kReportPage, kJournalPage, kSettingsPage };
  void ShowPage(Page page);

  // The actions behind the buttons, for the scripted tour and tests.
  void LookUp();        // F2
  void Swipe();         // F3
  void AddLine();       // F4
  bool CheckOut();      // F5; true when the sale was accepted
  void Reprint();       // F6
  void RunReport();     // F7
  void ExportReport();  // F8: asks for the file
  bool ExportReportCsv(const QString& path);
  void Reconcile();  // F9
  void RefreshJournal();
  void RefreshReceipt();
  void SaveSettingsForm();  // Ctrl+S

  TillHost& Host() { return *host_; }
  const std::vector<Member>& Matches() const { return matches_; }
  // The member the sale is for (cardNo empty when none is chosen).
  const Member& Chosen() const { return chosen_; }
  const std::vector<SaleLine>& Lines() const { return lines_; }
  // The latest result line of the sale tab.
  QString SaleResult() const;
  const BalanceReport& LastReport() const { return report_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QWidget* BuildMemberPage();
  QWidget* BuildSalePage();
  QWidget* BuildReceiptPage();
  QWidget* BuildReportPage();
  QWidget* BuildJournalPage();
  QWidget* BuildSettingsPage();
  void ShowWarning(const std::string& caption, const std::string& text);
  void ShowError(const QString& caption, const QString& text);
  void RunLookup(const Search& search);
  void ChooseMember(int row);
  void ShowChosen();
  void RemoveLine();
  void CheckOutKey() { CheckOut(); }
  void ShowLines();
  void ProposeOrderCode();
  void LoadSettingsForm();
  void UpdateStatus();

  std::string settingsPath_;
  std::unique_ptr<TillHost> host_;
  std::vector<Member> matches_;
  Member chosen_;
  Search lastSearch_;
  std::vector<SaleLine> lines_;
  bool saleDone_ = false;
  BalanceReport report_;

  QTabWidget* tabs_ = nullptr;
  // Member page.
  QComboBox* searchBy_ = nullptr;
  QLineEdit* searchValue_ = nullptr;
  QLineEdit* searchPassword_ = nullptr;
  QTableWidget* matchTable_ = nullptr;
  QLabel* memberName_ = nullptr;
  QLabel* memberDetails_ = nullptr;
  // Sale page.
  QLabel* saleMember_ = nullptr;
  QLineEdit* priceLevel_ = nullptr;
  QLineEdit* unitPrice_ = nullptr;
  QSpinBox* quantity_ = nullptr;
  QTableWidget* lineTable_ = nullptr;
  QLabel* saleTotal_ = nullptr;
  QLineEdit* orderCode_ = nullptr;
  QLineEdit* wareName_ = nullptr;
  QCheckBox* printReceipt_ = nullptr;
  QLabel* saleResult_ = nullptr;
  // Receipt page.
  QPdfDocument* pdf_ = nullptr;
  QPdfView* pdfView_ = nullptr;
  QLabel* receiptPath_ = nullptr;
  // Report page.
  QLineEdit* reportGroup_ = nullptr;
  QLineEdit* reportUser_ = nullptr;
  QDateEdit* reportBegin_ = nullptr;
  QDateEdit* reportEnd_ = nullptr;
  QTableWidget* reportTable_ = nullptr;
  QLabel* reportTotal_ = nullptr;
  // Journal page.
  QTableWidget* journalTable_ = nullptr;
  QLabel* journalResult_ = nullptr;
  // Settings page.
  QLineEdit* setAppDir_ = nullptr;
  QLineEdit* setDatabase_ = nullptr;
  QLineEdit* setNode_ = nullptr;
  QLineEdit* setGroup_ = nullptr;
  QComboBox* setMode_ = nullptr;
  QLineEdit* setOperator_ = nullptr;
  QLineEdit* setPrefix_ = nullptr;
  QSpinBox* setNextOrder_ = nullptr;
  QLabel* settingsResult_ = nullptr;
  std::string shownDatabase_;  // the database text as shown (a password masked)
};

}  // namespace quorl::till
