#include "tools/till/TillWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPdfDocument>
#include <QPdfView>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>
#include <map>

#include "cardreader/swipecard.h"
#include "host/Database.h"
#include "platform/Application.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace quorl::till {

namespace {

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }
std::string S(const QString& text) { return text.trimmed().toStdString(); }

// The key map. Handled by the window, not as button shortcuts: keys reach it
// from whichever field has the focus, and act on every page (each action
// shows its page).
struct KeyAction {
  QKeyCombination key;
  void (TillWindow::*action)();
};

// The package's calls block the GUI thread; the operator sees why.
class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

QPushButton* KeyButton(const QString& text, const QKeySequence& key, const char* name) {
  auto* b = new QPushButton(text + "  " + key.toString(QKeySequence::NativeText));
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

QTableWidget* Table(const char* name, const QStringList& header) {
  auto* t = new QTableWidget(0, static_cast<int>(header.size()));
  t->setObjectName(name);
  t->setHorizontalHeaderLabels(header);
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  t->setSelectionBehavior(QAbstractItemView::SelectRows);
  t->setSelectionMode(QAbstractItemView::SingleSelection);
  t->verticalHeader()->setVisible(false);
  t->horizontalHeader()->setStretchLastSection(true);
  return t;
}

void Fill(QTableWidget* t, const TextTable& data) {
  QStringList header;
  for (const std::string& h : data.header) header << Q(h);
  t->setColumnCount(static_cast<int>(header.size()));
  t->setHorizontalHeaderLabels(header);
  t->setRowCount(static_cast<int>(data.rows.size()));
  for (size_t r = 0; r < data.rows.size(); ++r)
    for (size_t c = 0; c < data.rows[r].size(); ++c)
      t->setItem(static_cast<int>(r), static_cast<int>(c), new QTableWidgetItem(Q(data.rows[r][c])));
  t->resizeColumnsToContents();
}

QLabel* Big(const char* name, int points) {
  auto* l = new QLabel;
  l->setObjectName(name);
  QFont f = l->font();
  f.setPointSize(points);
  f.setBold(true);
  l->setFont(f);
  return l;
}

constexpr const char* kModeNames[] = {"Y 会员账户", "N 网络服务", "H 惠头客平台"};

}  // namespace

TillWindow::TillWindow(std::string settingsPath, QWidget* parent)
    : QMainWindow(parent), settingsPath_(std::move(settingsPath)) {
  setWindowTitle("会员收银台");
  setMinimumSize(1024, 768);
  host_ = std::make_unique<TillHost>(
      [this](const std::string& caption, const std::string& text) { ShowWarning(caption, text); });
  quorl::SetMainWindowHandle(this);

  tabs_ = new QTabWidget;
  tabs_->setObjectName("tabs");
  tabs_->addTab(BuildMemberPage(), "会员 &1");
  tabs_->addTab(BuildSalePage(), "销售 &2");
  tabs_->addTab(BuildReceiptPage(), "小票 &3");
  tabs_->addTab(BuildReportPage(), "报表 &4");
  tabs_->addTab(BuildJournalPage(), "过账日志 &5");
  tabs_->addTab(BuildSettingsPage(), "设置 &6");
  setCentralWidget(tabs_);
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
    if (index == kReceiptPage) RefreshReceipt();
    if (index == kJournalPage) RefreshJournal();
  });

  const TillSettings settings = LoadSettings(settingsPath_);
  const std::string problem = SettingsProblem(settings);
  if (problem.empty()) {
    try {
      host_->Apply(settings);
    } catch (const std::exception& e) {
      statusBar()->showMessage(Q(quorl::GbkToUtf8(e.what())));
    }
  }
  LoadSettingsForm();
  ProposeOrderCode();
  UpdateStatus();
  if (!problem.empty()) {
    settingsResult_->setText(Q(problem));
    ShowPage(kSettingsPage);
  }
}

TillWindow::~TillWindow() {
  if (quorl::MainWindowHandle() == this) quorl::SetMainWindowHandle(nullptr);
}

