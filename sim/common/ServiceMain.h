// The start-up both local services share: the common options, binding
// (port 0 picks a free one), the "listening on PORT" line that tests and
// scripts wait for, and a clean stop on SIGINT or SIGTERM.
//
//   CLI::App app(description, program);
//   ServiceOptions options;
//   AddServiceOptions(app, options);      // then the service's own options
//   if (auto code = ParseServiceOptions(app, argc, argv)) return *code;
//   BlockStopSignals();                   // before any thread exists
//   ... open the data, install the routes ...
//   return Serve(server, options, program);
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace CLI {
class App;
}
namespace httplib {
class Server;
}

namespace quorl::simcommon {

struct ServiceOptions {
  int port = -1;
  std::string db;
  std::string host = "127.0.0.1";
  int boundPort = 0;  // set by Serve once bound, before any request is answered
  // With a certificate the service speaks HTTPS only; with a client CA it
  // also demands a client certificate signed by it.
  std::string tlsCert, tlsKey, clientCa;
};

// --port N (0 to 65535) and --db PATH, both required, --host ADDR, and
// --tls-cert FILE --tls-key FILE [--client-ca FILE].
void AddServiceOptions(CLI::App& app, ServiceOptions& options);

// Parses argv. Returns an exit code when the program should end now: 0 after
// printing --help, 2 (message on stderr) for options it does not accept.
std::optional<int> ParseServiceOptions(CLI::App& app, int argc, char** argv);

// The server the options ask for: plain HTTP, or HTTPS with the PEM
// certificate and key. Raises std::runtime_error when they cannot be loaded.
std::unique_ptr<httplib::Server> MakeServer(const ServiceOptions& options);
// "https" or "http", for the addresses a service hands out about itself.
std::string Scheme(const ServiceOptions& options);

// Blocks SIGINT and SIGTERM in the calling thread, so every thread started
// afterwards inherits the mask and only Serve's waiter receives them, and
// ignores SIGPIPE (a client that hangs up must not end the service).
void BlockStopSignals();

// Turns Nagle's algorithm off for every connection (an answer goes out at
// once), binds options.host:options.port, prints "listening on PORT" as the first
// line on stdout and serves until SIGINT or SIGTERM. Returns 0 after a clean
// stop, 1 (message on stderr, prefixed with program) when it cannot bind or
// the server fails.
int Serve(httplib::Server& server, ServiceOptions& options, const std::string& program);

// Reports a failure to start on stderr as "program: message"; returns 1.
int StartFailed(const std::string& program, const std::string& message);

}  // namespace quorl::simcommon
