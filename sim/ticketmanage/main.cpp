// ticketmanage-sim: a local TicketManage web service on its own SQLite
// database, for demos and integration tests.

#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "sim/ticketmanage/SimDatabase.h"
#include "sim/ticketmanage/SoapEndpoint.h"
#include "sim/ticketmanage/TicketManageService.h"

#ifndef QUORL_TICKETMANAGE_NAMESPACE
#define QUORL_TICKETMANAGE_NAMESPACE "http://ticketmanage.quorl.local/"
#endif

namespace {

constexpr const char* kPath = "/services/TicketManage";
constexpr size_t kMaxRequestBytes = 4u * 1024u * 1024u;

void Usage(std::FILE* to) {
  std::fprintf(to,
               "usage: ticketmanage-sim --port N --db PATH [--seed] [--host ADDR] [--namespace URI]\n"
               "  Serves the TicketManage SOAP service at http://ADDR:PORT%s\n"
               "  and its WSDL at the same address with ?wsdl.\n"
               "  --port N         TCP port; 0 picks a free one\n"
               "  --db PATH        SQLite database of the service (created when missing)\n"
               "  --seed           add the demo members, bookings and operators\n"
               "  --host ADDR      address to listen on (default 127.0.0.1)\n"
               "  --namespace URI  namespace of the WSDL (default %s)\n"
               "  The first line on stdout is \"listening on PORT\". SIGINT or SIGTERM stop it.\n",
               kPath, QUORL_TICKETMANAGE_NAMESPACE);
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "ticketmanage-sim: %s\n", message.c_str());
  return 1;
}

// The Host header is the caller's; only a plain host[:port] goes into the
// WSDL, anything else falls back to the address we listen on.
bool IsPlainHost(const std::string& host) {
  if (host.empty() || host.size() > 255) return false;
  for (char c : host) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string portText, dbPath, host = "127.0.0.1", nameSpace = QUORL_TICKETMANAGE_NAMESPACE;
  bool seed = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    if (a == "-h" || a == "--help") {
      Usage(stdout);
      return 0;
    } else if (a == "--seed") {
      seed = true;
    } else if ((a == "--port" && value(portText)) || (a == "--db" && value(dbPath)) ||
               (a == "--host" && value(host)) || (a == "--namespace" && value(nameSpace))) {
    } else {
      Usage(stderr);
      return 2;
    }
  }
  char* end = nullptr;
  const long port = portText.empty() ? -1 : std::strtol(portText.c_str(), &end, 10);
  if (portText.empty() || *end != '\0' || port < 0 || port > 65535 || dbPath.empty()) {
    Usage(stderr);
    return 2;
  }

  // Signals are taken by one thread with sigwait, so stopping the server
  // happens outside a signal handler. Blocked before any thread exists, so
  // every server thread inherits the mask.
  // A parent that ignores these would have them discarded before sigwait.
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  try {
    quorl::sim::SimDatabase db(dbPath);
    if (seed) db.Seed();
    quorl::sim::TicketManageService service(db);
    quorl::sim::SoapEndpoint endpoint(service, nameSpace);
    std::mutex serviceLock;  // one database connection, one request at a time

    httplib::Server server;
    server.set_payload_max_length(kMaxRequestBytes);
    int boundPort = 0;
    std::atomic<bool> stopped{false};

    server.Get(kPath, [&](const httplib::Request& req, httplib::Response& res) {
      if (!req.has_param("wsdl")) {
        res.set_content("TicketManage service. WSDL: " + std::string(kPath) + "?wsdl\n", "text/plain");
        return;
      }
      std::string authority = req.get_header_value("Host");
      if (!IsPlainHost(authority)) authority = host + ":" + std::to_string(boundPort);
      res.set_content(endpoint.Wsdl("http://" + authority + kPath), "text/xml; charset=utf-8");
    });
    server.Post(kPath, [&](const httplib::Request& req, httplib::Response& res) {
      quorl::sim::SoapEndpoint::Reply reply;
      {
        std::lock_guard<std::mutex> lock(serviceLock);
        reply = endpoint.HandlePost(req.body);
      }
      res.status = reply.status;
      res.set_content(std::move(reply.body), "text/xml; charset=utf-8");
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
      // Oversized bodies (413) and unknown paths get a fault a SOAP client can read.
      if (res.body.empty())
        res.set_content(quorl::sim::SoapEndpoint::Fault(
                            "Client", "HTTP " + std::to_string(res.status) + " for this request"),
                        "text/xml; charset=utf-8");
    });

    if (port == 0) {
      boundPort = server.bind_to_any_port(host.c_str());
    } else if (server.bind_to_port(host.c_str(), static_cast<int>(port))) {
      boundPort = static_cast<int>(port);
    }
    if (boundPort <= 0) return Fail("cannot listen on " + host + ":" + portText);
    std::printf("listening on %d\n", boundPort);
    std::fflush(stdout);

    std::thread stopper([&] {
      int sig = 0;
      sigwait(&stopSignals, &sig);
      // stop() does nothing before listen_after_bind has started; a signal
      // right after the "listening" line must still end the server.
      do {
        server.stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      } while (!stopped.load());
    });
    const bool clean = server.listen_after_bind();
    stopped = true;
    // Wakes the stopper when the server ended without a signal.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    if (!clean) return Fail("server stopped with an error");
    return 0;
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
}