void TillWindow::ShowPage(Page page) {
  tabs_->setCurrentIndex(page);
  if (page == kMemberPage) searchValue_->setFocus();
  if (page == kSalePage) unitPrice_->setFocus();
}

void TillWindow::keyPressEvent(QKeyEvent* event) {
  static const KeyAction kKeys[] = {
      {Qt::Key_F2, &TillWindow::LookUp},
      {Qt::Key_F3, &TillWindow::Swipe},
      {Qt::Key_F4, &TillWindow::AddLine},
      {Qt::Key_F5, &TillWindow::CheckOutKey},
      {Qt::Key_F6, &TillWindow::Reprint},
      {Qt::Key_F7, &TillWindow::RunReport},
      {Qt::Key_F8, &TillWindow::ExportReport},
      {Qt::Key_F9, &TillWindow::Reconcile},
      {Qt::CTRL | Qt::Key_S, &TillWindow::SaveSettingsForm},
  };
  if (event->key() == Qt::Key_Escape) {
    ShowPage(kMemberPage);
    searchValue_->selectAll();
    return;
  }
  if (event->key() == Qt::Key_Delete && focusWidget() == lineTable_) {
    RemoveLine();
    return;
  }
  for (const KeyAction& k : kKeys) {
    if (event->keyCombination() == k.key) {
      (this->*k.action)();
      return;
    }
  }
  QMainWindow::keyPressEvent(event);
}

// --- member ---

QWidget* TillWindow::BuildMemberPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* search = new QHBoxLayout;
  searchBy_ = new QComboBox;
  searchBy_->setObjectName("searchBy");
  searchBy_->addItems({"卡号", "手机", "姓名", "证件号"});
  searchValue_ = new QLineEdit;
  searchValue_->setObjectName("searchValue");
  searchValue_->setPlaceholderText("卡号、手机、姓名或证件号，回车查询");
  searchPassword_ = new QLineEdit;
  searchPassword_->setObjectName("searchPassword");
  searchPassword_->setEchoMode(QLineEdit::Password);
  searchPassword_->setPlaceholderText("密码（平台方式）");
  searchPassword_->setMaximumWidth(160);
  auto* lookUp = KeyButton("查询", Qt::Key_F2, "lookUpButton");
  auto* swipe = KeyButton("刷卡", Qt::Key_F3, "swipeButton");
  search->addWidget(new QLabel("查询方式"));
  search->addWidget(searchBy_);
  search->addWidget(searchValue_, 1);
  search->addWidget(searchPassword_);
  search->addWidget(lookUp);
  search->addWidget(swipe);
  layout->addLayout(search);
  connect(searchValue_, &QLineEdit::returnPressed, this, &TillWindow::LookUp);
  connect(searchPassword_, &QLineEdit::returnPressed, this, &TillWindow::LookUp);
  connect(lookUp, &QPushButton::clicked, this, &TillWindow::LookUp);
  connect(swipe, &QPushButton::clicked, this, &TillWindow::Swipe);

  matchTable_ = Table("matchTable", {"卡号", "姓名", "等级", "余额", "积分", "卡状态", "手机"});
  layout->addWidget(matchTable_, 1);
  connect(matchTable_, &QTableWidget::currentCellChanged, this, [this](int row) { ChooseMember(row); });
  // Enter (or a double click) on a match takes the member to the sale.
  connect(matchTable_, &QTableWidget::activated, this, [this] { ShowPage(kSalePage); });

  auto* card = new QFrame;
  card->setFrameShape(QFrame::StyledPanel);
  auto* cardLayout = new QVBoxLayout(card);
  memberName_ = Big("memberName", 26);
  memberDetails_ = Big("memberDetails", 16);
  memberDetails_->setWordWrap(true);
  cardLayout->addWidget(memberName_);
  cardLayout->addWidget(memberDetails_);
  layout->addWidget(card);
  ShowChosen();
  return page;
}

