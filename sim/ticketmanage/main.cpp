// ticketmanage-sim: a local TicketManage web service on its own SQLite
// database, for demos and integration tests.

#include <httplib.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "host/Database.h"
#include "sim/common/ServiceMain.h"
#include "sim/ticketmanage/SimDatabase.h"
#include "sim/ticketmanage/SoapEndpoint.h"
#include "sim/ticketmanage/TicketManageService.h"

#ifndef QUORL_TICKETMANAGE_NAMESPACE
#define QUORL_TICKETMANAGE_NAMESPACE "http://ticketmanage.quorl.local/"
#endif

namespace {

constexpr const char* kProgram = "ticketmanage-sim";
constexpr const char* kPath = "/services/TicketManage";
constexpr size_t kMaxRequestBytes = 4u * 1024u * 1024u;

// The Host header is the caller's; only a plain host[:port] goes into the
// WSDL, anything else falls back to the address we listen on.
bool IsPlainHost(const std::string& host) {
  if (host.empty() || host.size() > 255) return false;
  for (char c : host) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '-' || c == ':' || c == '[' || c == ']';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  namespace sc = quorl::simcommon;
  CLI::App app("Serves the TicketManage SOAP service at http://ADDR:PORT" + std::string(kPath) +
                   " (https with --tls-cert) and its WSDL at the same address with ?wsdl.",
               kProgram);
  sc::ServiceOptions options;
  sc::AddServiceOptions(app, options);
  bool seed = false;
  std::string nameSpace = QUORL_TICKETMANAGE_NAMESPACE;
  app.add_flag("--seed", seed, "add the demo members, bookings and operators");
  app.add_option("--namespace", nameSpace, "namespace of the WSDL")->capture_default_str();
  std::string stallOrder;
  int stallSeconds = 3;
  app.add_option("--stall-answer-to", stallOrder,
                 "for demos of a lost answer: the first posting of this order code is processed "
                 "(and charged), then its answer waits --stall-seconds before it is sent");
  app.add_option("--stall-seconds", stallSeconds, "how long that answer waits")
      ->capture_default_str()
      ->check(CLI::Range(1, 60));
  if (auto code = sc::ParseServiceOptions(app, argc, argv)) return *code;
  sc::BlockStopSignals();

  try {
    const std::unique_ptr<quorl::DatabaseConnection> db = quorl::sim::OpenSimDatabase(options.db);
    if (seed) quorl::sim::SeedSimDatabase(*db);
    quorl::sim::TicketManageService service(*db);
    quorl::sim::SoapEndpoint endpoint(service, nameSpace);
    std::mutex serviceLock;  // one database connection, one request at a time
    std::atomic<bool> stalled{false};

    const std::unique_ptr<httplib::Server> serverPtr = sc::MakeServer(options);
    httplib::Server& server = *serverPtr;
    server.set_payload_max_length(kMaxRequestBytes);
    server.Get(kPath, [&](const httplib::Request& req, httplib::Response& res) {
      if (!req.has_param("wsdl")) {
        res.set_content("TicketManage service. WSDL: " + std::string(kPath) + "?wsdl\n", "text/plain");
        return;
      }
      std::string authority = req.get_header_value("Host");
      if (!IsPlainHost(authority)) authority = options.host + ":" + std::to_string(options.boundPort);
      res.set_content(endpoint.Wsdl(sc::Scheme(options) + "://" + authority + kPath),
                      "text/xml; charset=utf-8");
    });
    server.Post(kPath, [&](const httplib::Request& req, httplib::Response& res) {
      quorl::sim::SoapEndpoint::Reply reply;
      {
        std::lock_guard<std::mutex> lock(serviceLock);
        reply = endpoint.HandlePost(req.body);
      }
      // The consumption document travels escaped inside the envelope.
      if (!stallOrder.empty() &&
          req.body.find("MC_OrderCode&gt;" + stallOrder + "&lt;/MC_OrderCode") != std::string::npos &&
          !stalled.exchange(true))
        std::this_thread::sleep_for(std::chrono::seconds(stallSeconds));
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
    return sc::Serve(server, options, kProgram);
  } catch (const std::exception& e) {
    return sc::StartFailed(kProgram, e.what());
  }
}
