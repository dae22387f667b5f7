// Resource strings of the package's error messages (8-bit host text).
#pragma once

#include <string>

#include "core/PackageExport.h"
/// Raised when a member-info XML document does not have the expected shape
/// (root "data" with "dataitem" children).
extern QUORL_PACKAGE_API const std::string _SE_InvalidXMLFormat_ZEL;

namespace quorl {
/// Unit set-up and tear-down for the package loader. The strings are constants;
/// these exist so the unit has its place in the load order.
void uCoreMemberSysErrorRes_ZEL_Initialize();
void uCoreMemberSysErrorRes_ZEL_Finalize();  ///< Inside the package only (not exported).
}  // namespace quorl