void TillWindow::LookUp() {
  ShowPage(kMemberPage);
  Search search;
  search.by = static_cast<SearchBy>(searchBy_->currentIndex());
  search.value = S(searchValue_->text());
  search.password = searchPassword_->text().toStdString();
  if (search.value.empty()) {
    statusBar()->showMessage("请输入查询内容");
    return;
  }
  RunLookup(search);
}

void TillWindow::Swipe() {
  // The package's dialog, owned by the window and shown modally over it.
  swipecard::swpcard = new Tswpcard(this);
  const std::unique_ptr<Tswpcard> dialog(swipecard::swpcard);
  const int result = dialog->exec();
  const std::string cardno = quorl::GbkToUtf8(dialog->cardno);
  const std::string passmd5 = dialog->passmd5;
  if (result != Tswpcard::kModalOk) return;
  if (cardno.empty()) {
    statusBar()->showMessage("未读到卡号");
    return;
  }
  searchBy_->setCurrentIndex(static_cast<int>(SearchBy::kCard));
  searchValue_->setText(Q(cardno));
  searchPassword_->clear();
  RunLookup(Search{SearchBy::kCard, cardno, passmd5});
}

void TillWindow::RunLookup(const Search& search) {
  lastSearch_ = search;
  try {
    BusyCursor busy;
    matches_ = host_->Lookup(search);
  } catch (const Exception& e) {
    matches_.clear();
    ShowError("查询失败", Q(quorl::GbkToUtf8(e.Message())));
  } catch (const std::exception& e) {
    matches_.clear();
    ShowError("查询失败", Q(e.what()));
  }
  matchTable_->setRowCount(static_cast<int>(matches_.size()));
  for (size_t r = 0; r < matches_.size(); ++r) {
    const Member& m = matches_[r];
    const std::string cells[] = {m.cardNo, m.name, m.className, m.balance, m.points, m.cardStatus, m.mobile};
    for (int c = 0; c < 7; ++c)
      matchTable_->setItem(static_cast<int>(r), c, new QTableWidgetItem(Q(cells[c])));
  }
  matchTable_->resizeColumnsToContents();
  statusBar()->showMessage(QString("找到 %1 位会员").arg(matches_.size()));
  if (!matches_.empty()) {
    // A card search chooses that card among the member's cards.
    int row = 0;
    for (size_t i = 0; i < matches_.size(); ++i)
      if (search.by == SearchBy::kCard && matches_[i].cardNo == search.value) row = static_cast<int>(i);
    matchTable_->setCurrentCell(row, 0);
    ChooseMember(row);
    matchTable_->setFocus();
  } else {
    ChooseMember(-1);
  }
}

void TillWindow::ChooseMember(int row) {
  chosen_ =
      row >= 0 && row < static_cast<int>(matches_.size()) ? matches_[static_cast<size_t>(row)] : Member{};
  ShowChosen();
}

void TillWindow::ShowChosen() {
  const Member& m = chosen_;
  if (m.cardNo.empty()) {
    memberName_->setText("未选会员");
    memberDetails_->setText("F2 查询或 F3 刷卡");
  } else {
    memberName_->setText(Q(m.name + "　" + m.className));
    memberDetails_->setText(
        Q("卡号 " + m.cardNo + "　余额 " + m.balance + " 元　积分 " + m.points + "　卡状态 " + m.cardStatus));
  }
  if (saleMember_ != nullptr)
    saleMember_->setText(m.cardNo.empty() ? "未选会员（会员页 F2 查询）"
                                          : Q(m.name + "　卡号 " + m.cardNo + "　余额 " + m.balance + " 元"));
}

// --- sale ---

