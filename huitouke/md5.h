// The md5 unit: MD5 message digests (RFC 1321, unchanged algorithm).
//
// The platform client signs its requests and digests passwords with
// MD5String followed by MD5Print; the swipe-card dialog digests the typed
// password the same way. The incremental interface (MD5Init, MD5Update,
// MD5Final) and MD5File/MD5Match are offered to the host as well.
//
// All state lives in the caller's MD5Context or in locals: the functions are
// reentrant and may run on several threads at once on different contexts.
// None of them throws.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/PackageExport.h"
/// Running state of one digest; a plain record owned by the caller.
struct QUORL_PACKAGE_API MD5Context {
  uint32_t State[4];   ///< chaining values A, B, C, D
  uint32_t Count[2];   ///< bits fed so far, a 64-bit count, low word first
  uint8_t Buffer[64];  ///< bytes of the incomplete block
};

/// 16 bytes in the byte order RFC 1321 defines (A, B, C, D, each little-endian).
using MD5Digest = std::array<uint8_t, 16>;

/// Sets the initial chaining values, a zero bit count and a zeroed buffer.
QUORL_PACKAGE_API void MD5Init(MD5Context& Context);

/// Feeds Length bytes from Input (may be null when Length is 0). May be called
/// any number of times between MD5Init and MD5Final; the bytes need not be
/// block-aligned.
QUORL_PACKAGE_API void MD5Update(MD5Context& Context, const void* Input, uint32_t Length);

/// Pads, appends the bit count, writes the digest to Digest and then
/// overwrites the whole context with zeros (so no trace of the input, e.g. a
/// password, is left in it). The context must be re-initialised before reuse.
QUORL_PACKAGE_API void MD5Final(MD5Context& Context, MD5Digest& Digest);

/// Digest of the text's bytes exactly as held (8-bit host code page), with no
/// terminating zero and no conversion to another encoding.
QUORL_PACKAGE_API MD5Digest MD5String(std::string_view M);

/// Digest of the whole contents of the file named FileName (8-bit). The file
/// is opened read-only and mapped read-only; other processes may read and
/// write it meanwhile. Reports no failure: a file that is missing, cannot be
/// opened, is not a regular file (a directory, a pipe, a device), is empty or
/// cannot be mapped gives the digest of empty input. Files of 4 GiB and more
/// are digested whole.
QUORL_PACKAGE_API MD5Digest MD5File(const std::string& FileName);

/// The printed digest: 32 lowercase hexadecimal digits, high half of each byte
/// first, bytes in digest order.
QUORL_PACKAGE_API std::string MD5Print(const MD5Digest& D);

/// True when all 16 bytes of D1 and D2 are equal.
QUORL_PACKAGE_API bool MD5Match(const MD5Digest& D1, const MD5Digest& D2);
