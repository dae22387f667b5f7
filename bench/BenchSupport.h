// Pieces the benchmark programs share: the member-info answer of the web
// service with many members, and a main() that runs the benchmarks
// interleaved and prints the ratio of ours to the peer's.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace quorl::bench {

inline void XmlEscape(std::string& out, const std::string& text) {
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
}

// A getUserInfo2 answer as the service sends it: the member-info document
// with `members` members, escaped as the text of the return part (UTF-8).
// `variant` changes one member's name, so two answers of equal size differ.
inline std::string MemberInfoAnswerBody(int members, int variant = 0) {
  std::string doc = "<data>";
  for (int i = 0; i < members; ++i) {
    const std::string id = std::to_string(100000 + i);
    const std::string name = i == 0 ? "变体" + std::to_string(variant % 10) : "张伟" + std::to_string(i % 97);
    doc += "<dataitem memberID=\"" + id + "\" memberNum=\"88" + id + "\" memberValid=\"1\" memberName=\"" +
           name +
           "\" memberType=\"03\" memberTypeName=\"金卡会员\" cardType=\"A\" cardTypeName=\"储值卡\" "
           "certificateType=\"01\" certificateNum=\"1101011980010" +
           id + "\" phoneNum=\"010-62001001\" mobileNum=\"138" + id +
           "\" sAddress=\"北京市海淀区中关村大街1号\" sEmail=\"member" + id +
           "@example.com\" cardstatus=\"2\" memberBalance=\"500.00\" isfeesmember=\"1\" Points=\"1200\" "
           "memberGroupcode=\"G01\" PayPassword=\"e10adc3949ba59abbe56e057f20f883e\" IsOneCard=\"0\" "
           "ConsumePoints=\"2\" ConsumeMoney=\"360.00\"/>";
  }
  doc += "</data>";
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope "
      "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><SOAP-ENV:Body>"
      "<NS1:getUserInfo2Response xmlns:NS1=\"http://ticketmanage.quorl.local/\">"
      "<return xsi:type=\"xsd:string\">";
  XmlEscape(out, doc);
  out += "</return></NS1:getUserInfo2Response></SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
  return out;
}

// Keeps each benchmark's CPU time per iteration (the median when repeated)
// for the closing ratio. CPU time, because the machine is shared and wall
// time swings with the load of others.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
      const bool single = r.run_type == Run::RT_Iteration && r.repetitions <= 1;
      if ((median || single) && r.iterations > 0)
        perIteration[r.run_name.function_name] = r.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> perIteration;
};

// Runs the registered benchmarks (without arguments: five interleaved
// repetitions, so that both sides see the same load) and prints
// "ratio LABEL (CPU time): R.RRx NOTE" for ours against peer's medians.
inline int RunWithRatio(int argc, char** argv, const char* ours, const char* peer, const char* label,
                        const std::string& note) {
  std::vector<char*> args(argv, argv + argc);
  std::string reps = "--benchmark_repetitions=5", interleave = "--benchmark_enable_random_interleaving=true";
  if (argc == 1) {
    args.push_back(reps.data());
    args.push_back(interleave.data());
  }
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  if (benchmark::ReportUnrecognizedArguments(n, args.data())) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  auto a = reporter.perIteration.find(ours);
  auto b = reporter.perIteration.find(peer);
  if (a != reporter.perIteration.end() && b != reporter.perIteration.end() && b->second > 0)
    std::printf("ratio %s (CPU time): %.2fx %s\n", label, a->second / b->second, note.c_str());
  return 0;
}

}  // namespace quorl::bench
