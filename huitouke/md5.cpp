#include "huitouke/md5.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cstddef>
#include <cstring>

namespace {

// MD5Update takes a 32-bit count; longer inputs are fed in pieces of this
// size. A multiple of 64 keeps every piece on whole blocks, so no bytes pass
// through the context buffer between pieces.
constexpr size_t kPieceSize = size_t{1} << 30;

inline uint32_t Load32(const uint8_t* p) {
  if constexpr (std::endian::native == std::endian::little) {
    uint32_t v;
    std::memcpy(&v, p, 4);  // compiles to one unaligned load
    return v;
  } else {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
  }
}

inline void Store32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// The four rounds. MD5 is one long dependency chain through `a`, so the
// forms below are chosen to shorten the path from the previous step's result
// `b`: in round 1 F is written with one operation fewer, and in round 2 the
// two halves of G never overlap in their bits, so they can be added
// separately and the half that does not need `b` is computed early.
#define MD5_STEP1(a, b, c, d, x, s, t) \
  a += x + t + (((c ^ d) & b) ^ d);    \
  a = std::rotl(a, s) + b;
#define MD5_STEP2(a, b, c, d, x, s, t) \
  a += x + t + (~d & c);               \
  a += d & b;                          \
  a = std::rotl(a, s) + b;
#define MD5_STEP3(a, b, c, d, x, s, t) \
  a += x + t + (b ^ c ^ d);            \
  a = std::rotl(a, s) + b;
#define MD5_STEP4(a, b, c, d, x, s, t) \
  a += x + t + (c ^ (b | ~d));         \
  a = std::rotl(a, s) + b;

// Processes `blocks` whole 64-byte blocks read straight from `p`.
void Transform(uint32_t state[4], const uint8_t* p, size_t blocks) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; blocks != 0; --blocks, p += 64) {
    const uint32_t x0 = Load32(p), x1 = Load32(p + 4), x2 = Load32(p + 8), x3 = Load32(p + 12),
                   x4 = Load32(p + 16), x5 = Load32(p + 20), x6 = Load32(p + 24), x7 = Load32(p + 28),
                   x8 = Load32(p + 32), x9 = Load32(p + 36), x10 = Load32(p + 40), x11 = Load32(p + 44),
                   x12 = Load32(p + 48), x13 = Load32(p + 52), x14 = Load32(p + 56), x15 = Load32(p + 60);
    const uint32_t aa = a, bb = b, cc = c, dd = d;

    MD5_STEP1(a, b, c, d, x0, 7, 0xd76aa478u)
    MD5_STEP1(d, a, b, c, x1, 12, 0xe8c7b756u)
    MD5_STEP1(c, d, a, b, x2, 17, 0x242070dbu)
    MD5_STEP1(b, c, d, a, x3, 22, 0xc1bdceeeu)
    MD5_STEP1(a, b, c, d, x4, 7, 0xf57c0fafu)
    MD5_STEP1(d, a, b, c, x5, 12, 0x4787c62au)
    MD5_STEP1(c, d, a, b, x6, 17, 0xa8304613u)
    MD5_STEP1(b, c, d, a, x7, 22, 0xfd469501u)
    MD5_STEP1(a, b, c, d, x8, 7, 0x698098d8u)
    MD5_STEP1(d, a, b, c, x9, 12, 0x8b44f7afu)
    MD5_STEP1(c, d, a, b, x10, 17, 0xffff5bb1u)
    MD5_STEP1(b, c, d, a, x11, 22, 0x895cd7beu)
    MD5_STEP1(a, b, c, d, x12, 7, 0x6b901122u)
    MD5_STEP1(d, a, b, c, x13, 12, 0xfd987193u)
    MD5_STEP1(c, d, a, b, x14, 17, 0xa679438eu)
    MD5_STEP1(b, c, d, a, x15, 22, 0x49b40821u)

    MD5_STEP2(a, b, c, d, x1, 5, 0xf61e2562u)
    MD5_STEP2(d, a, b, c, x6, 9, 0xc040b340u)
    MD5_STEP2(c, d, a, b, x11, 14, 0x265e5a51u)
    MD5_STEP2(b, c, d, a, x0, 20, 0xe9b6c7aau)
    MD5_STEP2(a, b, c, d, x5, 5, 0xd62f105du)
    MD5_STEP2(d, a, b, c, x10, 9, 0x02441453u)
    MD5_STEP2(c, d, a, b, x15, 14, 0xd8a1e681u)
    MD5_STEP2(b, c, d, a, x4, 20, 0xe7d3fbc8u)
    MD5_STEP2(a, b, c, d, x9, 5, 0x21e1cde6u)
    MD5_STEP2(d, a, b, c, x14, 9, 0xc33707d6u)
    MD5_STEP2(c, d, a, b, x3, 14, 0xf4d50d87u)
    MD5_STEP2(b, c, d, a, x8, 20, 0x455a14edu)
    MD5_STEP2(a, b, c, d, x13, 5, 0xa9e3e905u)
    MD5_STEP2(d, a, b, c, x2, 9, 0xfcefa3f8u)
    MD5_STEP2(c, d, a, b, x7, 14, 0x676f02d9u)
    MD5_STEP2(b, c, d, a, x12, 20, 0x8d2a4c8au)

    MD5_STEP3(a, b, c, d, x5, 4, 0xfffa3942u)
    MD5_STEP3(d, a, b, c, x8, 11, 0x8771f681u)
    MD5_STEP3(c, d, a, b, x11, 16, 0x6d9d6122u)
    MD5_STEP3(b, c, d, a, x14, 23, 0xfde5380cu)
    MD5_STEP3(a, b, c, d, x1, 4, 0xa4beea44u)
    MD5_STEP3(d, a, b, c, x4, 11, 0x4bdecfa9u)
    MD5_STEP3(c, d, a, b, x7, 16, 0xf6bb4b60u)
    MD5_STEP3(b, c, d, a, x10, 23, 0xbebfbc70u)
    MD5_STEP3(a, b, c, d, x13, 4, 0x289b7ec6u)
    MD5_STEP3(d, a, b, c, x0, 11, 0xeaa127fau)
    MD5_STEP3(c, d, a, b, x3, 16, 0xd4ef3085u)
    MD5_STEP3(b, c, d, a, x6, 23, 0x04881d05u)
    MD5_STEP3(a, b, c, d, x9, 4, 0xd9d4d039u)
    MD5_STEP3(d, a, b, c, x12, 11, 0xe6db99e5u)
    MD5_STEP3(c, d, a, b, x15, 16, 0x1fa27cf8u)
    MD5_STEP3(b, c, d, a, x2, 23, 0xc4ac5665u)

    MD5_STEP4(a, b, c, d, x0, 6, 0xf4292244u)
    MD5_STEP4(d, a, b, c, x7, 10, 0x432aff97u)
    MD5_STEP4(c, d, a, b, x14, 15, 0xab9423a7u)
    MD5_STEP4(b, c, d, a, x5, 21, 0xfc93a039u)
    MD5_STEP4(a, b, c, d, x12, 6, 0x655b59c3u)
    MD5_STEP4(d, a, b, c, x3, 10, 0x8f0ccc92u)
    MD5_STEP4(c, d, a, b, x10, 15, 0xffeff47du)
    MD5_STEP4(b, c, d, a, x1, 21, 0x85845dd1u)
    MD5_STEP4(a, b, c, d, x8, 6, 0x6fa87e4fu)
    MD5_STEP4(d, a, b, c, x15, 10, 0xfe2ce6e0u)
    MD5_STEP4(c, d, a, b, x6, 15, 0xa3014314u)
    MD5_STEP4(b, c, d, a, x13, 21, 0x4e0811a1u)
    MD5_STEP4(a, b, c, d, x4, 6, 0xf7537e82u)
    MD5_STEP4(d, a, b, c, x11, 10, 0xbd3af235u)
    MD5_STEP4(c, d, a, b, x2, 15, 0x2ad7d2bbu)
    MD5_STEP4(b, c, d, a, x9, 21, 0xeb86d391u)

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef MD5_STEP1
#undef MD5_STEP2
#undef MD5_STEP3
#undef MD5_STEP4

// Feeds a length that may not fit MD5Update's 32-bit count.
void UpdateLong(MD5Context& context, const uint8_t* p, size_t length) {
  while (length > kPieceSize) {
    MD5Update(context, p, static_cast<uint32_t>(kPieceSize));
    p += kPieceSize;
    length -= kPieceSize;
  }
  MD5Update(context, p, static_cast<uint32_t>(length));
}

// Maps the open file read-only and feeds it whole. Anything that cannot be
// mapped adds nothing, which leaves the digest of empty input.
void UpdateFromFile(MD5Context& context, int fd) {
  struct stat st;
  // Only regular files: a directory or device has no contents to map, and
  // an empty file cannot be mapped at all.
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return;
  if (static_cast<unsigned long long>(st.st_size) > SIZE_MAX) return;
  const size_t size = static_cast<size_t>(st.st_size);
  void* view = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  if (view == MAP_FAILED) return;
  madvise(view, size, MADV_SEQUENTIAL);
  // The whole size, not only its low 32 bits: a file of 4 GiB or more would
  // otherwise be digested as if it were cut short.
  UpdateLong(context, static_cast<const uint8_t*>(view), size);
  munmap(view, size);
}

}  // namespace

