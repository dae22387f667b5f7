// huitouke-sim: a local stand-in for the HuiTouKe member platform, so the
// package's platform client runs end to end on one machine.

#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "sim/huitouke/SimProtocol.h"
#include "sim/huitouke/SimService.h"
#include "sim/huitouke/SimStore.h"

namespace {

using quorl::htksim::ParamList;

constexpr const char* kUsage =
    "usage: huitouke-sim --port N --db PATH --key KEY --merchant ID [--seed]\n"
    "                    [--seed-movements N] [--host ADDR] [--base PATH]\n"
    "\n"
    "Serves the HuiTouKe platform's requests over HTTP:\n"
    "  POST <base>get_card_list     member and cards by mobile, e-mail or card number\n"
    "  POST <base>ConsumeInfoPost   charge a card, once per order\n"
    "  GET  <base>view_invoice      a card's movements, 25 to a page\n"
    "Every request must carry sbs_id=ID and a valid signature made with KEY.\n"
    "\n"
    "  --port N       port to listen on; 0 picks a free one. The first line on\n"
    "                 stdout is 'listening on PORT'.\n"
    "  --db PATH      SQLite database (created when missing)\n"
    "  --key KEY      the shared platform key\n"
    "  --merchant ID  the merchant identifier accepted in sbs_id\n"
    "  --seed         add demo members, cards and movements to an empty database\n"
    "  --seed-movements N\n"
    "                 with --seed: card 8600000001 gets N movements instead of\n"
    "                 60 (up to 1000000), e.g. more than a client fetches\n"
    "  --host ADDR    address to bind; default 127.0.0.1\n"
    "  --base PATH    path before the method names; default /api/\n"
    "  --help         this text\n"
    "\n"
    "SIGINT or SIGTERM stops the server.\n";

// Enough to go far past any client's limit on a card's history; bounded so a
// typo cannot fill the disk.
constexpr long kMaxSeedMovements = 1000000;

// Request bodies are a few hundred bytes; anything near this is not ours.
constexpr size_t kMaxBodyBytes = 64 * 1024;

struct Args {
  std::optional<int> port;
  std::string db, key, merchant, host = "127.0.0.1", base = "/api/";
  bool seed = false;
  std::optional<int> seedMovements;
  bool help = false;
};

[[noreturn]] void Usage(const std::string& message) {
  std::cerr << "huitouke-sim: " << message << " (see huitouke-sim --help)" << std::endl;
  std::exit(2);
}

Args Parse(int argc, char** argv) {
  Args a;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage("option '" + arg + "' needs a value");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      a.help = true;
    } else if (arg == "--seed") {
      a.seed = true;
    } else if (arg == "--port") {
      const std::string v = value();
      char* end = nullptr;
      const long port = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || port < 0 || port > 65535) Usage("bad port '" + v + "'");
      a.port = static_cast<int>(port);
    } else if (arg == "--seed-movements") {
      const std::string v = value();
      char* end = nullptr;
      const long n = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || n < 0 || n > kMaxSeedMovements)
        Usage("bad number of movements '" + v + "'");
      a.seedMovements = static_cast<int>(n);
    } else if (arg == "--db") {
      a.db = value();
    } else if (arg == "--key") {
      a.key = value();
    } else if (arg == "--merchant") {
      a.merchant = value();
    } else if (arg == "--host") {
      a.host = value();
    } else if (arg == "--base") {
      a.base = value();
    } else {
      Usage("unknown option '" + arg + "'");
    }
  }
  if (a.help) return a;
  if (!a.port) Usage("--port is required");
  if (a.db.empty()) Usage("--db is required");
  if (a.key.empty()) Usage("--key is required");
  if (a.merchant.empty()) Usage("--merchant is required");
  if (a.seedMovements && !a.seed)
    Usage("--seed-movements needs --seed");
  if (a.base.empty() || a.base.front() != '/') Usage("--base must start with '/'");
  return a;
}

void Answer(httplib::Response& res, const std::string& json) {
  res.status = 200;
  res.set_content(json, "application/json; charset=utf-8");
}

int Run(int argc, char** argv) {
  const Args args = Parse(argc, argv);
  if (args.help) {
    std::cout << kUsage;
    return 0;
  }

  // Signals are taken by one waiting thread; every other thread (the
  // server's pool included) inherits the blocked mask.
  // A shell starts background jobs with SIGINT ignored; an ignored signal
  // never reaches sigwait, so the default is restored first.
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  quorl::htksim::SimStore store(args.db);
  if (args.seed) store.Seed(args.seedMovements.value_or(quorl::htksim::SimStore::kSeedMovements));
  quorl::htksim::SimService service(store, {args.key, args.merchant});

  httplib::Server server;
  server.set_payload_max_length(kMaxBodyBytes);
  server.set_read_timeout(10);
  server.set_write_timeout(10);
  server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    res.status = 500;
    res.set_content("{\"code\":\"A00009\",\"msg\":\"internal error\",\"result\":\"internal error\"}",
                    "application/json; charset=utf-8");
  });
  server.Post(args.base + "get_card_list", [&](const httplib::Request& req, httplib::Response& res) {
    Answer(res, service.GetCardList(quorl::htksim::ParseFormBody(req.body)));
  });
  server.Post(args.base + "ConsumeInfoPost", [&](const httplib::Request& req, httplib::Response& res) {
    Answer(res, service.ConsumeInfoPost(quorl::htksim::ParseFormBody(req.body)));
  });
  server.Get(args.base + "view_invoice", [&](const httplib::Request& req, httplib::Response& res) {
    Answer(res, service.ViewInvoice(quorl::htksim::ParseRawQuery(req.target)));
  });

  int port = *args.port;
  if (port == 0) {
    port = server.bind_to_any_port(args.host);
    if (port < 0) throw std::runtime_error("cannot bind to " + args.host);
  } else if (!server.bind_to_port(args.host, port)) {
    throw std::runtime_error("cannot bind to " + args.host + ":" + std::to_string(port));
  }
  std::cout << "listening on " << port << std::endl;

  std::atomic<bool> signalled{false};
  std::atomic<bool> listenDone{false};
  std::thread waiter([&server, &signalled, &listenDone, stopSignals] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    signalled = true;
    // stop() does nothing until the accept loop runs; a signal right after
    // start-up must not be lost.
    while (!server.is_running() && !listenDone) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    server.stop();
  });
  const bool served = server.listen_after_bind();
  listenDone = true;
  // The waiter must be gone before the server it stops is destroyed; wake it
  // when the server ended by itself.
  if (!signalled) pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  if (!served && !signalled) throw std::runtime_error("the server stopped unexpectedly");
  std::cerr << "huitouke-sim: stopped" << std::endl;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "huitouke-sim: " << e.what() << std::endl;
    return 1;
  }
}
