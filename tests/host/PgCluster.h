// A throwaway PostgreSQL cluster for tests and the load test: initdb and
// pg_ctl in a temporary folder, listening only on a Unix socket there, run
// as the unprivileged "postgres" account when we are root (the server
// refuses to run as root, and CI runs as root). A watchdog process removes
// the cluster when this process ends, however it ends, so a crashed test
// leaves no server behind.
//
// Start one per program (Shared()) and give each test its own schema
// (NewDatabase()): starting a server takes about a second, a schema nothing.
// Every account logs in without a password except kPasswordUser, which
// must give kPassword, so that tests can be refused a login.
#pragma once

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/Database.h"

namespace quorl::test {

class PgCluster {
 public:
  struct Options {
    // Off for tests: a crash of the test machine loses nothing worth
    // keeping, and commits wait for no disk. On for the load test, so its
    // figures are those of a real server.
    bool durable = false;
  };

  PgCluster() : PgCluster(Options{}) {}
  explicit PgCluster(Options options) { Start(options); }
  ~PgCluster() {
    // Closing our end of the pipe tells the watchdog to stop the server and
    // remove the folder; waiting for it makes that happen before we return.
    if (watchdogPipe_ >= 0) close(watchdogPipe_);
    if (watchdog_ > 0) waitpid(watchdog_, nullptr, 0);
  }
  PgCluster(const PgCluster&) = delete;
  PgCluster& operator=(const PgCluster&) = delete;

  // The cluster of this program, started on first use.
  static PgCluster& Shared() {
    static PgCluster cluster;
    return cluster;
  }

  static constexpr const char* kPasswordUser = "quorl_pw";
  static constexpr const char* kPassword = "rightS3cret";

  bool ok() const { return error_.empty(); }
  // Why the cluster could not start, with the tail of the server's logs.
  const std::string& error() const { return error_; }

  // A connection string for the cluster's own database.
  std::string AdminLocation() const { return "host=" + dir_ + " port=5432 dbname=postgres user=postgres"; }

  // Stops the server as an administrator would (every session is ended) and
  // starts it again with the same settings. False, with error(), when it did
  // not come back.
  bool Restart() {
    return Run(bin_ + "/pg_ctl -D " + dir_ + "/data -l " + dir_ + "/server.log -w -t 60 -m fast restart",
               dir_ + "/pg_ctl.log", "restarting the PostgreSQL server");
  }

  // A connection string to a new, empty schema of its own.
  std::string NewDatabase() {
    const std::string schema = "t" + std::to_string(++databases_);
    OpenPostgresDatabase(AdminLocation())->ExecuteScript("CREATE SCHEMA " + schema);
    return AdminLocation() + " options='-c search_path=" + schema + "'";
  }

 private:
  static std::string FindBinDir() {
    if (const char* env = std::getenv("QUORL_PG_BINDIR"); env != nullptr && *env != '\0') return env;
    std::string best;
    int bestVersion = -1;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
      const std::filesystem::path bin = entry.path() / "bin";
      const int version = std::atoi(entry.path().filename().c_str());
      if (version > bestVersion && std::filesystem::exists(bin / "initdb") &&
          std::filesystem::exists(bin / "pg_ctl")) {
        best = bin.string();
        bestVersion = version;
      }
    }
    return best;
  }

  static std::string Tail(const std::string& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::string out;
    for (size_t i = lines.size() > 8 ? lines.size() - 8 : 0; i < lines.size(); ++i) out += "\n  " + lines[i];
    return out;
  }

  bool Run(const std::string& command, const std::string& log, const std::string& what) {
    const std::string line = "cd " + dir_ + " && " + asUser_ + command + " >" + log + " 2>&1";
    if (std::system(line.c_str()) == 0) return true;
    error_ = what + " failed (" + command + ")" + Tail(log) + Tail(dir_ + "/server.log");
    return false;
  }

