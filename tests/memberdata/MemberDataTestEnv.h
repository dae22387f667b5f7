// Shared set-up of the member-data tests: a temporary host database with a
// certificate type table (node "N9"), the host session pointing at it, and
// helpers for temporary folders and GBK text.
//
// Certificate rows, in IDENTTYPEID order: ("02", 护照), ("01", 身份证),
// ("01", 军官证). The table is loaded once per process, so every test sees
// these rows.
#pragma once

#include <string>
#include <string_view>

#include "platform/CodePage.h"

namespace quorl::test {

// A folder created with mkdtemp and removed (with its content) on destruction.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }  // with trailing '/'

 private:
  std::string path_;
};

inline std::string Gbk(std::string_view utf8) { return quorl::Utf8ToGbk(utf8); }

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string SourceDir();  // QUORL_SOURCE_DIR, with trailing '/'

}  // namespace quorl::test
