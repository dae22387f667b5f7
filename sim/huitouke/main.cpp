// huitouke-sim: a local stand-in for the HuiTouKe member platform, so the
// package's platform client runs end to end on one machine.

#include <httplib.h>

#include <CLI/CLI.hpp>
#include <exception>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "sim/common/ServiceMain.h"
#include "sim/huitouke/SimProtocol.h"
#include "sim/huitouke/SimService.h"
#include "sim/huitouke/SimStore.h"

namespace {

constexpr const char* kProgram = "huitouke-sim";

constexpr const char* kDescription =
    "Serves the HuiTouKe platform's requests over HTTP (HTTPS only with --tls-cert):\n"
    "  POST <base>get_card_list     member and cards by mobile, e-mail or card number\n"
    "  POST <base>ConsumeInfoPost   charge a card, once per order\n"
    "  GET  <base>view_invoice      a card's movements, 25 to a page\n"
    "Every request must carry sbs_id=ID and a valid signature made with KEY.";

// Enough to go far past any client's limit on a card's history; bounded so a
// typo cannot fill the disk.
constexpr int kMaxSeedMovements = 1000000;

// Request bodies are a few hundred bytes; anything near this is not ours.
constexpr size_t kMaxBodyBytes = 64 * 1024;

void Answer(httplib::Response& res, const std::string& json) {
  res.status = 200;
  res.set_content(json, "application/json; charset=utf-8");
}

}  // namespace

int main(int argc, char** argv) {
  namespace sc = quorl::simcommon;
  CLI::App app(kDescription, kProgram);
  sc::ServiceOptions options;
  sc::AddServiceOptions(app, options);
  std::string key, merchant, base = "/api/";
  bool seed = false;
  int seedMovements = quorl::htksim::SimStore::kSeedMovements;
  app.add_option("--key", key, "the shared platform key")->required();
  app.add_option("--merchant", merchant, "the merchant identifier accepted in sbs_id")->required();
  CLI::Option* seedFlag =
      app.add_flag("--seed", seed, "add demo members, cards and movements to an empty database");
  app.add_option(
         "--seed-movements", seedMovements,
         "with --seed: card 8600000001 gets N movements instead of 60, e.g. more than a client fetches")
      ->check(CLI::Range(0, kMaxSeedMovements))
      ->needs(seedFlag);
  app.add_option("--base", base, "path before the method names")
      ->capture_default_str()
      ->check(
          [](const std::string& v) { return !v.empty() && v.front() == '/' ? "" : "must start with '/'"; });
  if (auto code = sc::ParseServiceOptions(app, argc, argv)) return *code;
  sc::BlockStopSignals();

  try {
    quorl::htksim::SimStore store(options.db);
    if (seed) store.Seed(seedMovements);
    quorl::htksim::SimService service(store, {key, merchant});

    const std::unique_ptr<httplib::Server> serverPtr = sc::MakeServer(options);
    httplib::Server& server = *serverPtr;
    server.set_payload_max_length(kMaxBodyBytes);
    server.set_read_timeout(10);
    server.set_write_timeout(10);
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
      res.status = 500;
      const nlohmann::ordered_json answer = {
          {"code", "A00009"}, {"msg", "internal error"}, {"result", "internal error"}};
      res.set_content(answer.dump(), "application/json; charset=utf-8");
    });
    server.Post(base + "get_card_list", [&](const httplib::Request& req, httplib::Response& res) {
      Answer(res, service.GetCardList(quorl::htksim::ParseFormBody(req.body)));
    });
    server.Post(base + "ConsumeInfoPost", [&](const httplib::Request& req, httplib::Response& res) {
      Answer(res, service.ConsumeInfoPost(quorl::htksim::ParseFormBody(req.body)));
    });
    server.Get(base + "view_invoice", [&](const httplib::Request& req, httplib::Response& res) {
      Answer(res, service.ViewInvoice(quorl::htksim::ParseRawQuery(req.target)));
    });
    return sc::Serve(server, options, kProgram);
  } catch (const std::exception& e) {
    return sc::StartFailed(kProgram, e.what());
  }
}
