// ticketmanage-sim, the local web service, as a server for this folder's
// integration tests.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "support/ServerProcess.h"

namespace quorl::test {

// The simulator on a free loopback port over the database at dbPath;
// throws when it does not start.
class TicketManageSim : public ServerProcess {
 public:
  explicit TicketManageSim(const std::string& dbPath, bool seed = true,
                           const std::vector<std::string>& extraArgs = {})
      : ServerProcess(Args(dbPath, seed, extraArgs)) {
    if (Port() == 0) throw std::runtime_error("simulator did not start: '" + FirstLine() + "'");
  }
  std::string Endpoint() const {
    return "http://127.0.0.1:" + std::to_string(Port()) + "/services/TicketManage";
  }

 private:
  static std::vector<std::string> Args(const std::string& dbPath, bool seed,
                                       const std::vector<std::string>& extra) {
    std::vector<std::string> args = {BinaryDir() + "/bin/ticketmanage-sim", "--port", "0", "--db", dbPath};
    if (seed) args.push_back("--seed");
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
};

}  // namespace quorl::test
