// Parse and compact-generation throughput of uVxJSON against RapidJSON and
// nlohmann::json on the usual corpora (twitter, citm_catalog, canada).
//
// Every benchmark reports MB/s of the corpus file's size, so the figures of
// the three libraries compare as time ratios. Parse iterations include
// freeing the document, as a caller that parses an answer and drops it pays.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "json/uVxJSON.h"

namespace {

const char* const kCorpora[] = {"twitter", "citm_catalog", "canada"};

std::string ReadCorpus(const std::string& name) {
  const std::string path = std::string(QUORL_BENCH_DATA_DIR) + "/json/" + name + ".json";
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void ParseVx(benchmark::State& state, const std::string* text) {
  for (auto _ : state) {
    std::unique_ptr<TvxJSONbase> tree(TvxJSON::ParseText(*text));
    if (!tree) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(tree.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text->size()));
}

void ParseRapid(benchmark::State& state, const std::string* text) {
  for (auto _ : state) {
    rapidjson::Document doc;
    doc.Parse(text->data(), text->size());
    if (doc.HasParseError()) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(&doc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text->size()));
}

void ParseNlohmann(benchmark::State& state, const std::string* text) {
  for (auto _ : state) {
    nlohmann::json doc = nlohmann::json::parse(*text);
    benchmark::DoNotOptimize(&doc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text->size()));
}

void GenerateVx(benchmark::State& state, const std::string* text) {
  std::unique_ptr<TvxJSONbase> tree(TvxJSON::ParseText(*text));
  for (auto _ : state) {
    AnsiString out = TvxJSON::GenerateText(tree.get());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text->size()));
}

void GenerateRapid(benchmark::State& state, const std::string* text) {
  rapidjson::Document doc;
  doc.Parse(text->data(), text->size());
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    doc.Accept(writer);
    benchmark::DoNotOptimize(buffer.GetString());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text->size()));
}

void GenerateNlohmann(benchmark::State& state, const std::string* text) {
  const nlohmann::json doc = nlohmann::json::parse(*text);
  for (auto _ : state) {
    std::string out = doc.dump();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text->size()));
}

}  // namespace

int main(int argc, char** argv) {
  static std::vector<std::unique_ptr<std::string>> texts;
  for (const char* name : kCorpora) {
    auto text = std::make_unique<std::string>(ReadCorpus(name));
    if (text->empty()) {
      std::cerr << "json_bench: corpus " << name << " not found under " << QUORL_BENCH_DATA_DIR << "/json\n";
      return 1;
    }
    const std::string* t = text.get();
    const std::string n = name;
    benchmark::RegisterBenchmark(("Parse/vxjson/" + n).c_str(), ParseVx, t);
    benchmark::RegisterBenchmark(("Parse/rapidjson/" + n).c_str(), ParseRapid, t);
    benchmark::RegisterBenchmark(("Parse/nlohmann/" + n).c_str(), ParseNlohmann, t);
    benchmark::RegisterBenchmark(("Generate/vxjson/" + n).c_str(), GenerateVx, t);
    benchmark::RegisterBenchmark(("Generate/rapidjson/" + n).c_str(), GenerateRapid, t);
    benchmark::RegisterBenchmark(("Generate/nlohmann/" + n).c_str(), GenerateNlohmann, t);
    texts.push_back(std::move(text));
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
