// ticketmanage-sim under postings of one order code that arrive at once:
// the check of the stored order and the charge must be one step, so exactly
// one consumption is charged and every posting of another is refused.

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <cstdio>
#include <pugixml.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "soap/SimProcess.h"
#include "support/TempFolder.h"

namespace {

// One RPC call as raw SOAP; the service takes an unqualified call as its own.
std::string Envelope(const std::string& operation, const std::string& part, const std::string& value) {
  pugi::xml_document doc;
  pugi::xml_node env = doc.append_child("soap:Envelope");
  env.append_attribute("xmlns:soap") = "http://schemas.xmlsoap.org/soap/envelope/";
  pugi::xml_node call = env.append_child("soap:Body").append_child(operation.c_str());
  call.append_child(part.c_str()).text() = value.c_str();
  std::ostringstream out;
  doc.save(out, "", pugi::format_raw);
  return out.str();
}

// The text of the answer's "return" element, or "fault" / "no answer".
std::string Call(const quorl::test::TicketManageSim& sim, const std::string& operation,
                 const std::string& part, const std::string& value) {
  httplib::Client client("127.0.0.1", sim.Port());
  client.set_read_timeout(10, 0);
  const auto res = client.Post("/services/TicketManage", Envelope(operation, part, value), "text/xml");
  if (!res) return "no answer";
  pugi::xml_document doc;
  doc.load_string(res->body.c_str());
  const pugi::xpath_node ret = doc.select_node("//*[local-name()='return']");
  return ret ? ret.node().text().get() : "fault";
}

std::string Consumption(const std::string& member, const std::string& cost, const std::string& order) {
  return "<MemberConsume><MC_MemberID>" + member + "</MC_MemberID><MC_Cost>" + cost +
         "</MC_Cost><MC_OrderCode>" + order + "</MC_OrderCode><MC_Creater>1001</MC_Creater></MemberConsume>";
}

std::string Balance(const quorl::test::TicketManageSim& sim, const std::string& card) {
  pugi::xml_document doc;
  doc.load_string(Call(sim, "getSurplus", "memberNum", card).c_str());
  return doc.child("data").child("dataitem").attribute("memberBalance").value();
}

TEST(TicketManageSimOrderRace, OneOrderCodePostedAtOnceWithTwoContentsIsChargedOnce) {
  quorl::test::TempFolder folder;
  quorl::test::TicketManageSim sim(folder.File("tm.db"));
  // Member 1001 has 500.00. Each round posts one code from 8 threads: half
  // with 1.00, half with 2.00 (or, in odd rounds, half as member 1003).
  constexpr int kRounds = 6;
  constexpr int kThreads = 8;
  double charged1001 = 0, charged1003 = 0;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::string order = "RACE-" + std::to_string(round);
    const bool byMember = round % 2 == 1;
    std::vector<std::string> documents, answers(kThreads);
    for (int i = 0; i < kThreads; ++i)
      documents.push_back(i % 2 == 0
                              ? Consumption("1001", "1.00", order)
                              : Consumption(byMember ? "1003" : "1001", byMember ? "1.00" : "2.00", order));
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
      threads.emplace_back([&, i] {
        ++ready;
        while (ready < kThreads) std::this_thread::yield();
        answers[i] = Call(sim, "ComsumeInfoPost", "sConsumeInfo", documents[i]);
      });
    for (std::thread& t : threads) t.join();

    // Every posting of the consumption that won is accepted, every other refused.
    const std::string winner = answers[0] == "1" ? "even" : "odd";
    for (int i = 0; i < kThreads; ++i) {
      const bool sameAsWinner = (i % 2 == 0) == (winner == "even");
      EXPECT_EQ(answers[i], sameAsWinner ? "1" : "0") << "posting " << i;
    }
    if (winner == "even")
      charged1001 += 1.0;
    else if (byMember)
      charged1003 += 1.0;
    else
      charged1001 += 2.0;
  }
  auto money = [](double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return std::string(text);
  };
  EXPECT_EQ(Balance(sim, "8800000001"), money(500.0 - charged1001));
  EXPECT_EQ(Balance(sim, "8800000003"), money(300.0 - charged1003));
}

}  // namespace
