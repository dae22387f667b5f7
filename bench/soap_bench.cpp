// The SOAP client's own cost for one "getUserInfo2" call answered with
// 10,000 members: envelope writing, answer reading and the conversion of the
// result to UTF-16, through a transport that hands back a prepared body.
// The peer is pugixml parsing the same answer body; the closing line prints
// the ratio of the two.

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Http.h"
#include "soap/THTTPRIO.h"
#include "soap/TicketManage_WSDL.h"

namespace {

constexpr int kMembers = 10000;

void Escape(std::string& out, const std::string& text) {
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
}

// An answer as the service sends it: the member-info document escaped as the
// text of the return part.
const std::string& AnswerBody() {
  static const std::string body = [] {
    std::string doc = "<data>";
    for (int i = 0; i < kMembers; ++i) {
      const std::string id = std::to_string(100000 + i);
      doc += "<dataitem memberID=\"" + id + "\" memberNum=\"88" + id +
             "\" memberValid=\"1\" memberName=\"张伟" + std::to_string(i % 97) +
             "\" memberType=\"03\" memberTypeName=\"金卡会员\" cardType=\"A\" cardTypeName=\"储值卡\" "
             "certificateType=\"01\" certificateNum=\"1101011980010" + id +
             "\" phoneNum=\"010-62001001\" mobileNum=\"138" + id +
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
    Escape(out, doc);
    out += "</return></NS1:getUserInfo2Response></SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
    return out;
  }();
  return body;
}

class PreparedTransport : public quorl::HttpTransport {
 public:
  quorl::HttpResponse Send(const quorl::HttpRequest& request) override {
    benchmark::DoNotOptimize(request.body.data());
    return {200, {}, AnswerBody()};
  }
};

std::unique_ptr<quorl::HttpTransport> MakePrepared() { return std::make_unique<PreparedTransport>(); }

void BM_ClientGetUserInfo2(benchmark::State& state) {
  TicketManage_WSDL_Initialize();
  quorl::SetHttpTransportFactory(&MakePrepared);
  THTTPRIO* rio = new THTTPRIO();
  rio->Converter().Include(quorl::SoapConvertOption::UTF8Text);
  rio->Converter().Exclude(quorl::SoapConvertOption::StrictAnswerTypes);
  quorl::IntfPtr<TicketManage> svc = GetTicketManage(false, "http://bench/services/TicketManage", rio);
  size_t chars = 0;
  for (auto _ : state) {
    std::u16string answer = svc->getUserInfo2(u"", u"", u"张", u"", u"", u"", u"", u"G01");
    chars = answer.size();
    benchmark::DoNotOptimize(answer.data());
  }
  quorl::SetHttpTransportFactory(nullptr);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * AnswerBody().size()));
  state.counters["result_chars"] = static_cast<double>(chars);
}
BENCHMARK(BM_ClientGetUserInfo2)->Unit(benchmark::kMillisecond);

void BM_PugixmlParse(benchmark::State& state) {
  const std::string& body = AnswerBody();
  for (auto _ : state) {
    pugi::xml_document doc;
    pugi::xml_parse_result r = doc.load_buffer(body.data(), body.size());
    benchmark::DoNotOptimize(r.status);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_PugixmlParse)->Unit(benchmark::kMillisecond);

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

}  // namespace

int main(int argc, char** argv) {
  // Without arguments: five interleaved repetitions, so that both sides see
  // the same load; the ratio is taken between the medians.
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
  auto client = reporter.perIteration.find("BM_ClientGetUserInfo2");
  auto peer = reporter.perIteration.find("BM_PugixmlParse");
  if (client != reporter.perIteration.end() && peer != reporter.perIteration.end() && peer->second > 0)
    std::printf("ratio client/pugixml-parse (CPU time): %.2fx (body %zu bytes, %d members)\n",
                client->second / peer->second, AnswerBody().size(), kMembers);
  return 0;
}
