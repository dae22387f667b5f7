#include "platform/Process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Text.h"

extern char** environ;

namespace {

// Why a shell trampoline: the program must outlive us untracked, yet a library
// may not leave a zombie behind, install a SIGCHLD handler (that belongs to
// the host) or fork the host process itself. posix_spawn starts /bin/sh, which
// checks the program can be run, starts it in the background and exits at
// once. We reap the shell right away (a wait of a few milliseconds, the time
// the shell needs to fork); the program is then an orphan that init reaps.
// The shell's own exit status says whether the program was found: 127 if not.
// POSIX_SPAWN_SETSID puts it in its own session, so a Ctrl-C or hang-up meant
// for the host does not reach the program.
constexpr const char* kTrampoline =
    "case $0 in"
    " */*) [ -f \"$0\" ] && [ -x \"$0\" ] || exit 127 ;;"
    " *) command -v -- \"$0\" >/dev/null 2>&1 || exit 127 ;;"
    " esac;"
    " \"$0\" \"$@\" &";

quorl::ProcessLauncher*& LauncherOverride() {
  static quorl::ProcessLauncher* launcher = nullptr;
  return launcher;
}

// Splits a parameter text at blanks; a double-quoted run keeps its blanks
// (the quotes themselves are dropped), as the Windows command line does.
std::vector<std::string> SplitParameters(const char* text) {
  std::vector<std::string> args;
  if (text == nullptr) return args;
  std::string current;
  bool inArg = false;
  bool quoted = false;
  for (const char* p = text; *p != '\0'; ++p) {
    const char c = *p;
    if (c == '"') {
      quoted = !quoted;
      inArg = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (inArg) args.push_back(std::move(current));
      current.clear();
      inArg = false;
    } else {
      current += c;
      inArg = true;
    }
  }
  if (inArg) args.push_back(std::move(current));
  return args;
}

}  // namespace

namespace quorl {

bool PosixProcessLauncher::Start(const std::string& program, const std::vector<std::string>& args,
                                 const std::string& workingDir) {
  if (program.empty()) return false;

  std::vector<std::string> argStore;
  argStore.reserve(args.size() + 4);
  argStore.emplace_back("sh");
  argStore.emplace_back("-c");
  argStore.emplace_back(kTrampoline);
  argStore.push_back(program);  // $0 of the trampoline
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  argv.reserve(argStore.size() + 1);
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  // The program gets the standard streams only, not the host's database
  // files or sockets.
  bool ok = posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0;
  if (ok && !workingDir.empty()) ok = posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str()) == 0;
  // Default signal dispositions and an empty mask, whatever the host set up.
  sigset_t all;
  sigset_t none;
  sigfillset(&all);
  sigemptyset(&none);
  ok = ok && posix_spawnattr_setsigdefault(&attr, &all) == 0 &&
       posix_spawnattr_setsigmask(&attr, &none) == 0 &&
       posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) ==
           0;
  pid_t pid = -1;
  if (ok) ok = ::posix_spawn(&pid, "/bin/sh", &actions, &attr, argv.data(), environ) == 0;
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (!ok) return false;

  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(pid, &status, 0);
  } while (r < 0 && errno == EINTR);
  // ECHILD: the host ignores SIGCHLD or reaps children itself, so the status
  // is gone; the shell did run, so count the start as made.
  if (r < 0) return errno == ECHILD;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

ProcessLauncher& CurrentProcessLauncher() {
  static PosixProcessLauncher posixLauncher;
  ProcessLauncher* l = LauncherOverride();
  return l != nullptr ? *l : posixLauncher;
}

void SetProcessLauncher(ProcessLauncher* launcher) { LauncherOverride() = launcher; }

}  // namespace quorl

HINSTANCE ShellExecuteA(HWND, const char* verb, const char* file, const char* parameters,
                        const char* directory, int) {
  constexpr HINSTANCE kFileNotFound = 2;
  constexpr HINSTANCE kStarted = 42;
  if (verb != nullptr && *verb != '\0' && !quorl::SameTextAscii(verb, "open")) return kFileNotFound;
  if (file == nullptr || *file == '\0') return kFileNotFound;
  const std::string workingDir = directory != nullptr ? directory : "";
  const bool started = quorl::CurrentProcessLauncher().Start(file, SplitParameters(parameters), workingDir);
  return started ? kStarted : kFileNotFound;
}