QWidget* TillWindow::BuildSalePage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  saleMember_ = Big("saleMember", 18);
  layout->addWidget(saleMember_);

  auto* entry = new QHBoxLayout;
  priceLevel_ = new QLineEdit("A");
  priceLevel_->setObjectName("priceLevel");
  priceLevel_->setMaximumWidth(80);
  unitPrice_ = new QLineEdit;
  unitPrice_->setObjectName("unitPrice");
  unitPrice_->setPlaceholderText("0.00");
  quantity_ = new QSpinBox;
  quantity_->setObjectName("quantity");
  quantity_->setRange(1, 99);
  auto* add = KeyButton("添加", Qt::Key_F4, "addLineButton");
  auto* remove = KeyButton("删除", Qt::Key_Delete, "removeLineButton");
  entry->addWidget(new QLabel("票价等级"));
  entry->addWidget(priceLevel_);
  entry->addWidget(new QLabel("单价"));
  entry->addWidget(unitPrice_);
  entry->addWidget(new QLabel("数量"));
  entry->addWidget(quantity_);
  entry->addWidget(add);
  entry->addWidget(remove);
  entry->addStretch();
  layout->addLayout(entry);
  for (QLineEdit* e : {priceLevel_, unitPrice_})
    connect(e, &QLineEdit::returnPressed, this, &TillWindow::AddLine);
  connect(add, &QPushButton::clicked, this, &TillWindow::AddLine);
  connect(remove, &QPushButton::clicked, this, &TillWindow::RemoveLine);

  lineTable_ = Table("lineTable", {"票价等级", "单价", "数量", "小计"});
  layout->addWidget(lineTable_, 1);
  saleTotal_ = Big("saleTotal", 22);
  saleTotal_->setAlignment(Qt::AlignRight);
  layout->addWidget(saleTotal_);

  auto* form = new QFormLayout;
  orderCode_ = new QLineEdit;
  orderCode_->setObjectName("orderCode");
  wareName_ = new QLineEdit("电影票");
  wareName_->setObjectName("wareName");
  printReceipt_ = new QCheckBox("结算后打印小票");
  printReceipt_->setObjectName("printReceipt");
  printReceipt_->setChecked(true);
  form->addRow("订单号", orderCode_);
  form->addRow("商品/场次", wareName_);
  form->addRow("", printReceipt_);
  layout->addLayout(form);

  auto* bottom = new QHBoxLayout;
  saleResult_ = Big("saleResult", 18);
  saleResult_->setWordWrap(true);
  auto* checkOut = KeyButton("结算", Qt::Key_F5, "checkOutButton");
  checkOut->setMinimumHeight(48);
  bottom->addWidget(saleResult_, 1);
  bottom->addWidget(checkOut);
  layout->addLayout(bottom);
  connect(checkOut, &QPushButton::clicked, this, &TillWindow::CheckOut);
  ShowLines();
  return page;
}

void TillWindow::AddLine() {
  ShowPage(kSalePage);
  const auto price = ParseCents(S(unitPrice_->text()));
  if (!price || *price == 0) {
    saleResult_->setText("单价无效（例：40.00）");
    unitPrice_->setFocus();
    return;
  }
  if (saleDone_) {
    // The next line starts the next sale.
    lines_.clear();
    saleDone_ = false;
    saleResult_->clear();
  }
  lines_.push_back({S(priceLevel_->text()), *price, quantity_->value()});
  ShowLines();
  unitPrice_->clear();
  quantity_->setValue(1);
  unitPrice_->setFocus();
}

void TillWindow::RemoveLine() {
  const int row = lineTable_->currentRow();
  if (row < 0 || row >= static_cast<int>(lines_.size()) || saleDone_) return;
  lines_.erase(lines_.begin() + row);
  ShowLines();
}

