// The three platform requests as the simulator answers them. Each takes the
// request's parameters in the order sent and returns the JSON answer (UTF-8).
// Requests with a wrong merchant or signature are refused with "A00003";
// the other failure codes are listed in doc/huitouke-sim.md.
#pragma once

#include <string>
#include <utility>

#include "sim/huitouke/SimProtocol.h"
#include "sim/huitouke/SimStore.h"

namespace quorl::htksim {

struct SimConfig {
  std::string key;       // the shared platform key (signatures, password cipher)
  std::string merchant;  // the one merchant identifier ("sbs_id") accepted
};

class SimService {
 public:
  SimService(SimStore& store, SimConfig config) : store_(store), config_(std::move(config)) {}

  std::string GetCardList(const ParamList& params);
  std::string ConsumeInfoPost(const ParamList& params);
  std::string ViewInvoice(const ParamList& params);

 private:
  // Empty when merchant and signature are right, else the refusal answer.
  std::string CheckCaller(const ParamList& params, bool withCount) const;

  SimStore& store_;
  SimConfig config_;
};

}  // namespace quorl::htksim
