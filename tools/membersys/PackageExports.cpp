#include "tools/membersys/PackageExports.h"

namespace quorl::membersys {

// Itanium C++ ABI names of the core unit's exports (GCC/Clang with the C++11
// library ABI: std::string variables carry the cxx11 ABI tag).
CoreExports BindCoreExports(const PackageLibrary& package) {
  CoreExports e{};
  e.GetMemberSysWSURL = package.Function<decltype(e.GetMemberSysWSURL)>("_Z18_GetMemberSysWSURLv");
  e.MemberSysSoapURL = &package.Variable<std::string>("_Z21_MemberSysSoapURL_ZELB5cxx11");
  e.MemberSysWSDLURL = &package.Variable<std::string>("_Z21_MemberSysWSDLURL_ZELB5cxx11");
  e.MemberCommercial = &package.Variable<std::string>("_Z21_MemberCommercial_ZELB5cxx11");
  e.MemberPassWordKey = &package.Variable<std::string>("_Z22_MemberPassWordKey_ZELB5cxx11");
  e.MemberConnectUmnByDB = &package.Variable<std::string>("_Z25_MemberConnectUmnByDB_ZELB5cxx11");
  e.GetCustomerTypeInfoArr =
      package.Function<decltype(e.GetCustomerTypeInfoArr)>("_Z27_GetCustomerTypeInfoArr_ZELv");
  e.GetCertificateTypeInfoArr =
      package.Function<decltype(e.GetCertificateTypeInfoArr)>("_Z30_GetCertificateTypeInfoArr_ZELv");
  e.CustomerTypeDisplayName = package.Function<decltype(e.CustomerTypeDisplayName)>(
      "_Z26GetCustomerTypeDisplayNameRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE");
  e.CertificateTypeDisplayName = package.Function<decltype(e.CertificateTypeDisplayName)>(
      "_Z29GetCertificateTypeDisplayNameRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE");
  return e;
}

}  // namespace quorl::membersys
