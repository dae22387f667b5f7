// GetUserInfo in connection mode "N" through the agent, answered with 10,000
// members by a transport that hands back a prepared body: envelope writing,
// answer reading, the conversion to host text, the member-info document and
// the member list with its certificate type names. The peer is pugixml
// parsing the same answer body; the closing line prints the ratio.
//
// Then, in a process of its own (the program started again with
// --peak-memory), the memory of one lookup: the peak resident size during
// the call above the resident size before it, the returned list included,
// against the answer's size; and the same for pugixml's parse of the body.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
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

// A kB figure of /proc/self/status ("VmRSS", "VmHWM"); -1 when missing.
long StatusKb(const char* key) {
  std::ifstream status("/proc/self/status");
  const size_t n = std::strlen(key);
  for (std::string line; std::getline(status, line);)
    if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':')
      return std::atol(line.c_str() + n + 1);
  return -1;
}

// Peak resident kB while run() runs, above the resident size before it.
template <typename Run>
long ExtraPeakKb(Run run) {
  malloc_trim(0);
  const long before = StatusKb("VmRSS");
  // Writing 5 sets the peak (VmHWM) back to the current resident size.
  std::ofstream("/proc/self/clear_refs") << "5";
  run();
  return StatusKb("VmHWM") - before;
}

int MeasurePeakMemory() {
  // Blocks above 64 kB come from mmap and freed memory goes back at once,
  // so that resident memory follows what is allocated: memory freed by the
  // warm-up and used again would otherwise hide part of the peak.
  mallopt(M_MMAP_THRESHOLD, 64 * 1024);
  mallopt(M_TRIM_THRESHOLD, 64 * 1024);
  const double answer = static_cast<double>(AnswerBody(0).size());
  long lookupKb = 0;
  {
    BenchHost host;
    quorl::IntfPtr<IMemberSysAgent_ZEL> agent = MemberSysAgentIntf();
    TQueryUserInfoConditionRecord_ZEL condition;
    condition.MemberName = "\xd5\xc5";
    // The first lookup opens the database and loads the certificate table;
    // the one measured reads the other answer, so nothing is skipped.
    delete agent->GetUserInfo(condition, "N");
    std::unique_ptr<TMemberUserInfoList_ZEL> list;
    lookupKb = ExtraPeakKb([&] { list.reset(agent->GetUserInfo(condition, "N")); });
    if (!list || list->Count() != kMembers) return 1;
  }
  const long pugixmlKb = ExtraPeakKb([] {
    pugi::xml_document doc;
    if (!doc.load_buffer(AnswerBody(0).data(), AnswerBody(0).size())) std::abort();
  });
  const double lookup = static_cast<double>(lookupKb) * 1024, pugixml = static_cast<double>(pugixmlKb) * 1024;
  std::printf(
      "peak memory of one GetUserInfo(N) above the resident size before it, the returned list included: "
      "%.1f MB = %.2fx the answer (%.1f MB); pugixml parse of the answer: %.1f MB = %.2fx\n",
      lookup / 1e6, lookup / answer, answer / 1e6, pugixml / 1e6, pugixml / answer);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--peak-memory") == 0) return MeasurePeakMemory();
  const int rc = quorl::bench::RunWithRatio(
      argc, argv, "BM_AgentGetUserInfoN", "BM_PugixmlParse", "agent GetUserInfo(N)/pugixml-parse",
      "(body " + std::to_string(AnswerBody(0).size()) + " bytes, " + std::to_string(kMembers) + " members)");
  std::fflush(stdout);
  // A fresh process: the benchmark runs above have grown this one's heap.
  const pid_t child = fork();
  if (child == 0) {
    execl("/proc/self/exe", argv[0], "--peak-memory", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    std::fprintf(stderr, "peak memory measurement failed\n");
  return rc;
}
