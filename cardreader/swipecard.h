// The swipecard unit: the modal dialog in which the operator reads a member
// card on the contact-less reader and types the card's password. The host
// creates the dialog into swipecard::swpcard, shows it modally (exec) and,
// when exec answers 1 (OK), takes cardno and passmd5 (and snr or cardid for
// the serial number). The result fields never hold the typed password, only
// its digest. The package never creates the application object; the host
// must have one before it creates the dialog.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "core/PackageExport.h"

class QEvent;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

/// The swipe-card dialog. The host owns the QApplication; the dialog is created and freed by the caller (or
/// through swipecard::swpcard).
class QUORL_PACKAGE_API Tswpcard : public QDialog {
 public:
  /// Modal results: Button1Click ends exec with 1, Button2Click (and closing
  /// the window) with 2.
  static constexpr int kModalOk = 1;
  static constexpr int kModalCancel = 2;  ///< exec() result of Cancel

  explicit Tswpcard(QWidget* owner = nullptr);  ///< Builds the components; owner as Qt parent (may be null).
  /// Runs FormDestroy; clears swipecard::swpcard when it points here.
  ~Tswpcard() override;
  Tswpcard(const Tswpcard&) = delete;
  Tswpcard& operator=(const Tswpcard&) = delete;

  /// Components in declaration order; owned by the dialog. Each carries its
  /// own name as object name.
  QFrame* Panel1;
  QGroupBox* GroupBox1;  ///< frame of the two fields
  QLineEdit* Edit1;      ///< password, shown as "*"
  QLineEdit* Edit2;      ///< card number, read-only
  QLabel* Label1;        ///< caption of the password field
  QLabel* Label2;        ///< caption of the card number
  QPushButton* Button1;  ///< 确定
  QPushButton* Button2;  ///< 取消
  QPushButton* Button3;  ///< 读卡
  QPushButton* Button4;  ///< read (invisible)

  /// 8-bit text (host code page), all empty when the dialog is created.
  std::string cardid;   ///< serial number of the last card that answered, decimal
  std::string snr;      ///< the same, set first
  std::string cardno;   ///< card number read from the card; emptied by each read that opens the reader
  std::string passmd5;  ///< 32 lower-case hex digits of the password's MD5, or empty; set by OK

  /// Reads the card and shows its number, moving the focus to the password.
  void Button3Click();
  /// The same read, leaving the visible controls and the focus alone.
  void Button4Click();
  /// Key filter of the password field: digits, backspace (8) and Enter (13)
  /// pass, any other character becomes 0 (discarded). Enter clicks OK.
  void Edit1KeyPress(char& Key);
  /// Stores the digest of the trimmed password (or empty) and closes the
  /// dialog in swipecard::swpcard (this one when that is null) with OK.
  void Button1Click();
  /// Closes the dialog in swipecard::swpcard (this one when null) with Cancel.
  void Button2Click();
  /// Empties the password and card-number fields.
  void FormDestroy();

  /// Trimmed, upper-cased hexadecimal text as a number in 32-bit arithmetic
  /// (wrapping); a character that is no hex digit counts 0; empty text is 0.
  static int32_t HexToInt(const std::string& text);
  /// Pairs of hex characters to bytes; a single character left over is ignored.
  static std::string hextostring(const std::string& text);
  /// Each byte as two upper-case hex digits.
  static std::string StringToHex(const std::string& text);

 protected:
  /// Keys of the two fields, as the form handles them.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;  ///< Keys of the dialog, as the form handles them.
  void showEvent(QShowEvent* event) override;     ///< Runs the form's show handler.
  /// Closing the window counts as Cancel, as the form's system menu does.
  void reject() override;

 private:
  /// Steps 1 to 9 of a read and the card number found in the data; false
  /// when the read ended early (the reader is closed again then).
  bool ReadCardNumber();
  void CloseWithResult(int result);
};

namespace swipecard {

/// The dialog being shown; OK and Cancel act on this instance.
extern QUORL_PACKAGE_API Tswpcard* swpcard;
/// The sector key during a read (kSectorKey).
extern QUORL_PACKAGE_API const char* pwd;
extern QUORL_PACKAGE_API int32_t address;    ///< first data block, 13
extern QUORL_PACKAGE_API int32_t sector;     ///< sector to authenticate, 3
extern QUORL_PACKAGE_API int32_t m;          ///< key mode, 0
extern QUORL_PACKAGE_API int32_t n;          ///< sector number passed to authentication
extern QUORL_PACKAGE_API uint32_t tempint;   ///< serial number from dc_card
extern QUORL_PACKAGE_API char readdata[33];  ///< hexadecimal digits of the first block read, zero-terminated
/// hexadecimal digits of the second block read, zero-terminated
extern QUORL_PACKAGE_API char readdatab[33];
extern QUORL_PACKAGE_API int16_t st;  ///< status of the last card request or authentication

inline constexpr char kSectorKey[] = "5a3e9c01b7d4";  ///< the key the card's sector is authenticated with

}  // namespace swipecard
