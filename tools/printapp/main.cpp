// PrintApp.exe: prints the consumption receipt the package has just written
// to Print.xml beside this program. The package starts it with "-h" and does
// not wait, so everything that goes wrong ends up in PrintApp.log beside it.

#include <QGuiApplication>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <string>
#include <string_view>

#include "platform/Application.h"
#include "platform/IniFile.h"
#include "tools/printapp/PrintDocument.h"
#include "tools/printapp/PrintQueue.h"
#include "tools/printapp/Receipt.h"
#include "tools/printapp/ReceiptFiles.h"
#include "tools/printapp/ReceiptPdf.h"
#include "tools/printapp/ReceiptText.h"

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
    "Failures go to PrintApp.log beside the program; exit status 1.\n"
    "A wrong command line gives exit status 2.\n";

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

int Fail(const std::string& logPath, const std::string& message) {
  AppendLogLine(logPath, message);
  std::cerr << "PrintApp: " << message << '\n';
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  bool print = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (arg != "-h") {
      std::cerr << "PrintApp: unknown argument '" << arg << "' (see --help)\n";
      return 2;
    }
    print = true;
  }

  // Started without a working folder: everything is found beside the program.
  const std::string folder = quorl::ApplicationDirectory();
  const std::string logPath = folder + "PrintApp.log";
  const std::time_t now = std::time(nullptr);

  Receipt receipt;
  std::string orderCode;
  try {
    const PrintDocument doc = ReadPrintDocument(folder + "Print.xml");
    receipt = BuildReceipt(doc);
    orderCode = CleanValue(doc.MC_OrderCode);
  } catch (const std::exception& e) {
    return Fail(logPath, std::string("cannot read the print document: ") + e.what());
  }

  // Nothing is ever shown: a display, when there is one, is not needed and
  // may be gone, so Qt draws offscreen unless told otherwise.
  if (!IsSet("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
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
    return Fail(logPath, std::string("cannot write the receipt: ") + e.what());
  }
  std::cout << saved.pdfPath << '\n' << saved.textPath << std::endl;

  if (!print) return 0;
  const std::string printer = TIniFile(folder + "PrintApp.ini").ReadString("Printer", "Name", "");
  if (printer.empty()) return 0;
  const std::string error = SubmitToPrintQueue(printer, saved.pdfPath, kPrintQueueTimeout);
  if (!error.empty()) return Fail(logPath, "cannot print " + saved.pdfPath + ": " + error);
  return 0;
}