void MD5Init(MD5Context& Context) {
  Context.State[0] = 0x67452301u;
  Context.State[1] = 0xefcdab89u;
  Context.State[2] = 0x98badcfeu;
  Context.State[3] = 0x10325476u;
  Context.Count[0] = 0;
  Context.Count[1] = 0;
  std::memset(Context.Buffer, 0, sizeof Context.Buffer);
}

void MD5Update(MD5Context& Context, const void* Input, uint32_t Length) {
  if (Length == 0) return;
  const uint8_t* p = static_cast<const uint8_t*>(Input);
  uint32_t index = (Context.Count[0] >> 3) & 63;

  const uint32_t bits = Length << 3;
  Context.Count[0] += bits;
  if (Context.Count[0] < bits) ++Context.Count[1];
  Context.Count[1] += Length >> 29;

  if (index != 0) {
    const uint32_t room = 64 - index;
    if (Length < room) {
      std::memcpy(Context.Buffer + index, p, Length);
      return;
    }
    std::memcpy(Context.Buffer + index, p, room);
    Transform(Context.State, Context.Buffer, 1);
    p += room;
    Length -= room;
  }
  // Whole blocks are read where they stand; only the tail is copied.
  Transform(Context.State, p, Length / 64);
  p += Length & ~uint32_t{63};
  Length &= 63;
  if (Length != 0) std::memcpy(Context.Buffer, p, Length);
}

