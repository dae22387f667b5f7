// A deliberately wrong MD5String/MD5Print, linked into the simulator's
// signature test in place of the package's md5 unit. The simulator must check
// signatures with a digest of its own; were it to use these, every
// independently made signature would be refused and a forged one accepted.
#include "huitouke/md5.h"

MD5Digest MD5String(std::string_view) { return MD5Digest{}; }

std::string MD5Print(const MD5Digest&) { return std::string(32, 'a'); }
