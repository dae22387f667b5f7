// Reading a member-info answer of 10,000 "dataitem" elements into a member
// list (SetXmlString + GetUserInfoList), against pugixml's bare parse of the
// same text in the same run; the ratio of the two times is the figure to
// watch. The certificate type table comes from a
// temporary host database, as in the package.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <pugixml.hpp>
#include <string>

#include "bench/BenchSupport.h"
#include "host/HostDatabase.h"
#include "host/QuorlContext.h"
#include "memberdata/uMemberUserInfoXmlDM_ZEL.h"
#include "platform/CodePage.h"

namespace {

constexpr int kItems = 10000;

std::string MemberInfoAnswer() {
  const std::string name = quorl::Utf8ToGbk("张三丰");
  const std::string address = quorl::Utf8ToGbk("北京市朝阳区建国路 88 号");
  std::string xml = "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n<data>\r\n";
  for (int i = 0; i < kItems; ++i) {
    const std::string n = std::to_string(i);
    xml += "<dataitem memberID=\"" + std::to_string(100000 + i) + "\" memberNum=\"8001" + n +
           "\" memberValid=\"1\" memberName=\"" + name + n +
           "\" memberType=\"2\" memberTypeName=\"Gold\" cardType=\"1\" cardTypeName=\"IC\" "
           "certificateType=\"0" +
           std::to_string(1 + i % 2) + "\" certificateNum=\"11010119900101" + n + "\" phoneNum=\"010-6500" +
           n + "\" mobileNum=\"1380000" + n + "\" sAddress=\"" + address + "\" sEmail=\"m" + n +
           "@example.com\" cardstatus=\"2\" memberBalance=\"120.50\" "
           "isfeesmember=\"1\" Points=\"300\" memberGroupcode=\"G1\" PayPassword=\"e10adc3949ba\" "
           "IsOneCard=\"0\" ConsumePoints=\"1\" ConsumeMoney=\"0\"/>\r\n";
  }
  xml += "</data>\r\n";
  return xml;
}

const std::string& Answer() {
  static const std::string text = MemberInfoAnswer();
  return text;
}

// A host database with two certificate types, so every record does a real look-up.
void SetUpCertificateTable() {
  static const std::string folder = [] {
    std::string templ = std::filesystem::temp_directory_path().string() + "/quorl-bench-XXXXXX";
    if (::mkdtemp(templ.data()) == nullptr) std::abort();
    return templ;
  }();
  const std::string db = folder + "/host.db";
  quorl::CreateHostDatabase(db, false);
  quorl::ExecuteSqlScript(db,
                          "DELETE FROM QUORL_MEMBER_IDENTTYPE;"
                          "INSERT INTO QUORL_MEMBER_IDENTTYPE VALUES "
                          "(1, '身份证', '01', 'B1'), (2, '护照', '02', 'B1');");
  quorl::SetHostSession(quorl::MakeContextString("B1", "G1", db));
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  });
}

void BM_PugixmlParse(benchmark::State& state) {
  const std::string& text = Answer();
  for (auto _ : state) {
    pugi::xml_document doc;
    benchmark::DoNotOptimize(doc.load_buffer(text.data(), text.size()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_PugixmlParse)->Unit(benchmark::kMillisecond);

// The agent keeps one module and hands it each answer; two answers that
// differ in one byte alternate so every call parses. The caller frees its
// list outside the timed region (BM_FreeMemberList measures that alone).
void BM_MemberInfoToList(benchmark::State& state) {
  const std::string& a = Answer();
  std::string b = a;
  b[b.size() - 1] = ' ';
  TMemberUserInfoXmlDM_ZEL dm;
  bool odd = false;
  for (auto _ : state) {
    odd = !odd;
    dm.SetXmlString(odd ? a : b);
    std::unique_ptr<TMemberUserInfoList_ZEL> list(dm.GetUserInfoList());
    if (list->Count() != kItems) state.SkipWithError("wrong member count");
    state.PauseTiming();
    list.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * a.size()));
}
BENCHMARK(BM_MemberInfoToList)->Unit(benchmark::kMillisecond);

void BM_FreeMemberList(benchmark::State& state) {
  TMemberUserInfoXmlDM_ZEL dm(Answer());
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<TMemberUserInfoList_ZEL> list(dm.GetUserInfoList());
    state.ResumeTiming();
    list.reset();
  }
}
BENCHMARK(BM_FreeMemberList)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  SetUpCertificateTable();
  return quorl::bench::RunWithRatio(
      argc, argv, "BM_MemberInfoToList", "BM_PugixmlParse", "member-info/pugixml-parse",
      "(text " + std::to_string(Answer().size()) + " bytes, " + std::to_string(kItems) + " members)");
}
