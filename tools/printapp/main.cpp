// PrintApp.exe: prints the consumption receipt the package has just written
// to Print.xml beside this program. The package starts it with "-h" and does
// not wait, so what it does and what goes wrong ends up in PrintApp.log
// beside it; the standard streams it inherits may lead nowhere.

#include <QGuiApplication>
#include <QString>
#include <QtGlobal>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Application.h"
#include "platform/IniFile.h"
#include "tools/printapp/PrintDocument.h"
#include "tools/printapp/PrintQueue.h"
#include "tools/printapp/Receipt.h"
#include "tools/printapp/ReceiptFiles.h"
#include "tools/printapp/ReceiptPdf.h"
#include "tools/printapp/ReceiptText.h"
#include "tools/printapp/StandardStreams.h"

using namespace quorl::printapp;

namespace {

constexpr std::chrono::seconds kPrintQueueTimeout{60};

constexpr const char* kUsage =
    "usage: PrintApp.exe [-h] [--help]\n"
    "\n"
    "Reads Print.xml from the program's own folder and writes the receipt as a\n"
    "PDF and as 48-column text into receipts/ there; prints both paths.\n"
    "\n"
    "  -h      also hand the PDF to the printer named in PrintApp.ini\n"
    "          ([Printer] Name=...) with lp; the package always passes -h\n"
    "  --help  show this text\n"
    "\n"
    "Each receipt, each hand-over to the printer and each failure is logged\n"
    "in PrintApp.log beside the program. Exit status 1 after a failure,\n"
    "2 for a wrong command line.\n";

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

class Log {
 public:
  explicit Log(std::string path) : path_(std::move(path)) {}

  // A log that cannot be written is said once on stderr and otherwise ignored.
  void Line(const std::string& message) {
    if (AppendLogLine(path_, message) || complained_) return;
    complained_ = true;
    WriteToStream(2, "PrintApp: cannot write " + path_ + "\n");
  }

  int Fail(const std::string& message) {
    Line(message);
    WriteToStream(2, "PrintApp: " + message + "\n");
    return 1;
  }

 private:
  std::string path_;
  bool complained_ = false;
};

// Qt's notices go to stderr as before, through the guarded writer, except the
// one about the runtime folder: the program uses none, and without a login
// session (the usual case for a till's host) Qt would say so on every run.
void QtMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
  if (message.startsWith(QStringLiteral("QStandardPaths: "))) return;
  WriteToStream(2, message.toLocal8Bit().toStdString() + "\n");
}

}  // namespace

int main(int argc, char** argv) {
  GuardStandardStreams();

  bool print = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      WriteToStream(1, kUsage);
      return 0;
    }
    if (arg != "-h") {
      WriteToStream(2, "PrintApp: unknown argument '" + std::string(arg) + "' (see --help)\n");
      return 2;
    }
    print = true;
  }

  // Started without a working folder: everything is found beside the program.
  const std::string folder = quorl::ApplicationDirectory();
  Log log(folder + "PrintApp.log");
  const std::time_t now = std::time(nullptr);

  Receipt receipt;
  std::string orderCode;
  try {
    const PrintDocument doc = ReadPrintDocument(folder + "Print.xml");
    receipt = BuildReceipt(doc);
    orderCode = CleanValue(doc.MC_OrderCode);
  } catch (const std::exception& e) {
    return log.Fail(std::string("cannot read the print document: ") + e.what());
  }

  // Nothing is ever shown: a display, when there is one, is not needed and
  // may be gone, so Qt draws offscreen unless told otherwise.
  if (!IsSet("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  qInstallMessageHandler(QtMessage);
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  const QGuiApplication app(qtArgc, qtArgv);

  SavedReceipt saved;
  try {
    const std::string text = RenderReceiptText(receipt);
    const std::string pdf = RenderReceiptPdf(receipt, receipt.title + " " + orderCode);
    const std::string stem = SafeFileStem(orderCode) + "-" + LocalTimeText(now, "%Y%m%d-%H%M%S");
    saved = SaveReceipt(folder + "receipts", stem, pdf, text);
  } catch (const std::exception& e) {
    return log.Fail(std::string("cannot write the receipt: ") + e.what());
  }
  log.Line("wrote " + saved.pdfPath + " and " + saved.textPath);

  // Printing comes before the paths on stdout: a host's output that is slow
  // or gone must not delay the receipt.
  int status = 0;
  if (print) {
    const std::string printer = TIniFile(folder + "PrintApp.ini").ReadString("Printer", "Name", "");
    if (printer.empty()) {
      log.Line("not printed: no printer named in " + folder + "PrintApp.ini");
    } else {
      const std::string error = SubmitToPrintQueue(printer, saved.pdfPath, kPrintQueueTimeout);
      if (error.empty())
        log.Line("handed " + saved.pdfPath + " to the print queue " + printer);
      else
        status = log.Fail("cannot print " + saved.pdfPath + ": " + error);
    }
  }
  WriteToStream(1, saved.pdfPath + "\n" + saved.textPath + "\n");
  return status;
}