void MD5Final(MD5Context& Context, MD5Digest& Digest) {
  uint32_t index = (Context.Count[0] >> 3) & 63;
  Context.Buffer[index++] = 0x80;
  if (index > 56) {
    std::memset(Context.Buffer + index, 0, 64 - index);
    Transform(Context.State, Context.Buffer, 1);
    index = 0;
  }
  std::memset(Context.Buffer + index, 0, 56 - index);
  Store32(Context.Buffer + 56, Context.Count[0]);
  Store32(Context.Buffer + 60, Context.Count[1]);
  Transform(Context.State, Context.Buffer, 1);

  for (int i = 0; i < 4; ++i) Store32(Digest.data() + 4 * i, Context.State[i]);
  // Not a plain memset: the context often dies right after this call, and
  // the compiler may then drop a memset that it can prove is never read.
  explicit_bzero(&Context, sizeof Context);
}

MD5Digest MD5String(std::string_view M) {
  MD5Context context;
  MD5Init(context);
  UpdateLong(context, reinterpret_cast<const uint8_t*>(M.data()), M.size());
  MD5Digest digest;
  MD5Final(context, digest);
  return digest;
}

MD5Digest MD5File(const std::string& FileName) {
  MD5Context context;
  MD5Init(context);
  // A name with a zero byte inside would open the file named by its first
  // part only; no file has such a name.
  if (FileName.find('\0') == std::string::npos) {
    // O_NONBLOCK: opening a named pipe must not wait for a writer.
    const int fd = open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
      UpdateFromFile(context, fd);
      close(fd);
    }
  }
  MD5Digest digest;
  MD5Final(context, digest);
  return digest;
}

std::string MD5Print(const MD5Digest& D) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(32, '0');
  for (size_t i = 0; i < D.size(); ++i) {
    text[2 * i] = kDigits[D[i] >> 4];
    text[2 * i + 1] = kDigits[D[i] & 15];
  }
  return text;
}

bool MD5Match(const MD5Digest& D1, const MD5Digest& D2) {
  // All 16 bytes are always compared, so the time taken does not tell how
  // many leading bytes agree.
  uint8_t difference = 0;
  for (size_t i = 0; i < D1.size(); ++i) difference |= D1[i] ^ D2[i];
  return difference == 0;
}
