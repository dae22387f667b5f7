#include "sim/common/ServiceMain.h"

#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <thread>

namespace quorl::simcommon {

namespace {

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

void AddServiceOptions(CLI::App& app, ServiceOptions& options) {
  app.add_option("--port", options.port, "TCP port to listen on; 0 picks a free one")
      ->required()
      ->check(CLI::Range(0, 65535));
  app.add_option("--db", options.db, "SQLite database of the service (created when missing)")
      ->required()
      ->check(
          [](const std::string& v) { return v.empty() ? std::string("must not be empty") : std::string(); });
  app.add_option("--host", options.host, "address to listen on")->capture_default_str();
  CLI::Option* cert = app.add_option("--tls-cert", options.tlsCert,
                                     "serve HTTPS only, with this PEM certificate (chain) file");
  CLI::Option* key = app.add_option("--tls-key", options.tlsKey, "the PEM private key of --tls-cert");
  cert->needs(key);
  key->needs(cert);
  app.add_option("--client-ca", options.clientCa,
                 "with --tls-cert: demand a client certificate signed by a CA in this PEM file")
      ->needs(cert);
  app.footer("The first line on stdout is \"listening on PORT\". SIGINT or SIGTERM stop it.");
}

std::optional<int> ParseServiceOptions(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    std::cerr << app.get_name() << ": " << e.what() << " (see " << app.get_name() << " --help)\n";
    return 2;
  }
  return std::nullopt;
}

std::unique_ptr<httplib::Server> MakeServer(const ServiceOptions& options) {
  if (options.tlsCert.empty()) return std::make_unique<httplib::Server>();
  auto server =
      std::make_unique<httplib::SSLServer>(options.tlsCert.c_str(), options.tlsKey.c_str(),
                                           options.clientCa.empty() ? nullptr : options.clientCa.c_str());
  if (!server->is_valid())
    throw std::runtime_error("cannot use the certificate " + options.tlsCert + " with the key " +
                             options.tlsKey +
                             (options.clientCa.empty() ? "" : " and client CA " + options.clientCa));
  return server;
}

std::string Scheme(const ServiceOptions& options) { return options.tlsCert.empty() ? "http" : "https"; }

void BlockStopSignals() {
  // A shell starts background jobs with SIGINT ignored, and an ignored
  // signal is discarded before sigwait could take it.
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  const sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

int StartFailed(const std::string& program, const std::string& message) {
  std::cerr << program << ": " << message << std::endl;
  return 1;
}

int Serve(httplib::Server& server, ServiceOptions& options, const std::string& program) {
  // The server writes an answer's head and body separately. With Nagle's
  // algorithm on, the body of an answer on a kept-alive connection waits for
  // the client's delayed acknowledgement of the head (some 40 ms on Linux).
  // Set on the listening socket, which the accepted ones inherit.
  server.set_tcp_nodelay(true);
  const std::string where = options.host + ":" + std::to_string(options.port);
  if (options.port == 0)
    options.boundPort = server.bind_to_any_port(options.host);
  else if (server.bind_to_port(options.host, options.port))
    options.boundPort = options.port;
  if (options.boundPort <= 0) return StartFailed(program, "cannot listen on " + where);
  std::printf("listening on %d\n", options.boundPort);
  std::fflush(stdout);

  // The signal is taken by one thread with sigwait, so the server is stopped
  // outside a signal handler.
  std::atomic<bool> listenDone{false};
  std::atomic<bool> signalled{false};
  std::thread waiter([&] {
    const sigset_t set = StopSignals();
    int sig = 0;
    sigwait(&set, &sig);
    if (listenDone) return;  // woken by ourselves below
    signalled = true;
    // stop() does nothing before the accept loop runs: a signal right after
    // the "listening" line must still end the server.
    do {
      server.stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (!listenDone);
  });
  const bool served = server.listen_after_bind();
  listenDone = true;
  // The waiter must be gone before the server it stops; wake it when the
  // server ended by itself.
  if (!signalled) pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  if (!served && !signalled) return StartFailed(program, "the server stopped unexpectedly");
  std::cerr << program << ": stopped" << std::endl;
  return 0;
}

}  // namespace quorl::simcommon
