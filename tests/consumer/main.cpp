// A host of the installed package: creates its host database in a folder of
// its own, loads the package, asks an agent for Hello, unloads. On the way it
// uses what the libraries export on purpose, as a host would: errors caught
// by their own type across the library boundary (their type information must
// be exported, or the catch misses), and a SOAP client the host creates and
// hands to GetTicketManage.
//   consumer FOLDER    prints "Hello"; exit 0 when the agent answered so
#include <exception>
#include <iostream>
#include <string>

#include "agent/IMemberSysAgent_ZEL.h"
#include "agent/PackageUnits.h"
#include "host/Database.h"
#include "host/HostDatabase.h"
#include "host/QuorlContext.h"
#include "memberdata/uMemberCardCheckTicket_KETHO.h"
#include "platform/Application.h"
#include "platform/Exception.h"
#include "platform/XmlNode.h"
#include "soap/THTTPRIO.h"
#include "soap/TicketManage_WSDL.h"

namespace {

// Each throws inside one of the three libraries; false when the host cannot
// catch the error by its type.
bool CatchesAcrossLibraries() {
  try {
    quorl::LoadXmlData(u"<not-closed");  // libQuorlRTL
    return false;
  } catch (const EXMLDocError&) {
  }
  try {
    quorl::OpenDatabase("/nonexistent-folder/x/host.db")->Query("SELECT 1");  // libQuorlHost
    return false;
  } catch (const EDatabaseError&) {
  }
  try {
    LoadDataFromXML(u"<other/>");  // the package: a check-ticket document must be "data"
    return false;
  } catch (const EXMLDocError&) {
  }
  return true;
}

// A client the host creates and binds, handed to GetTicketManage: the
// interface comes from that very client (no call is made).
bool HostClientServesTicketManage() {
  const std::string url = "http://127.0.0.1:9/services/TicketManage";
  auto* rio = new THTTPRIO();  // without owner: freed with the last interface
  quorl::IntfPtr<TicketManage> service = GetTicketManage(false, url, rio);
  return service && rio->URL() == url;
}

}  // namespace

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
    if (!CatchesAcrossLibraries() || !HostClientServesTicketManage()) {
      std::cerr << "consumer: the exported interface did not behave\n";
      Finalize();
      return 1;
    }
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
