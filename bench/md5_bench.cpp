// MD5 speed of the md5 unit against OpenSSL in the same run: throughput on a
// large buffer, and digests per second of short texts (the package's real
// load: signatures and password digests are short).
//   build/bin/md5_bench [--benchmark_filter=Bulk]
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/md5.h>

#include <cstdint>
#include <string>
#include <vector>

#include "huitouke/md5.h"

namespace {

constexpr size_t kBulkSize = size_t{64} << 20;
constexpr size_t kTextSize = 64;

const std::vector<uint8_t>& BulkBuffer() {
  static const std::vector<uint8_t> buffer = [] {
    std::vector<uint8_t> b(kBulkSize);
    uint32_t x = 2463534242u;
    for (auto& byte : b) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      byte = static_cast<uint8_t>(x);
    }
    return b;
  }();
  return buffer;
}

// 64-byte texts that differ from one call to the next, like signed requests.
std::string Text(uint64_t i) {
  std::string text(kTextSize, 'k');
  for (int j = 0; j < 16; ++j) text[j] = static_cast<char>('0' + (i >> (4 * j) & 15));
  return text;
}

// The low-level MD5() is deprecated in OpenSSL 3 but is still its fastest path.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
void OpensslMd5(const void* data, size_t size, unsigned char* out) {
  MD5(static_cast<const unsigned char*>(data), size, out);
}
#pragma GCC diagnostic pop

void OpensslEvp(const void* data, size_t size, unsigned char* out) {
  EVP_Digest(data, size, out, nullptr, EVP_md5(), nullptr);
}

void BM_Bulk_Ours(benchmark::State& state) {
  const auto& buffer = BulkBuffer();
  for (auto _ : state) {
    MD5Context context;
    MD5Init(context);
    MD5Update(context, buffer.data(), static_cast<uint32_t>(buffer.size()));
    MD5Digest digest;
    MD5Final(context, digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buffer.size()));
}

void BM_Bulk_OpenSSL_MD5(benchmark::State& state) {
  const auto& buffer = BulkBuffer();
  unsigned char digest[16];
  for (auto _ : state) {
    OpensslMd5(buffer.data(), buffer.size(), digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buffer.size()));
}

void BM_Bulk_OpenSSL_EVP(benchmark::State& state) {
  const auto& buffer = BulkBuffer();
  unsigned char digest[16];
  for (auto _ : state) {
    OpensslEvp(buffer.data(), buffer.size(), digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buffer.size()));
}

void BM_Text64_Ours(benchmark::State& state) {
  std::vector<std::string> texts;
  for (uint64_t i = 0; i < 256; ++i) texts.push_back(Text(i));
  size_t i = 0;
  for (auto _ : state) {
    MD5Digest digest = MD5String(texts[i++ & 255]);
    benchmark::DoNotOptimize(digest);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_Text64_OpenSSL_MD5(benchmark::State& state) {
  std::vector<std::string> texts;
  for (uint64_t i = 0; i < 256; ++i) texts.push_back(Text(i));
  size_t i = 0;
  unsigned char digest[16];
  for (auto _ : state) {
    const std::string& text = texts[i++ & 255];
    OpensslMd5(text.data(), text.size(), digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_Text64_OpenSSL_EVP(benchmark::State& state) {
  std::vector<std::string> texts;
  for (uint64_t i = 0; i < 256; ++i) texts.push_back(Text(i));
  size_t i = 0;
  unsigned char digest[16];
  for (auto _ : state) {
    const std::string& text = texts[i++ & 255];
    OpensslEvp(text.data(), text.size(), digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_Bulk_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bulk_OpenSSL_MD5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bulk_OpenSSL_EVP)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Text64_Ours);
BENCHMARK(BM_Text64_OpenSSL_MD5);
BENCHMARK(BM_Text64_OpenSSL_EVP);

}  // namespace

BENCHMARK_MAIN();
