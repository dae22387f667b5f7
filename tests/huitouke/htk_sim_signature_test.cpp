// The simulator's signature check against digests made by an outside tool
// (md5sum), in a program whose package md5 unit is broken (BrokenMd5.cpp): a
// fault in the digest the client signs with must not pass the simulator too.

#include <gtest/gtest.h>

#include <string>

#include "sim/huitouke/SimProtocol.h"

namespace {

using quorl::htksim::ParamList;
using quorl::htksim::SignatureValid;

TEST(SimSignature, ChecksTheDigestOfTheValuesInOrderAndTheKey) {
  const ParamList cardList = {{"sbs_id", "SBS-7"},
                              {"mobile", "13912345678"},
                              {"password", "dc04e128b792"},
                              {"t", "1700000000"},
                              {"sign", "91118c544c005f4d2c9b6b634505627f"}};
  auto with = [&](auto change) {
    ParamList p = cardList;
    change(p);
    return p;
  };
  const struct {
    const char* what;
    ParamList params;
    std::string key;
    bool valid;
  } cases[] = {
      {"card list", cardList, "secret", true},
      {"upper-case digits", with([](ParamList& p) { p.back().second = "91118C544C005F4D2C9B6B634505627F"; }),
       "secret", true},
      {"GBK bytes of value and key",
       {{"sbs_id", "SBS-7"}, {"name", "\xD6\xD0"}, {"sign", "4e296d16633a0ac0817ed363f680d342"}},
       "sim-key-\xC3\xDC",
       true},
      {"nothing but the key", {{"sign", "5ebe2294ecd0e0f08eab7690d2a6ee69"}}, "secret", true},
      {"wrong key", cardList, "secreT", false},
      {"one digit off", with([](ParamList& p) { p.back().second[31] = 'e'; }), "secret", false},
      {"what a broken digest gives", with([](ParamList& p) { p.back().second = std::string(32, 'a'); }),
       "secret", false},
      {"values reordered", with([](ParamList& p) { std::swap(p[1], p[2]); }), "secret", false},
      {"sign not last", with([](ParamList& p) { std::swap(p[3], p[4]); }), "secret", false},
      {"sign twice", with([](ParamList& p) { p.insert(p.begin(), p.back()); }), "secret", false},
      {"no sign", with([](ParamList& p) { p.pop_back(); }), "secret", false},
      {"nothing", {}, "secret", false},
  };
  for (const auto& c : cases) EXPECT_EQ(SignatureValid(c.params, c.key), c.valid) << c.what;
}

}  // namespace
