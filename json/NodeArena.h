// Memory for JSON value nodes, child sequences and name-index nodes.
//
// A parse creates one small object per value; taking each from malloc cost
// more than the parsing itself. Blocks up to kArenaMaxBlock bytes are carved
// from 64 KiB slabs by bumping a thread-local pointer; each slab counts its
// live blocks and goes back (to a small per-thread cache of empty slabs, or to
// the system) when the last one is freed. Freeing is an atomic decrement, so a
// block may be freed on any thread. Memory held is never more than the peak
// in use: a slab stays while any block in it lives.
//
// Larger blocks use the global operator new. In sanitizer builds everything
// does, so AddressSanitizer sees every node on its own.
#pragma once

#include <cstddef>
#include <new>
#include <string_view>

#include "core/PackageExport.h"

namespace quorl {

/// Largest block the arena serves; larger ones come from the heap.
inline constexpr size_t kArenaMaxBlock = 2048;

/// Aligned to 16 bytes (long double). Throws std::bad_alloc.
QUORL_PACKAGE_API void* ArenaAllocate(size_t size);
/// `size` must be the size given to ArenaAllocate.
QUORL_PACKAGE_API void ArenaFree(void* block, size_t size) noexcept;
/// Gives back the tail of the block allocated last on this thread, when it is
/// still the last one and both sizes are arena sizes; returns the size the
/// block now has (to be passed to ArenaFree), `size` when nothing changed.
QUORL_PACKAGE_API size_t ArenaShrinkLast(void* block, size_t size, size_t newSize) noexcept;

/// UTF-16 text kept in the arena: names and string values of the JSON unit.
class QUORL_PACKAGE_API ArenaText {
 public:
  ArenaText() noexcept = default;
  explicit ArenaText(std::u16string_view s) { Assign(s); }     ///< A copy of s.
  ArenaText(const ArenaText& other) { Assign(other.View()); }  ///< A copy of other's text.
  /// Takes other's text; other becomes empty.
  ArenaText(ArenaText&& other) noexcept : data_(other.data_), size_(other.size_), cap_(other.cap_) {
    other.data_ = nullptr;
    other.size_ = other.cap_ = 0;
  }
  /// Copies other's text.
  ArenaText& operator=(const ArenaText& other) {
    if (this != &other) Assign(other.View());
    return *this;
  }
  /// Takes other's text; other becomes empty.
  ArenaText& operator=(ArenaText&& other) noexcept {
    if (this != &other) {
      Release();
      data_ = other.data_;
      size_ = other.size_;
      cap_ = other.cap_;
      other.data_ = nullptr;
      other.size_ = other.cap_ = 0;
    }
    return *this;
  }
  ~ArenaText() { Release(); }

  /// `s` may point into this text.
  void Assign(std::u16string_view s);
  /// Replaces the text with the UTF-8 bytes decoded (see JsonInternal.h).
  void AssignUtf8(std::string_view utf8);
  void Clear() noexcept { Release(); }  ///< Empties the text and returns its memory.
  /// The text, valid until the next change.
  std::u16string_view View() const noexcept { return {data_, size_}; }
  bool Empty() const noexcept { return size_ == 0; }  ///< True when the text is empty.

 private:
  void Release() noexcept {
    if (data_ != nullptr) ArenaFree(data_, cap_ * sizeof(char16_t));
    data_ = nullptr;
    size_ = cap_ = 0;
  }
  char16_t* data_ = nullptr;
  size_t size_ = 0;
  size_t cap_ = 0;
};

/// std::allocator replacement for containers inside the JSON unit.
template <class T>
struct ArenaAllocator {
  using value_type = T;  ///< element type
  ArenaAllocator() noexcept = default;
  /// Allocators of any type share the arena.
  template <class U>
  ArenaAllocator(const ArenaAllocator<U>&) noexcept {}
  /// Room for n objects from the arena (std::bad_alloc on overflow).
  T* allocate(size_t n) {
    if (n > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(ArenaAllocate(n * sizeof(T)));
  }
  /// Returns room for n objects to the arena.
  void deallocate(T* p, size_t n) noexcept { ArenaFree(p, n * sizeof(T)); }
  /// Always equal: one arena.
  template <class U>
  bool operator==(const ArenaAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace quorl
