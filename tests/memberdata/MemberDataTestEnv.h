// Shared set-up of the member-data tests: a temporary host database with a
// certificate type table (node "N9"), the host session pointing at it, and
// GBK text.
//
// Certificate rows, in IDENTTYPEID order: ("02", 护照), ("01", 身份证),
// ("01", 军官证). The table is loaded once per process, so every test sees
// these rows.
#pragma once

#include <string>
#include <string_view>

#include "platform/CodePage.h"
#include "support/TempFolder.h"
#include "support/TestPaths.h"

namespace quorl::test {

inline std::string Gbk(std::string_view utf8) { return quorl::Utf8ToGbk(utf8); }

}  // namespace quorl::test
