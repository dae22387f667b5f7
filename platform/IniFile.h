// TIniFile: reads values of an INI text file. The file is read on each call,
// as the platform's profile functions do, so a changed file is seen at once.
// Section and key names compare case-insensitively (ASCII); the value is the
// text after the first '=' with blanks trimmed, surrounding double quotes
// removed. Lines beginning with ';' or '#' are comments. CR LF line ends and
// a UTF-8 byte-order mark are accepted; a file that starts with a UTF-16
// byte-order mark (either order) is decoded into host text (GBK). When no
// file has the exact name, one in the same folder whose name differs only in
// ASCII letter case is read (the first in byte order). A missing file, section or key
// gives the default; a key that is present with an empty value gives empty
// text. Odd lines (no '=', unclosed '[') are skipped, never an error.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/RtlExport.h"

/// An INI file read on each call; a missing file reads as empty.
class QUORL_RTL_API TIniFile {
 public:
  /// Names the file; nothing is read yet.
  explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}
  const std::string& FileName() const { return fileName_; }  ///< The file's name.
  /// The trimmed value of key in section (names ignore ASCII case), or defaultValue.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const;

 private:
  std::string fileName_;
};

namespace quorl {

/// The same rules over one reading of the file: every ReadString answers from
/// the text as it was when the snapshot was made. For a caller that wants
/// several keys that belong together (a file edited between two reads would
/// otherwise give it half an old and half a new configuration).
class QUORL_RTL_API IniSnapshot {
 public:
  explicit IniSnapshot(const std::string& fileName);  ///< Reads the file once, now.
  /// As TIniFile::ReadString, on the content read at construction.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const;

 private:
  std::optional<std::string> content_;  ///< host text; none when the file cannot be read
};

}  // namespace quorl