  void Start(const Options& options) {
    bin_ = FindBinDir();
    const std::string& bin = bin_;
    if (bin.empty()) {
      error_ =
          "PostgreSQL server programs (initdb, pg_ctl) not found under /usr/lib/postgresql/*/bin: "
          "run scripts/setup.sh";
      return;
    }
    // Always /tmp: the server's account must reach the folder (a TMPDIR under
    // /root would not do), and a socket path must stay under 108 bytes.
    std::string pattern = "/tmp/quorl-pg-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      error_ = "cannot create a temporary folder for the PostgreSQL cluster";
      return;
    }
    dir_ = pattern;
    if (geteuid() == 0) {
      const passwd* pw = getpwnam("postgres");
      if (pw == nullptr) {
        error_ =
            "running as root and there is no 'postgres' account to run the server as: run scripts/setup.sh";
        std::filesystem::remove_all(dir_);
        return;
      }
      if (chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
        error_ = "cannot hand " + dir_ + " to the postgres account";
        std::filesystem::remove_all(dir_);
        return;
      }
      asUser_ = std::filesystem::exists("/usr/sbin/runuser") ? "/usr/sbin/runuser -u postgres -- "
                                                             : "runuser -u postgres -- ";
    }
    const std::string pgCtl = asUser_ + bin + "/pg_ctl -D " + dir_ + "/data";
    StartWatchdog(pgCtl + " -m immediate stop >/dev/null 2>&1; rm -rf " + dir_);
    if (watchdog_ <= 0) {
      std::filesystem::remove_all(dir_);
      return;
    }

    if (!Run(bin + "/initdb -D " + dir_ + "/data -A trust -U postgres -E UTF8 --locale=C --no-sync",
             dir_ + "/initdb.log", "initdb"))
      return;
    {
      // The first matching line wins: the password account's goes first.
      const std::string hba = dir_ + "/data/pg_hba.conf";
      std::ifstream in(hba);
      std::stringstream rest;
      rest << in.rdbuf();
      std::ofstream(hba) << "local all " << kPasswordUser << " scram-sha-256\n" << rest.str();
    }
    std::string settings = "-c listen_addresses='' -c unix_socket_directories='" + dir_ + "' -c port=5432";
    if (!options.durable)
      settings += " -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c deadlock_timeout=50ms";
    if (!Run(bin + "/pg_ctl -D " + dir_ + "/data -l " + dir_ + "/server.log -w -t 60 -o \"" + settings +
                 "\" start",
             dir_ + "/pg_ctl.log", "starting the PostgreSQL server"))
      return;
    try {
      OpenPostgresDatabase(AdminLocation())
          ->ExecuteScript(std::string("CREATE ROLE ") + kPasswordUser + " LOGIN PASSWORD '" + kPassword +
                          "'");
    } catch (const std::exception& e) {
      error_ = std::string("cannot create the password account: ") + e.what();
    }
  }

  void StartWatchdog(const std::string& cleanup) {
    int fds[2];
    if (pipe(fds) != 0) {
      error_ = "cannot create the watchdog pipe";
      return;
    }
    const std::string script = "cat >/dev/null; " + cleanup;
    const pid_t pid = fork();
    if (pid == 0) {
      // Its own session, so that a time-out killing our process group still
      // leaves it to clean up.
      setsid();
      dup2(fds[0], 0);
      close(fds[0]);
      close(fds[1]);
      execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[0]);
    if (pid < 0) {
      close(fds[1]);
      error_ = "cannot start the watchdog process";
      return;
    }
    // Programs this process starts with exec must not keep the cluster alive.
    fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    watchdogPipe_ = fds[1];
    watchdog_ = pid;
  }

  std::string bin_;
  std::string dir_;
  std::string asUser_;
  std::string error_;
  int databases_ = 0;
  int watchdogPipe_ = -1;
  pid_t watchdog_ = -1;
};

}  // namespace quorl::test
