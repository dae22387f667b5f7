// JSON files the operator hands to the host program (consumptions to post).
#pragma once

#include <string>

#include "tools/membersys/TablePrinter.h"

namespace quorl::membersys {

// Reads the JSON file at path (UTF-8). Numbers come back as text, exactly as
// written ("80.00" stays "80.00"), so amounts reach the package in the
// operator's own digits. Raises std::runtime_error naming the file for a file
// that cannot be read, text that is not JSON, and a key given twice in one
// object.
Json ReadJsonFile(const std::string& path);

// The text of a value read by ReadJsonFile: a string or a number. Raises
// std::runtime_error naming `where` for anything else.
std::string TextOf(const Json& value, const std::string& where);

}  // namespace quorl::membersys
