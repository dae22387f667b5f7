// huitouke-sim under postings of one order number that arrive at once: the
// check of the stored order and the charge must be one step, so exactly one
// consumption is charged and every posting of another is refused.

#include <gtest/gtest.h>
#include <httplib.h>
#include <openssl/evp.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "support/ServerProcess.h"
#include "support/TempFolder.h"
#include "support/TestPaths.h"

namespace {

constexpr const char* kKey = "race-key";
constexpr const char* kMerchant = "SBS-R";

std::string Md5Hex(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(text.data(), text.size(), digest, &size, EVP_md5(), nullptr);
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", digest[i]);
    hex += two;
  }
  return hex;
}

// A signed ConsumeInfoPost form body (ASCII values, so nothing to encode).
std::string ConsumeBody(const std::string& card, const std::string& order, const std::string& money,
                        const std::string& points) {
  const std::vector<std::pair<std::string, std::string>> fields = {
      {"sbs_id", kMerchant}, {"store_id", "ST-1"}, {"card_no", card}, {"order_no", order},
      {"money", money},      {"points", points},   {"emp_no", "1001"}};
  std::string body, signedText;
  for (const auto& [name, value] : fields) {
    body += name + "=" + value + "&";
    signedText += value;
  }
  return body + "sign=" + Md5Hex(signedText + kKey);
}

TEST(HuiTouKeSimOrderRace, OneOrderNumberPostedAtOnceWithTwoContentsIsChargedOnce) {
  quorl::test::TempFolder folder;
  quorl::test::ServerProcess sim({quorl::test::BinaryDir() + "/bin/huitouke-sim", "--port", "0", "--db",
                                  folder.File("htk.db"), "--key", kKey, "--merchant", kMerchant, "--seed"});
  ASSERT_GT(sim.Port(), 0) << sim.FirstLine();
  // Card 8600000001 has 500.00 and 1200 points. Each round posts one order
  // from 8 threads, half of them as another consumption: other money, other
  // points or another card, by turns.
  constexpr int kRounds = 6;
  constexpr int kThreads = 8;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::string order = "RACE-" + std::to_string(round);
    const std::string first = ConsumeBody("8600000001", order, "1.00", "1");
    const std::string second = round % 3 == 0   ? ConsumeBody("8600000001", order, "2.00", "1")
                               : round % 3 == 1 ? ConsumeBody("8600000001", order, "1.00", "2")
                                                : ConsumeBody("8600000002", order, "1.00", "1");
    std::vector<std::string> answers(kThreads);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
      threads.emplace_back([&, i] {
        ++ready;
        while (ready < kThreads) std::this_thread::yield();
        httplib::Client client("127.0.0.1", sim.Port());
        client.set_read_timeout(10, 0);
        const auto res = client.Post("/api/ConsumeInfoPost", i % 2 == 0 ? first : second,
                                     "application/x-www-form-urlencoded");
        answers[i] = res ? res->body : "no answer";
      });
    for (std::thread& t : threads) t.join();

    const bool firstWon = answers[0].find("\"A00006\"") != std::string::npos;
    int charged = 0;
    for (int i = 0; i < kThreads; ++i) {
      const bool sameAsWinner = (i % 2 == 0) == firstWon;
      EXPECT_NE(answers[i].find(sameAsWinner ? "\"A00006\"" : "\"A00001\""), std::string::npos)
          << "posting " << i << ": " << answers[i];
      if (answers[i].find("消费成功") != std::string::npos) ++charged;
    }
    EXPECT_EQ(charged, 1);
  }
}

}  // namespace
