// quorl-till: the till window, a host of the member-system package that an
// operator sells with.

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/till/TillSettings.h"
#include "tools/till/TillTour.h"
#include "tools/till/TillWindow.h"

namespace {

constexpr const char* kHelp =
    "usage: quorl-till [--settings FILE] [--tour CARD --screenshots DIR]\n"
    "\n"
    "The till window: member lookup (typed or with the swipe-card dialog), the\n"
    "sale posted through the back end of the till's connection mode, the last\n"
    "receipt, the balance report, the posting journal and the settings.\n"
    "\n"
    "  --settings FILE     the till's settings (default ~/.config/quorl/quorl-till.ini);\n"
    "                      created by the settings tab's 保存 (Ctrl+S)\n"
    "  --tour CARD         scripted sale for demos: look CARD up, sell two lines, wait\n"
    "                      for the receipt, run today's report, then quit (exit 0 when\n"
    "                      the sale was accepted)\n"
    "  --screenshots DIR   with --tour: save each page as a PNG into DIR\n"
    "  --help              this text\n"
    "\n"
    "Keys: F2 查询  F3 刷卡  F4 添加票行  Del 删除票行  F5 结算  F6 重打  F7 报表\n"
    "      F8 导出  F9 对账  Ctrl+S 保存设置  Alt+1..6 页面  Enter 确认  Esc 返回查询\n"
    "Runs off screen with QT_QPA_PLATFORM=offscreen.\n";

}  // namespace

int main(int argc, char** argv) {
  std::string settings;
  std::string tourCard;
  std::string screenshots;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    } else if (arg == "--settings" && hasValue) {
      settings = argv[++i];
    } else if (arg == "--tour" && hasValue) {
      tourCard = argv[++i];
    } else if (arg == "--screenshots" && hasValue) {
      screenshots = argv[++i];
    } else {
      std::fprintf(stderr, "quorl-till: unknown or incomplete option '%s' (see quorl-till --help)\n",
                   arg.c_str());
      return 2;
    }
  }
  if (!screenshots.empty() && tourCard.empty()) {
    std::fputs("quorl-till: --screenshots needs --tour CARD\n", stderr);
    return 2;
  }
  if (settings.empty()) settings = quorl::till::DefaultSettingsPath();
  QApplication app(argc, argv);
  quorl::till::TillWindow window(settings);
  window.resize(1024, 768);
  window.show();
  if (tourCard.empty()) return QApplication::exec();
  const quorl::till::TourResult tour =
      quorl::till::RunTour(window, tourCard, QString::fromStdString(screenshots.empty() ? "." : screenshots));
  std::printf("%s\n", tour.saleResult.toStdString().c_str());
  for (const QString& file : tour.screenshots) std::printf("%s\n", file.toStdString().c_str());
  return tour.accepted ? 0 : 1;
}
