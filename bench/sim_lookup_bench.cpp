// One member lookup per iteration over loopback on a kept-alive connection:
// GetUserInfo in connection mode "N" through the agent against
// ticketmanage-sim, and the platform client's card lookup against
// huitouke-sim. What it shows is the round trip the local services allow;
// an answer held back by the network stack shows as tens of milliseconds.
// The card lookup on a new connection each time, over HTTP (/0) and over
// HTTPS (/1, a CA and certificate made with `openssl` at start), gives the
// cost of the TLS handshake as the ratio of the two.
//
//   sim_lookup_bench [--sim-dir=DIR] [benchmark options]
// DIR holds ticketmanage-sim and huitouke-sim (default: this build's bin/),
// so the same program can measure other builds of the services.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "agent/IMemberSysAgent_ZEL.h"
#include "agent/PackageUnits.h"
#include "core/uCoreMemberSys_ZEL.h"
#include "host/HostDatabase.h"
#include "host/QuorlContext.h"
#include "huitouke/uHuiTouKe_ZEL.h"
#include "platform/Application.h"
#include "platform/ClientDataSet.h"
#include "platform/Http.h"
#include "support/ServerProcess.h"

namespace {

std::string simDir = quorl::test::BinaryDir() + "/bin";

constexpr const char* kPlatformKey = "bench-key";
constexpr const char* kMerchant = "BENCH-SBS";

// A temporary application folder with the demo host database, the package
// loaded, the address rows pointed at the two services.
// With tls, the platform serves HTTPS only, with a certificate signed by a
// CA made here, and the HTTP transport trusts that CA.
class BenchHost {
 public:
  explicit BenchHost(bool tls = false) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorl-sim-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    service_ = std::make_unique<quorl::test::ServerProcess>(std::vector<std::string>{
        simDir + "/ticketmanage-sim", "--port", "0", "--db", dir_ + "/tm.db", "--seed"});
    std::vector<std::string> platformArgs = {simDir + "/huitouke-sim",
                                             "--port",
                                             "0",
                                             "--db",
                                             dir_ + "/htk.db",
                                             "--key",
                                             kPlatformKey,
                                             "--merchant",
                                             kMerchant,
                                             "--seed"};
    if (tls) {
      MakeCertificates();
      platformArgs.insert(platformArgs.end(),
                          {"--tls-cert", dir_ + "/server.pem", "--tls-key", dir_ + "/server.key"});
      quorl::HttpTlsSettings settings;
      settings.caFile = dir_ + "/ca.pem";
      quorl::SetHttpTlsSettings(settings);
      scheme_ = "https";
    }
    platform_ = std::make_unique<quorl::test::ServerProcess>(platformArgs);
    if (service_->Port() == 0 || platform_->Port() == 0) throw std::runtime_error("a service did not start");
    const std::string db = dir_ + "/host.db";
    quorl::CreateHostDatabase(db, true);
    quorl::ExecuteSqlScript(db, "UPDATE QUORL_SOAPSERVER_ADDRESS SET SOAP_ADDR = 'http://127.0.0.1:" +
                                    std::to_string(service_->Port()) + "/services/TicketManage';");
    quorl::SetApplicationDirectory(dir_);
    quorl::SetHostSession(quorl::MakeContextString("N001", "G01", db));
    Initialize();
  }
  ~BenchHost() {
    quorl::SetHttpTlsSettings({});
    Finalize();
    service_.reset();
    platform_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string PlatformBase() const {
    return scheme_ + "://127.0.0.1:" + std::to_string(platform_->Port()) + "/api/";
  }

 private:
  void MakeCertificates() const {
    const std::string d = dir_ + "/";
    const std::string commands =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj /CN=BenchCA"
        " -keyout " +
        d + "ca.key -out " + d +
        "ca.pem && "
        "openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=127.0.0.1"
        " -keyout " +
        d + "server.key -out " + d +
        "server.csr && "
        "printf 'subjectAltName=IP:127.0.0.1\\n' > " +
        d +
        "server.ext && "
        "openssl x509 -req -in " +
        d + "server.csr -CA " + d + "ca.pem -CAkey " + d +
        "ca.key -CAcreateserial"
        " -days 2 -extfile " +
        d + "server.ext -out " + d + "server.pem";
    if (std::system(("(" + commands + ") 2>/dev/null").c_str()) != 0)
      throw std::runtime_error("openssl could not make the certificates");
  }

  std::string dir_;
  std::string scheme_ = "http";
  std::unique_ptr<quorl::test::ServerProcess> service_, platform_;
};

void BM_AgentLookupAgainstTicketManageSim(benchmark::State& state) {
  BenchHost host;
  quorl::IntfPtr<IMemberSysAgent_ZEL> agent = MemberSysAgentIntf();
  TQueryUserInfoConditionRecord_ZEL condition;
  condition.MemberNum = "8800000001";
  int members = 0;
  for (auto _ : state) {
    std::unique_ptr<TMemberUserInfoList_ZEL> list(agent->GetUserInfo(condition, "N"));
    members = list->Count();
  }
  agent.reset();
  if (members != 1) state.SkipWithError("the lookup did not find the member");
}
BENCHMARK(BM_AgentLookupAgainstTicketManageSim)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_PlatformCardLookupAgainstHuiTouKeSim(benchmark::State& state) {
  BenchHost host;
  _MemberSysSoapURL_ZEL = host.PlatformBase();
  _MemberCommercial_ZEL = std::string(kMerchant) + "|ST-01";
  _MemberPassWordKey_ZEL = kPlatformKey;
  THuiTouKe_ZEL client;
  int rows = 0;
  for (auto _ : state) {
    TClientDataSet cards;
    cards.SetData(client.GetCardInfo("13912345678", "123456"));
    rows = cards.RecordCount();
  }
  if (rows != 2) state.SkipWithError("the lookup did not find the cards");
}
BENCHMARK(BM_PlatformCardLookupAgainstHuiTouKeSim)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->UseRealTime();

// A new client, so a new connection, for every lookup: what a till pays for
// each connection it opens, over HTTP (0) or HTTPS (1).
void BM_PlatformCardLookupOnNewConnection(benchmark::State& state) {
  BenchHost host(state.range(0) == 1);
  _MemberSysSoapURL_ZEL = host.PlatformBase();
  _MemberCommercial_ZEL = std::string(kMerchant) + "|ST-01";
  _MemberPassWordKey_ZEL = kPlatformKey;
  int rows = 0;
  for (auto _ : state) {
    THuiTouKe_ZEL client;
    TClientDataSet cards;
    cards.SetData(client.GetCardInfo("13912345678", "123456"));
    rows = cards.RecordCount();
  }
  if (rows != 2) state.SkipWithError("the lookup did not find the cards");
}
BENCHMARK(BM_PlatformCardLookupOnNewConnection)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--sim-dir=", 10) == 0)
      simDir = argv[i] + 10;
    else
      rest.push_back(argv[i]);
  }
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  if (benchmark::ReportUnrecognizedArguments(count, rest.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