void TillWindow::ShowLines() {
  lineTable_->setRowCount(static_cast<int>(lines_.size()));
  for (size_t r = 0; r < lines_.size(); ++r) {
    const SaleLine& l = lines_[r];
    const QString cells[] = {Q(l.priceLevel), Q(FormatCents(l.unitPrice)), QString::number(l.quantity),
                             Q(FormatCents(l.Total()))};
    for (int c = 0; c < 4; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (c > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      lineTable_->setItem(static_cast<int>(r), c, item);
    }
  }
  saleTotal_->setText(Q("合计 " + FormatCents(SaleTotal(lines_)) + " 元"));
}

void TillWindow::ProposeOrderCode() {
  const TillSettings& s = host_->Settings();
  orderCode_->setText(
      Q(OrderCode(s.orderPrefix.empty() ? "T1" : s.orderPrefix, TodayCompact(), s.nextOrder)));
}

bool TillWindow::CheckOut() {
  ShowPage(kSalePage);
  if (chosen_.cardNo.empty()) {
    saleResult_->setText("请先选会员");
    return false;
  }
  if (lines_.empty() || saleDone_) {
    saleResult_->setText("请先添加票行");
    return false;
  }
  Sale sale{S(orderCode_->text()), lines_, chosen_, S(wareName_->text()), printReceipt_->isChecked()};
  if (sale.orderCode.empty()) {
    saleResult_->setText("订单号为空");
    return false;
  }
  PostResult result;
  {
    BusyCursor busy;
    try {
      result = host_->Post(sale);
    } catch (const std::exception& e) {
      // Only the print document's folder can raise here; nothing was posted.
      result = {PostOutcome::kFailed, quorl::GbkToUtf8(e.what())};
      ShowError("结算失败", Q(result.warning));
    }
  }
  QPalette palette = saleResult_->palette();
  switch (result.outcome) {
    case PostOutcome::kAccepted: {
      saleDone_ = true;
      // The order code is spent only now: after a refusal or a failure the
      // same sale is posted again under the same code, which the back ends
      // charge at most once.
      host_->AdvanceOrder();
      try {
        SaveSettings(settingsPath_, host_->Settings());
      } catch (const std::exception& e) {
        statusBar()->showMessage(Q(e.what()));
      }
      setNextOrder_->setValue(host_->Settings().nextOrder);
      ProposeOrderCode();
      const std::string card = chosen_.cardNo;
      {
        BusyCursor busy;
        RunLookup(lastSearch_);
      }
      for (size_t i = 0; i < matches_.size(); ++i)
        if (matches_[i].cardNo == card) {
          matchTable_->setCurrentCell(static_cast<int>(i), 0);
          ChooseMember(static_cast<int>(i));
        }
      saleResult_->setText(Q("已结算 " + sale.orderCode + "：" + FormatCents(SaleTotal(sale.lines)) +
                             " 元，新余额 " + chosen_.balance + " 元"));
      palette.setColor(QPalette::WindowText, QColor(0, 110, 0));
      if (sale.print) QTimer::singleShot(1500, this, [this] { RefreshReceipt(); });
      break;
    }
    case PostOutcome::kRefused:
      saleResult_->setText("结算被拒绝：余额不足或会员卡状态异常");
      palette.setColor(QPalette::WindowText, QColor(170, 0, 0));
      break;
    case PostOutcome::kFailed:
      saleResult_->setText(Q("结算失败：" + result.warning + "（同一订单号可再次结算，不会重复扣款）"));
      palette.setColor(QPalette::WindowText, QColor(170, 0, 0));
      break;
  }
  saleResult_->setPalette(palette);
  ShowPage(kSalePage);
  return result.outcome == PostOutcome::kAccepted;
}

QString TillWindow::SaleResult() const { return saleResult_->text(); }

// --- receipt ---

QWidget* TillWindow::BuildReceiptPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* top = new QHBoxLayout;
  receiptPath_ = new QLabel;
  receiptPath_->setObjectName("receiptPath");
  auto* reprint = KeyButton("重打", Qt::Key_F6, "reprintButton");
  auto* refresh = new QPushButton("刷新");
  top->addWidget(receiptPath_, 1);
  top->addWidget(refresh);
  top->addWidget(reprint);
  layout->addLayout(top);
  pdf_ = new QPdfDocument(this);
  pdfView_ = new QPdfView;
  pdfView_->setObjectName("receiptView");
  pdfView_->setDocument(pdf_);
  pdfView_->setPageMode(QPdfView::PageMode::MultiPage);
  pdfView_->setZoomMode(QPdfView::ZoomMode::FitInView);
  layout->addWidget(pdfView_, 1);
  connect(reprint, &QPushButton::clicked, this, &TillWindow::Reprint);
  connect(refresh, &QPushButton::clicked, this, &TillWindow::RefreshReceipt);
  return page;
}

