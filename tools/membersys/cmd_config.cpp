// Subcommands that show the package's configuration: service addresses and
// the type tables.

#include <string>
#include <vector>

#include "tools/membersys/Commands.h"
#include "tools/membersys/PackageExports.h"

namespace quorl::membersys {

namespace {

int RunAddresses(Session& session, const std::vector<std::string>& args) {
  ExpectNoArguments("addresses", args);
  const CoreExports core = BindCoreExports(session.package);
  core.GetMemberSysWSURL();
  const std::pair<const char*, const std::string*> lines[] = {
      {"_MemberSysSoapURL_ZEL", core.MemberSysSoapURL},
      {"_MemberSysWSDLURL_ZEL", core.MemberSysWSDLURL},
      {"_MemberCommercial_ZEL", core.MemberCommercial},
      {"_MemberPassWordKey_ZEL", core.MemberPassWordKey},
      {"_MemberConnectUmnByDB_ZEL", core.MemberConnectUmnByDB},
  };
  for (const auto& [name, value] : lines) session.out << name << '=' << ToOutput(*value) << '\n';
  return 0;
}

int RunTypes(Session& session, const std::vector<std::string>& args) {
  ExpectNoArguments("types", args);
  const CoreExports core = BindCoreExports(session.package);
  session.out << "[customer types]\n";
  for (const auto& row : core.GetCustomerTypeInfoArr())
    session.out << ToOutput(row.Code) << '\t' << ToOutput(row.Name) << '\n';
  session.out << "[certificate types]\n";
  for (const auto& row : core.GetCertificateTypeInfoArr())
    session.out << ToOutput(row.Code) << '\t' << ToOutput(row.Name) << '\n';
  return 0;
}

}  // namespace

std::vector<Command> ConfigCommands() {
  return {
      {"addresses", "look the service addresses up and print the five address strings",
       "usage: membersys [global options] addresses\n"
       "\n"
       "Reads the address type from QUORLZELCLIENT.LIC in the application directory\n"
       "(section WSDLCONFIGURE, key ADDRESSTYPE, default G), looks the address row of\n"
       "the node, address type and group up in the host database (falling back to the\n"
       "node's default row) and prints the five strings as NAME=value lines.\n",
       RunAddresses},
      {"types", "print the customer types and the node's certificate types",
       "usage: membersys [global options] types\n"
       "\n"
       "Prints the customer type table, then the certificate type table of the node\n"
       "(from QUORL_MEMBER_IDENTTYPE), one 'code<TAB>name' line per row, each table\n"
       "under a header line.\n",
       RunTypes},
  };
}

}  // namespace quorl::membersys
