// One member lookup per iteration over loopback on a kept-alive connection:
// GetUserInfo in connection mode "N" through the agent against
// ticketmanage-sim, and the platform client's card lookup against
// huitouke-sim. What it shows is the round trip the local services allow;
// an answer held back by the network stack shows as tens of milliseconds.
//
//   sim_lookup_bench [--sim-dir=DIR] [benchmark options]
// DIR holds ticketmanage-sim and huitouke-sim (default: this build's bin/),
// so the same program can measure other builds of the services.

#include <benchmark/benchmark.h>
#include <stdlib.h>

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
#include "support/ServerProcess.h"

namespace {

std::string simDir = quorl::test::BinaryDir() + "/bin";

constexpr const char* kPlatformKey = "bench-key";
constexpr const char* kMerchant = "BENCH-SBS";

// A temporary application folder with the demo host database, the package
// loaded, the address rows pointed at the two services.
class BenchHost {
 public:
  BenchHost() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorl-sim-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    service_ = std::make_unique<quorl::test::ServerProcess>(std::vector<std::string>{
        simDir + "/ticketmanage-sim", "--port", "0", "--db", dir_ + "/tm.db", "--seed"});
    platform_ = std::make_unique<quorl::test::ServerProcess>(
        std::vector<std::string>{simDir + "/huitouke-sim", "--port", "0", "--db", dir_ + "/htk.db", "--key",
                                 kPlatformKey, "--merchant", kMerchant, "--seed"});
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
    Finalize();
    service_.reset();
    platform_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string PlatformBase() const {
    return "http://127.0.0.1:" + std::to_string(platform_->Port()) + "/api/";
  }

 private:
  std::string dir_;
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
