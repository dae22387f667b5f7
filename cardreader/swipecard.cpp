#include "cardreader/swipecard.h"

#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <cstring>

#include "cardreader/ReaderLibrary.h"
#include "cardreader/drv_unit.h"
#include "huitouke/md5.h"
#include "platform/CodePage.h"

namespace swipecard {

Tswpcard* swpcard = nullptr;
const char* pwd = nullptr;
int32_t address = 0;
int32_t sector = 0;
int32_t m = 0;
int32_t n = 0;
uint32_t tempint = 0;
char readdata[33] = {};
char readdatab[33] = {};
int16_t st = 0;

}  // namespace swipecard

namespace {

// The form's fonts are those of the desktop it was drawn on; a Debian till
// has neither, so each is mapped to an installed font of the same kind at
// the same pixel height: the Song face to a CJK face, the bitmap sans to a
// vector sans.
QFont FormFont(const char* family, int pixelHeight, bool bold = false) {
  const bool cjk = std::strcmp(family, "宋体") == 0;
  QFont font(cjk ? QStringLiteral("WenQuanYi Micro Hei") : QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelHeight);
  font.setBold(bold);
  return font;
}

// The desktop's colours the form names: button face and the scroll-bar
// grey of the classic scheme.
const QColor kScrollBarColor(200, 200, 200);

void Paint(QWidget* w, QPalette::ColorRole role, const QColor& color) {
  QPalette p = w->palette();
  p.setColor(role, color);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect geometry,
                        int fontHeight) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setGeometry(geometry);
  b->setFont(FormFont("宋体", fontHeight));
  Paint(b, QPalette::Button, kScrollBarColor);
  return b;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, QRect geometry) {
  auto* l = new QLabel(QString::fromUtf8(caption), parent);
  l->setObjectName(QString::fromLatin1(name));
  l->setGeometry(geometry);
  l->setFont(FormFont("宋体", 16, true));
  QPalette p = l->palette();
  p.setColor(QPalette::WindowText, Qt::blue);
  l->setPalette(p);
  return l;
}

}  // namespace

Tswpcard::Tswpcard(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("swpcard"));
  setWindowTitle(QStringLiteral("请刷卡"));
  setFixedSize(287, 104);
  setFont(FormFont("MS Sans Serif", 11));
  setModal(true);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(0, 0, 287, 104);
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Raised);

  GroupBox1 = new QGroupBox(Panel1);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(1, 1, 285, 102);
  GroupBox1->setFont(FormFont("MS Sans Serif", 11));
  Paint(GroupBox1, QPalette::Window, kScrollBarColor);

  Edit1 = new QLineEdit(GroupBox1);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setGeometry(56, 40, 185, 24);
  Edit1->setEchoMode(QLineEdit::Password);
  // Shown as "*" whatever the style's own mask character is.
  Edit1->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
  Edit1->setFont(FormFont("MS Sans Serif", 20));
  // Composed input and pasting would bypass the key filter.
  Edit1->setAttribute(Qt::WA_InputMethodEnabled, false);
  Edit1->setContextMenuPolicy(Qt::NoContextMenu);
  Edit1->setAcceptDrops(false);
  Edit1->installEventFilter(this);

  Edit2 = new QLineEdit(GroupBox1);
  Edit2->setObjectName(QStringLiteral("Edit2"));
  Edit2->setGeometry(56, 12, 185, 24);
  Edit2->setReadOnly(true);
  Edit2->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
  Edit2->setFont(FormFont("MS Sans Serif", 13));

  Label1 = MakeLabel(GroupBox1, "Label1", "卡号：", QRect(11, 16, 51, 16));
  Label2 = MakeLabel(GroupBox1, "Label2", "密码：", QRect(11, 42, 51, 16));

  Button1 = MakeButton(GroupBox1, "Button1", "确定", QRect(60, 70, 75, 25), 14);
  Button1->setDefault(true);
  Button2 = MakeButton(GroupBox1, "Button2", "取消", QRect(164, 71, 75, 25), 12);
  Button3 = MakeButton(GroupBox1, "Button3", "读卡", QRect(242, 10, 38, 52), 12);
  Button4 = MakeButton(GroupBox1, "Button4", "read", QRect(288, 184, 75, 25), 12);
  Button4->setFont(FormFont("MS Sans Serif", 11));
  Button4->setVisible(false);

  // The labels sit under the edits' left edges; the edits stay on top.
  Label1->lower();
  Label2->lower();

  QObject::connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  QObject::connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  QObject::connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  QObject::connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });

  QWidget::setTabOrder(Edit1, Edit2);
  QWidget::setTabOrder(Edit2, Button1);
  QWidget::setTabOrder(Button1, Button2);
  QWidget::setTabOrder(Button2, Button3);
  QWidget::setTabOrder(Button3, Button4);
  Edit1->setFocus();
}

Tswpcard::~Tswpcard() {
  FormDestroy();
  // A host that frees the dialog must not find it still in the variable.
  if (swipecard::swpcard == this) swipecard::swpcard = nullptr;
}

int32_t Tswpcard::HexToInt(const std::string& text) {
  const std::string t = quorl::Trim(text);
  uint32_t value = 0;  // unsigned: the sum wraps as 32-bit arithmetic does
  for (const char raw : t) {
    const char c = (raw >= 'a' && raw <= 'z') ? static_cast<char>(raw - 'a' + 'A') : raw;
    uint32_t digit = 0;
    if (c >= '0' && c <= '9')
      digit = static_cast<uint32_t>(c - '0');
    else if (c >= 'A' && c <= 'F')
      digit = static_cast<uint32_t>(c - 'A' + 10);
    value = value * 16u + digit;
  }
  return static_cast<int32_t>(value);
}

