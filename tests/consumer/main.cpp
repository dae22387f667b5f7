// A host of the installed package: creates its host database in a folder of
// its own, loads the package, asks an agent for Hello, unloads.
//   consumer FOLDER    prints "Hello"; exit 0 when the agent answered so
#include <exception>
#include <iostream>
#include <string>

#include "agent/IMemberSysAgent_ZEL.h"
#include "agent/PackageUnits.h"
#include "host/HostDatabase.h"
#include "host/QuorlContext.h"
#include "platform/Application.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: consumer FOLDER\n";
    return 2;
  }
  try {
    // The folder stands in for the till's: the address lookup reads the
    // client configuration there, and the database lives there.
    const std::string folder = argv[1];
    const std::string db = folder + "/host.db";
    quorl::SetApplicationDirectory(folder);
    quorl::CreateHostDatabase(db, false);
    quorl::SetHostSession(quorl::MakeContextString("N001", "G01", db));
    Initialize();
    std::string answer;
    {
      const quorl::IntfPtr<IMemberSysAgent_ZEL> agent = MemberSysAgentIntf();
      answer = agent->Hello("consumer");
    }  // every agent released before the package unloads
    Finalize();
    std::cout << answer << '\n';
    return answer == "Hello" ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "consumer: " << e.what() << '\n';
    return 1;
  }
}
