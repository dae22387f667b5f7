// The package's exports the host program uses, resolved from the loaded
// library by their mangled names. Types come from the package's headers, so
// a changed signature breaks the build here; a changed name fails at start-up
// with the missing symbol's name.
#pragma once

#include <string>

#include "agent/uCoreMemberSys_ZEL.h"
#include "tools/membersys/PackageLibrary.h"

namespace quorl::membersys {

struct CoreExports {
  decltype(&_GetMemberSysWSURL) GetMemberSysWSURL;
  std::string* MemberSysSoapURL;
  std::string* MemberSysWSDLURL;
  std::string* MemberCommercial;
  std::string* MemberPassWordKey;
  std::string* MemberConnectUmnByDB;
  decltype(&_GetCustomerTypeInfoArr_ZEL) GetCustomerTypeInfoArr;
  decltype(&_GetCertificateTypeInfoArr_ZEL) GetCertificateTypeInfoArr;
  decltype(&GetCustomerTypeDisplayName) CustomerTypeDisplayName;
  decltype(&GetCertificateTypeDisplayName) CertificateTypeDisplayName;
};

// Raises Exception naming the first symbol the library lacks.
CoreExports BindCoreExports(const PackageLibrary& package);

}  // namespace quorl::membersys
