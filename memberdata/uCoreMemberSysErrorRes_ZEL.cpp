#include "memberdata/uCoreMemberSysErrorRes_ZEL.h"

const std::string _SE_InvalidXMLFormat_ZEL = "Parse Error: Invalid XML Format!";

namespace quorl {
void uCoreMemberSysErrorRes_ZEL_Initialize() {}
void uCoreMemberSysErrorRes_ZEL_Finalize() {}
}  // namespace quorl