std::string Tswpcard::hextostring(const std::string& text) {
  std::string bytes;
  bytes.reserve(text.size() / 2);
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    bytes.push_back(static_cast<char>(HexToInt(text.substr(i, 2))));
  return bytes;
}

std::string Tswpcard::StringToHex(const std::string& text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(text.size() * 2);
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 0x0F]);
  }
  return hex;
}

bool Tswpcard::ReadCardNumber() {
  quorl::ReaderLibrary* reader = quorl::BoundReaderLibrary();
  if (reader == nullptr) {
    // No library: the read ends as if no reader could be opened.
    drv_unit::icdev = -1;
    return false;
  }
  drv_unit::icdev = reader->dc_init(100, 115200);
  // 0 is the unit's "nothing opened" value, so only a positive handle is a reader.
  if (drv_unit::icdev <= 0) return false;
  cardno.clear();
  swipecard::address = 13;
  swipecard::sector = 3;
  swipecard::pwd = swipecard::kSectorKey;
  swipecard::m = 0;
  swipecard::n = swipecard::sector;
  swipecard::st = reader->dc_card(drv_unit::icdev, 0, &swipecard::tempint);
  if (swipecard::st != 0) {
    drv_unit::quit();
    return false;
  }
  snr = std::to_string(swipecard::tempint);
  reader->dc_beep(drv_unit::icdev, 10);
  cardid = snr;
  swipecard::st = reader->dc_authentication_pass_hex(drv_unit::icdev, static_cast<uint8_t>(swipecard::m),
                                                     static_cast<uint8_t>(swipecard::n), swipecard::pwd);
  if (swipecard::st != 0) {
    drv_unit::quit();
    return false;
  }
  // The buffers are cleared and their last byte kept zero, so a library that
  // writes no terminator cannot make the text run past them.
  std::memset(swipecard::readdata, 0, sizeof swipecard::readdata);
  if (reader->dc_read_hex(drv_unit::icdev, static_cast<uint8_t>(swipecard::address), swipecard::readdata) !=
      0) {
    drv_unit::quit();
    return false;
  }
  swipecard::readdata[32] = '\0';
  std::string text(swipecard::readdata);
  std::memset(swipecard::readdatab, 0, sizeof swipecard::readdatab);
  if (reader->dc_read_hex(drv_unit::icdev, static_cast<uint8_t>(swipecard::address + 1),
                          swipecard::readdatab) != 0) {
    drv_unit::quit();
    return false;
  }
  swipecard::readdatab[32] = '\0';
  text += swipecard::readdatab;
  const std::string data = hextostring(text);
  // The number is padded with "$" up to 32 bytes; scan back from the 32nd.
  size_t i = std::min<size_t>(data.size(), 32);
  while (i > 0 && data[i - 1] == '$') --i;
  if (i == 0) {
    drv_unit::quit();
    return false;
  }
  cardno = data.substr(0, i);
  return true;
}

void Tswpcard::Button3Click() {
  if (!ReadCardNumber()) return;
  Edit2->setText(QString::fromStdU16String(quorl::GbkToUtf16(cardno)));
  Edit1->setFocus();
  drv_unit::quit();
}

void Tswpcard::Button4Click() {
  if (!ReadCardNumber()) return;
  drv_unit::quit();
}

void Tswpcard::Edit1KeyPress(char& Key) {
  const bool passes = (Key >= '0' && Key <= '9') || Key == 8 || Key == 13;
  if (!passes) {
    Key = 0;
    return;
  }
  if (Key == 13) Button1->click();
}

void Tswpcard::Button1Click() {
  if (Edit1->text().isEmpty()) {
    passmd5.clear();
  } else {
    const std::string password = quorl::Trim(quorl::Utf16ToGbk(Edit1->text().toStdU16String()));
    passmd5 = MD5Print(MD5String(password));
  }
  CloseWithResult(kModalOk);
}

void Tswpcard::Button2Click() { CloseWithResult(kModalCancel); }

void Tswpcard::FormDestroy() {
  Edit1->clear();
  Edit2->clear();
}

void Tswpcard::CloseWithResult(int result) {
  Tswpcard* target = swipecard::swpcard != nullptr ? swipecard::swpcard : this;
  target->done(result);
}

bool Tswpcard::eventFilter(QObject* watched, QEvent* event) {
  if (watched != Edit1 || event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  if (key->matches(QKeySequence::Paste)) return true;
  char c = 0;
  switch (key->key()) {
    case Qt::Key_Backspace:
      c = 8;
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      c = 13;
      break;
    case Qt::Key_Delete:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return false;  // no character: handled as the control handles it
    default: {
      if (key->text().isEmpty()) return false;  // arrows, Home, modifiers
      const char16_t u = key->text().at(0).unicode();
      c = u < 0x80 ? static_cast<char>(u) : '?';
    }
  }
  Edit1KeyPress(c);
  // Enter has done its work (OK); the control must not see it again.
  return c == 0 || c == 13;
}

void Tswpcard::keyPressEvent(QKeyEvent* event) {
  // The form has no cancel button: Escape closes nothing.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void Tswpcard::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* s = screen() != nullptr ? screen() : QGuiApplication::primaryScreen()) {
    const QRect area = s->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

void Tswpcard::reject() { done(kModalCancel); }