void TillWindow::RefreshReceipt() {
  const std::string path = host_->LastReceiptPdf();
  if (path.empty()) {
    pdf_->close();
    receiptPath_->setText("还没有小票");
    return;
  }
  if (pdf_->load(Q(path)) != QPdfDocument::Error::None) {
    receiptPath_->setText(Q("小票无法打开：" + path));
    return;
  }
  receiptPath_->setText(Q("最近小票：" + path));
}

void TillWindow::Reprint() {
  ShowPage(kReceiptPage);
  bool started = false;
  {
    BusyCursor busy;
    started = host_->Reprint();
  }
  statusBar()->showMessage(started ? "已送打印" : "没有可重打的小票（上一笔未通过或未生成打印文档）");
  if (started) QTimer::singleShot(1500, this, [this] { RefreshReceipt(); });
}

// --- report ---

QWidget* TillWindow::BuildReportPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* top = new QHBoxLayout;
  reportGroup_ = new QLineEdit;
  reportGroup_->setObjectName("reportGroup");
  reportUser_ = new QLineEdit;
  reportUser_->setObjectName("reportUser");
  reportBegin_ = new QDateEdit(QDate::currentDate());
  reportBegin_->setObjectName("reportBegin");
  reportEnd_ = new QDateEdit(QDate::currentDate());
  reportEnd_->setObjectName("reportEnd");
  for (QDateEdit* d : {reportBegin_, reportEnd_}) {
    d->setDisplayFormat("yyyy-MM-dd");
    d->setCalendarPopup(true);
  }
  auto* run = KeyButton("查询", Qt::Key_F7, "reportButton");
  auto* save = KeyButton("导出", Qt::Key_F8, "exportButton");
  top->addWidget(new QLabel("会员组"));
  top->addWidget(reportGroup_);
  top->addWidget(new QLabel("操作员"));
  top->addWidget(reportUser_);
  top->addWidget(new QLabel("从"));
  top->addWidget(reportBegin_);
  top->addWidget(new QLabel("到"));
  top->addWidget(reportEnd_);
  top->addWidget(run);
  top->addWidget(save);
  layout->addLayout(top);
  reportTable_ = Table("reportTable", {});
  layout->addWidget(reportTable_, 1);
  reportTotal_ = Big("reportTotal", 18);
  reportTotal_->setAlignment(Qt::AlignRight);
  layout->addWidget(reportTotal_);
  connect(run, &QPushButton::clicked, this, &TillWindow::RunReport);
  for (QLineEdit* e : {reportGroup_, reportUser_})
    connect(e, &QLineEdit::returnPressed, this, &TillWindow::RunReport);
  connect(save, &QPushButton::clicked, this, &TillWindow::ExportReport);
  return page;
}

void TillWindow::RunReport() {
  ShowPage(kReportPage);
  {
    BusyCursor busy;
    report_ = host_->Report(S(reportGroup_->text()), S(reportUser_->text()),
                            reportBegin_->date().toString("yyyy-MM-dd").toStdString(),
                            reportEnd_->date().toString("yyyy-MM-dd").toStdString());
  }
  // The packet's field names stay in the CSV; the operator reads Chinese.
  static const std::map<std::string, std::string> kReportHeadings = {
      {"UserID", "操作员编号"}, {"UserName", "操作员"},         {"UserCode", "操作员代码"},
      {"MemberName", "会员"},   {"MemberMobileNO", "会员手机"}, {"PayMentName", "支付方式"},
      {"PayAmount", "金额"}};
  TextTable shown = report_.table;
  for (std::string& h : shown.header)
    if (const auto it = kReportHeadings.find(h); it != kReportHeadings.end()) h = it->second;
  Fill(reportTable_, shown);
  reportTotal_->setText(report_.ok ? Q("共 " + std::to_string(report_.table.rows.size()) + " 笔，合计 " +
                                       FormatCents(report_.total) + " 元")
                                   : "报表查询失败");
}

