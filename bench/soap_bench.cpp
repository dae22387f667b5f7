// The SOAP client's own cost for one "getUserInfo2" call answered with
// 10,000 members: envelope writing, answer reading and the conversion of the
// result to UTF-16, through a transport that hands back a prepared body
// (prepared outside the timing).
// The peer is pugixml parsing the same answer body; the closing line prints
// the ratio of the two.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "platform/Http.h"
#include "soap/THTTPRIO.h"
#include "soap/TicketManage_WSDL.h"

namespace {

constexpr int kMembers = 10000;

// An answer as the service sends it: the member-info document escaped as the
// text of the return part.
const std::string& AnswerBody() {
  static const std::string body = quorl::bench::MemberInfoAnswerBody(kMembers);
  return body;
}

// The next answer body, copied while the clock is paused: a real transport
// builds the body from what it receives, and copying 7.9 MB is that
// transport's work, not the client's.
std::string& NextBody() {
  static std::string next;
  return next;
}

class PreparedTransport : public quorl::HttpTransport {
 public:
  quorl::HttpResponse Send(const quorl::HttpRequest& request) override {
    benchmark::DoNotOptimize(request.body.data());
    return {200, {}, std::move(NextBody())};
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
    state.PauseTiming();
    NextBody() = AnswerBody();
    state.ResumeTiming();
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

}  // namespace

int main(int argc, char** argv) {
  return quorl::bench::RunWithRatio(
      argc, argv, "BM_ClientGetUserInfo2", "BM_PugixmlParse", "client/pugixml-parse",
      "(body " + std::to_string(AnswerBody().size()) + " bytes, " + std::to_string(kMembers) + " members)");
}
