// GetUserInfo in connection mode "N" through the agent, answered with 10,000
// members by a transport that hands back a prepared body: envelope writing,
// answer reading, the conversion to host text, the member-info document and
// the member list with its certificate type names. The peer is pugixml
// parsing the same answer body; the closing line prints the ratio.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <pugixml.hpp>
#include <string>

#include "agent/IMemberSysAgent_ZEL.h"
#include "agent/PackageUnits.h"
#include "bench/BenchSupport.h"
#include "host/HostDatabase.h"
#include "host/QuorlContext.h"
#include "platform/Application.h"
#include "platform/Http.h"

namespace {

constexpr int kMembers = 10000;

// Two answers of equal size that differ, so the data module never takes the
// "same text as before" shortcut.
const std::string& AnswerBody(int which) {
  static const std::string bodies[2] = {quorl::bench::MemberInfoAnswerBody(kMembers, 0),
                                        quorl::bench::MemberInfoAnswerBody(kMembers, 1)};
  return bodies[which & 1];
}

class PreparedTransport : public quorl::HttpTransport {
 public:
  quorl::HttpResponse Send(const quorl::HttpRequest& request) override {
    benchmark::DoNotOptimize(request.body.data());
    return {200, {}, AnswerBody(calls_++)};
  }

 private:
  static inline int calls_ = 0;
};

std::unique_ptr<quorl::HttpTransport> MakePrepared() { return std::make_unique<PreparedTransport>(); }

// A host database with the demo rows in a temporary application folder, the
// package loaded and the prepared transport in place.
class BenchHost {
 public:
  BenchHost() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorl-agent-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    const std::string db = dir_ + "/host.db";
    quorl::CreateHostDatabase(db, true);
    quorl::SetApplicationDirectory(dir_);
    quorl::SetHostSession(quorl::MakeContextString("N001", "G01", db));
    quorl::SetHttpTransportFactory(&MakePrepared);
    Initialize();
  }
  ~BenchHost() {
    Finalize();
    quorl::SetHttpTransportFactory(nullptr);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

 private:
  std::string dir_;
};

void BM_AgentGetUserInfoN(benchmark::State& state) {
  BenchHost host;
  quorl::IntfPtr<IMemberSysAgent_ZEL> agent = MemberSysAgentIntf();
  TQueryUserInfoConditionRecord_ZEL condition;
  condition.SkipMemberID = condition.SkipMemberNum = condition.SkipCertificateType = true;
  condition.MemberName = "\xd5\xc5";  // 张
  int members = 0;
  for (auto _ : state) {
    std::unique_ptr<TMemberUserInfoList_ZEL> list(agent->GetUserInfo(condition, "N"));
    members = list->Count();
    benchmark::DoNotOptimize(list.get());
  }
  agent.reset();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * AnswerBody(0).size()));
  state.counters["members"] = members;
}
BENCHMARK(BM_AgentGetUserInfoN)->Unit(benchmark::kMillisecond);

void BM_PugixmlParse(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) {
    const std::string& body = AnswerBody(i++);
    pugi::xml_document doc;
    pugi::xml_parse_result r = doc.load_buffer(body.data(), body.size());
    benchmark::DoNotOptimize(r.status);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * AnswerBody(0).size()));
}
BENCHMARK(BM_PugixmlParse)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return quorl::bench::RunWithRatio(
      argc, argv, "BM_AgentGetUserInfoN", "BM_PugixmlParse", "agent GetUserInfo(N)/pugixml-parse",
      "(body " + std::to_string(AnswerBody(0).size()) + " bytes, " + std::to_string(kMembers) + " members)");
}