void TillWindow::ExportReport() {
  ShowPage(kReportPage);
  if (!report_.ok) {
    reportTotal_->setText("请先查询报表（F7）");
    return;
  }
  const QString path = QFileDialog::getSaveFileName(this, "导出报表", "member-report.csv", "CSV (*.csv)");
  if (!path.isEmpty() && !ExportReportCsv(path)) ShowError("导出失败", "无法写入 " + path);
}

bool TillWindow::ExportReportCsv(const QString& path) {
  if (!report_.ok) return false;
  TextTable table = report_.table;
  table.rows.push_back(std::vector<std::string>(table.header.size()));
  if (!table.rows.back().empty()) {
    table.rows.back().front() = "合计";
    table.rows.back().back() = FormatCents(report_.total);
  }
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  // The byte-order mark makes spreadsheet programs read the Chinese as UTF-8.
  const std::string csv = "\xEF\xBB\xBF" + ToCsv(table);
  const bool written =
      file.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size());
  file.close();
  if (written) statusBar()->showMessage("已导出 " + path);
  return written && file.error() == QFileDevice::NoError;
}

// --- journal ---

QWidget* TillWindow::BuildJournalPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* top = new QHBoxLayout;
  auto* refresh = new QPushButton("刷新");
  auto* reconcile = KeyButton("对账", Qt::Key_F9, "reconcileButton");
  journalResult_ = new QLabel;
  journalResult_->setObjectName("journalResult");
  journalResult_->setWordWrap(true);
  top->addWidget(new QLabel("今日过账（含状态）"));
  top->addStretch();
  top->addWidget(refresh);
  top->addWidget(reconcile);
  layout->addLayout(top);
  journalTable_ = Table("journalTable", {});
  layout->addWidget(journalTable_, 1);
  layout->addWidget(journalResult_);
  connect(refresh, &QPushButton::clicked, this, &TillWindow::RefreshJournal);
  connect(reconcile, &QPushButton::clicked, this, &TillWindow::Reconcile);
  return page;
}

void TillWindow::RefreshJournal() {
  try {
    Fill(journalTable_, host_->Journal(TodayText()));
  } catch (const std::exception& e) {
    journalResult_->setText(Q("过账日志无法读取：" + quorl::GbkToUtf8(e.what())));
  }
}

void TillWindow::Reconcile() {
  ShowPage(kJournalPage);
  std::vector<std::string> lines;
  try {
    BusyCursor busy;
    lines = host_->Reconcile();
  } catch (const std::exception& e) {
    lines = {"对账失败：" + quorl::GbkToUtf8(e.what())};
  }
  QStringList text;
  for (const std::string& l : lines) text << Q(l);
  journalResult_->setText(text.join('\n'));
  RefreshJournal();
}

// --- settings ---

QWidget* TillWindow::BuildSettingsPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* form = new QFormLayout;
  auto edit = [](const char* name) {
    auto* e = new QLineEdit;
    e->setObjectName(name);
    return e;
  };
  setAppDir_ = edit("setAppDir");
  setDatabase_ = edit("setDatabase");
  setNode_ = edit("setNode");
  setGroup_ = edit("setGroup");
  setOperator_ = edit("setOperator");
  setPrefix_ = edit("setPrefix");
  setMode_ = new QComboBox;
  setMode_->setObjectName("setMode");
  for (const char* m : kModeNames) setMode_->addItem(m);
  setNextOrder_ = new QSpinBox;
  setNextOrder_->setObjectName("setNextOrder");
  setNextOrder_->setRange(1, 9999);
  form->addRow("应用目录（QUORLZELCLIENT.LIC 所在）", setAppDir_);
  form->addRow("主机数据库（SQLite 路径或 PostgreSQL 连接串）", setDatabase_);
  form->addRow("站点代码", setNode_);
  form->addRow("会员组代码", setGroup_);
  form->addRow("连接方式", setMode_);
  form->addRow("操作员代码", setOperator_);
  form->addRow("订单号前缀", setPrefix_);
  form->addRow("下一订单号", setNextOrder_);
  layout->addLayout(form);
  auto* save = KeyButton("保存", QKeySequence(Qt::CTRL | Qt::Key_S), "saveSettingsButton");
  settingsResult_ = new QLabel;
  settingsResult_->setObjectName("settingsResult");
  settingsResult_->setWordWrap(true);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(settingsResult_, 1);
  bottom->addWidget(save);
  layout->addLayout(bottom);
  layout->addStretch();
  connect(save, &QPushButton::clicked, this, &TillWindow::SaveSettingsForm);
  return page;
}

