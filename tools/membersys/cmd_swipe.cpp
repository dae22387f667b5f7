// The swipe command: the package's swipe-card dialog shown modally, as a
// host shows it, then optionally a member lookup with what it read.

#include <CLI/CLI.hpp>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "cardreader/swipecard.h"
#include "core/MemberRecords.h"
#include "tools/membersys/Commands.h"

namespace quorl::membersys {

namespace {

struct SwipeArgs {
  std::string lookupMode;
  bool json = false;
  bool readNow = false;
  bool pressRead = false;
  std::string password;
  CLI::Option* passwordOption = nullptr;
  bool ok = false;
  bool cancel = false;
  std::string screenshot;
};

// Types the digits into the password field key by key, through its key
// filter, as an operator would.
void TypeDigits(Tswpcard& dialog, const std::string& digits) {
  for (const char c : digits) {
    const QString text(QChar::fromLatin1(c));
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, text);
    QCoreApplication::sendEvent(dialog.Edit1, &press);
    QCoreApplication::sendEvent(dialog.Edit1, &release);
  }
}

int RunSwipe(Session& session, const SwipeArgs& args) {
  if (args.ok && args.cancel) throw UsageError("swipe: --ok and --cancel exclude each other");
  // The lookup creates an agent, which reads the host database: refuse
  // before the dialog is shown, not after the operator has swiped.
  if (!args.lookupMode.empty()) {
    if (const std::string problem = HostDatabaseProblem(session.options.dbPath); !problem.empty())
      throw std::runtime_error(problem);
  }
  std::unique_ptr<QApplication> ownApp;
  if (QCoreApplication::instance() == nullptr) {
    static int argc = 1;
    static char name[] = "membersys";
    static char* argv[] = {name, nullptr};
    ownApp = std::make_unique<QApplication>(argc, argv);
  }
  swipecard::swpcard = new Tswpcard();
  const std::unique_ptr<Tswpcard> dialog(swipecard::swpcard);
  if (args.readNow) dialog->Button4->click();
  // Scripted steps run once the modal loop is up, in an operator's order.
  QTimer::singleShot(0, dialog.get(), [&dialog, &args] {
    if (args.pressRead) dialog->Button3->click();
    if (args.passwordOption->count() > 0) TypeDigits(*dialog, args.password);
    if (!args.screenshot.empty() && !dialog->grab().save(QString::fromStdString(args.screenshot), "PNG"))
      std::fprintf(stderr, "membersys: cannot write the screenshot %s\n", args.screenshot.c_str());
    if (args.ok) dialog->Button1->click();
    if (args.cancel) dialog->Button2->click();
  });
  const int result = dialog->exec();
  if (result != Tswpcard::kModalOk) return 1;
  const std::string cardno = dialog->cardno;
  const std::string passmd5 = dialog->passmd5;
  const std::string snr = dialog->snr;
  if (!args.lookupMode.empty()) {
    // Without a card number the lookup would match every member.
    if (cardno.empty()) throw std::runtime_error("swipe: no card was read, nothing to look up");
    TQueryUserInfoConditionRecord_ZEL condition;
    condition.SkipMemberID = condition.SkipMemberName = condition.SkipCertificateType = true;
    condition.SkipCertificateNum = condition.SkipPhoneNum = condition.SkipMobileNum = true;
    condition.MemberNum = cardno;
    condition.Password = passmd5;
    condition.SkipPassword = passmd5.empty();
    return PrintMemberLookup(session, condition, args.lookupMode, args.json);
  }
  if (args.json) {
    nlohmann::json out = {{"cardno", ToOutput(cardno)}, {"passmd5", passmd5}, {"snr", snr}};
    session.out << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  } else {
    session.out << "cardno=" << ToOutput(cardno) << "\npassmd5=" << passmd5 << "\nsnr=" << snr << '\n';
  }
  return 0;
}

}  // namespace

void AddSwipeCommands(CommandTable& table) {
  auto args = std::make_shared<SwipeArgs>();
  CLI::App* s = table.Add(
      "swipe", "read a member card in the swipe-card dialog (and look the member up)",
      "usage: membersys [global options] swipe [--lookup MODE] [--json] [--read-now] [--press-read]\n"
      "           [--password DIGITS] [--ok | --cancel] [--screenshot FILE.png]\n"
      "\n"
      "Shows the package's swipe-card dialog modally: press 读卡 with the card on the\n"
      "reader, type the password, press 确定. Prints cardno=, passmd5= (the MD5 digest\n"
      "of the password, never the password) and snr= (the card's serial number).\n"
      "Cancel exits with status 1 and prints nothing. The reader library\n"
      "libcardreader.so is looked for beside the package, then on the library path.\n"
      "\n"
      "  --lookup MODE   then look the member up (GetUserInfo in mode Y, N or H) with\n"
      "                  the card number as MemberNum and the digest as Password, and\n"
      "                  print the members as 'lookup' does (needs the host database)\n"
      "  --json          JSON output\n"
      "For scripts and tests (QT_QPA_PLATFORM=offscreen runs without a display):\n"
      "  --read-now      press the invisible read button once before the dialog shows\n"
      "  --press-read    press 读卡 once the dialog shows\n"
      "  --password D    type the digits D into the password field\n"
      "  --ok            then press 确定\n"
      "  --cancel        then press 取消\n"
      "  --screenshot F  save the dialog as a PNG image after the steps above, before OK\n",
      [args](Session& session) { return RunSwipe(session, *args); });
  s->add_option("--lookup", args->lookupMode);
  s->add_flag("--json", args->json);
  s->add_flag("--read-now", args->readNow);
  s->add_flag("--press-read", args->pressRead);
  args->passwordOption = s->add_option("--password", args->password);
  s->add_flag("--ok", args->ok);
  s->add_flag("--cancel", args->cancel);
  s->add_option("--screenshot", args->screenshot);
  table.RunsWithoutHostDatabase(s);
}

}  // namespace quorl::membersys
