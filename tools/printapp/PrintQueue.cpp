#include "tools/printapp/PrintQueue.h"

#include <QProcess>
#include <QStringList>

namespace quorl::printapp {
namespace {

std::string FirstLine(const QByteArray& output) {
  const QByteArray line = output.trimmed().split('\n').value(0).trimmed();
  return line.left(200).toStdString();
}

}  // namespace

std::string SubmitToPrintQueue(const std::string& printer, const std::string& pdfPath,
                               std::chrono::milliseconds timeout) {
  QProcess lp;
  lp.setProcessChannelMode(QProcess::MergedChannels);
  lp.setStandardInputFile(QProcess::nullDevice());
  // No shell: the printer name from the INI file reaches lp as one argument.
  lp.start(QStringLiteral("lp"), {QStringLiteral("-d"), QString::fromLocal8Bit(printer.c_str()),
                                  QString::fromLocal8Bit(pdfPath.c_str())});
  const int ms = static_cast<int>(timeout.count());
  if (!lp.waitForStarted(ms)) return "cannot start lp: " + lp.errorString().toStdString();
  if (!lp.waitForFinished(ms)) {
    lp.kill();
    lp.waitForFinished(1000);
    return "lp did not finish within " + std::to_string(timeout.count() / 1000) + " s";
  }
  if (lp.exitStatus() != QProcess::NormalExit) return "lp ended abnormally";
  if (lp.exitCode() != 0) {
    std::string reason = "lp -d " + printer + " failed with status " + std::to_string(lp.exitCode());
    const std::string said = FirstLine(lp.readAll());
    return said.empty() ? reason : reason + ": " + said;
  }
  return {};
}

}  // namespace quorl::printapp