void TillWindow::LoadSettingsForm() {
  const TillSettings s = LoadSettings(settingsPath_);
  setAppDir_->setText(Q(s.appDir));
  // A connection string's password is never shown; left as shown, the
  // stored string is kept.
  shownDatabase_ = quorl::GbkToUtf8(quorl::RedactLocation(quorl::Utf8ToGbk(s.database)));
  setDatabase_->setText(Q(shownDatabase_));
  setNode_->setText(Q(s.node));
  setGroup_->setText(Q(s.group));
  setMode_->setCurrentIndex(s.mode == "Y" ? 0 : s.mode == "H" ? 2 : 1);
  setOperator_->setText(Q(s.operatorCode));
  setPrefix_->setText(Q(s.orderPrefix));
  setNextOrder_->setValue(s.nextOrder);
  reportGroup_->setText(Q(s.group));
  reportUser_->setText(Q(s.operatorCode));
}

void TillWindow::SaveSettingsForm() {
  ShowPage(kSettingsPage);
  TillSettings s = LoadSettings(settingsPath_);
  s.appDir = S(setAppDir_->text());
  const std::string database = S(setDatabase_->text());
  if (database != shownDatabase_) s.database = database;
  s.node = S(setNode_->text());
  s.group = S(setGroup_->text());
  s.mode = std::string(1, "YNH"[setMode_->currentIndex()]);
  s.operatorCode = S(setOperator_->text());
  s.orderPrefix = S(setPrefix_->text());
  s.nextOrder = setNextOrder_->value();
  if (const std::string problem = SettingsProblem(s); !problem.empty()) {
    settingsResult_->setText(Q(problem));
    return;
  }
  try {
    SaveSettings(settingsPath_, s);
    BusyCursor busy;
    host_->Apply(s);
    settingsResult_->setText("已保存并生效");
  } catch (const std::exception& e) {
    settingsResult_->setText(Q("保存失败：" + quorl::GbkToUtf8(e.what())));
  }
  LoadSettingsForm();
  ProposeOrderCode();
  UpdateStatus();
}

void TillWindow::UpdateStatus() {
  const TillSettings& s = host_->Settings();
  const int mode = s.mode == "Y" ? 0 : s.mode == "H" ? 2 : 1;
  statusBar()->showMessage(Q("站点 " + s.node + "　会员组 " + s.group + "　操作员 " + s.operatorCode + "　") +
                           kModeNames[mode] + "　　Esc 返回查询");
}

// --- dialogs ---

void TillWindow::ShowWarning(const std::string& caption, const std::string& text) {
  // The busy cursor of the call that failed would hide over the box.
  QApplication::setOverrideCursor(Qt::ArrowCursor);
  QMessageBox box(QMessageBox::Warning, Q(caption), Q(text), QMessageBox::Ok, this);
  box.setObjectName("packageWarning");
  box.exec();
  QApplication::restoreOverrideCursor();
}

void TillWindow::ShowError(const QString& caption, const QString& text) {
  QApplication::setOverrideCursor(Qt::ArrowCursor);
  QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, this);
  box.setObjectName("tillError");
  box.exec();
  QApplication::restoreOverrideCursor();
}

}  // namespace quorl::till
