// Reference-counted interfaces with identifiers.
//
// IInterface has the platform's three basic operations in slot order:
// QueryInterface, AddRef, Release. TInterfacedObject counts references and
// deletes itself when the count drops to zero. IntfPtr<T> holds one reference.
//
// An interface type declares its identifier as a static member:
//   struct IFoo : IInterface { static constexpr TGUID IID = TGUID::Parse("{...}"); ... };
// and an implementing class answers QueryInterface by overriding GetInterface.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/Exception.h"
#include "platform/RtlExport.h"

/// An interface identifier (128 bits, the platform's layout).
struct QUORL_RTL_API TGUID {
  uint32_t D1 = 0;     ///< first 32 bits
  uint16_t D2 = 0;     ///< next 16 bits
  uint16_t D3 = 0;     ///< next 16 bits
  uint8_t D4[8] = {};  ///< last 64 bits, in text order

  /// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", hexadecimal in either case.
  /// A malformed text is a compile error in constant evaluation and throws
  /// EConvertError at run time.
  static constexpr TGUID Parse(const char* text);
  std::string ToString() const;  ///< upper-case, with braces
  /// Equal when all 128 bits are.
  friend constexpr bool operator==(const TGUID& a, const TGUID& b) {
    if (a.D1 != b.D1 || a.D2 != b.D2 || a.D3 != b.D3) return false;
    for (int i = 0; i < 8; ++i)
      if (a.D4[i] != b.D4[i]) return false;
    return true;
  }
};

namespace quorl::detail {
/// Value of one hexadecimal digit (EConvertError otherwise).
constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  throw EConvertError("invalid GUID text");
}
/// Value of n hexadecimal digits.
constexpr uint64_t HexRun(const char* p, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = v * 16 + static_cast<uint64_t>(HexDigit(p[i]));
  return v;
}
}  // namespace quorl::detail

constexpr TGUID TGUID::Parse(const char* t) {
  // Layout: {8-4-4-4-12}
  int len = 0;
  while (t[len] != '\0') ++len;
  if (len != 38 || t[0] != '{' || t[9] != '-' || t[14] != '-' || t[19] != '-' || t[24] != '-' || t[37] != '}')
    throw EConvertError("invalid GUID text");
  TGUID g;
  g.D1 = static_cast<uint32_t>(quorl::detail::HexRun(t + 1, 8));
  g.D2 = static_cast<uint16_t>(quorl::detail::HexRun(t + 10, 4));
  g.D3 = static_cast<uint16_t>(quorl::detail::HexRun(t + 15, 4));
  g.D4[0] = static_cast<uint8_t>(quorl::detail::HexRun(t + 20, 2));
  g.D4[1] = static_cast<uint8_t>(quorl::detail::HexRun(t + 22, 2));
  for (int i = 0; i < 6; ++i) g.D4[2 + i] = static_cast<uint8_t>(quorl::detail::HexRun(t + 25 + 2 * i, 2));
  return g;
}

using HRESULT = int32_t;                                              ///< result code of QueryInterface
constexpr HRESULT S_OK = 0;                                           ///< success
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);  ///< the interface is not supported

/// The root of every reference-counted interface; slot order QueryInterface, AddRef, Release.
struct QUORL_RTL_API IInterface {
  /// interface identifier
  static constexpr TGUID IID = TGUID::Parse("{00000000-0000-0000-C000-000000000046}");
  /// S_OK and an added reference in *obj when iid is supported; E_NOINTERFACE otherwise.
  virtual HRESULT QueryInterface(const TGUID& iid, void** obj) = 0;
  virtual int32_t AddRef() = 0;   ///< Adds a reference; returns the new count.
  virtual int32_t Release() = 0;  ///< Drops a reference, freeing the object at 0; returns the new count.

 protected:
  ~IInterface() = default;  ///< lifetime goes through Release
};

/// Base of reference-counted objects. Starts with count 0; the first IntfPtr
/// (or AddRef) takes it to 1; Release to 0 deletes the object.
class QUORL_RTL_API TInterfacedObject : public IInterface {
 public:
  TInterfacedObject() = default;
  TInterfacedObject(const TInterfacedObject&) = delete;
  TInterfacedObject& operator=(const TInterfacedObject&) = delete;
  virtual ~TInterfacedObject() = default;

  /// Answers what GetInterface finds, with an added reference.
  HRESULT QueryInterface(const TGUID& iid, void** obj) override {
    if (obj == nullptr) return E_NOINTERFACE;
    *obj = GetInterface(iid);
    if (*obj == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  int32_t AddRef() override { return ++refCount_; }  ///< Counts up (atomically).
  /// Counts down; deletes the object at 0.
  int32_t Release() override {
    const int32_t n = --refCount_;
    if (n == 0) delete this;
    return n;
  }
  int32_t RefCount() const { return refCount_; }  ///< The current count.

 protected:
  /// Returns the IInterface-derived pointer for iid, or nullptr. Subclasses
  /// add their interfaces and defer to the base for the rest.
  virtual void* GetInterface(const TGUID& iid) {
    if (iid == IInterface::IID) return static_cast<IInterface*>(this);
    return nullptr;
  }

 private:
  std::atomic<int32_t> refCount_{0};
};

namespace quorl {

/// Intrusive smart pointer holding one reference to an interface.
template <class T>
class IntfPtr {
 public:
  IntfPtr() = default;
  IntfPtr(std::nullptr_t) {}  ///< Empty.
  /// Takes a new reference to p.
  explicit IntfPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  /// Shares o's object (adds a reference).
  IntfPtr(const IntfPtr& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  /// Takes o's reference; o becomes empty.
  IntfPtr(IntfPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  /// Shares an object of a derived interface.
  template <class U>
  IntfPtr(const IntfPtr<U>& o) : p_(o.get()) {
    if (p_) p_->AddRef();
  }
  ~IntfPtr() { reset(); }
  /// Replaces the object, releasing the old one.
  IntfPtr& operator=(IntfPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }

  /// Takes over a reference the caller already holds (no AddRef).
  static IntfPtr Adopt(T* p) {
    IntfPtr r;
    r.p_ = p;
    return r;
  }
  /// Gives up the reference without releasing it; the caller owns it.
  T* detach() { return std::exchange(p_, nullptr); }
  /// Releases the object; empty afterwards.
  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }

  T* get() const { return p_; }                             ///< The object, not counted; null when empty.
  T* operator->() const { return p_; }                      ///< Member access.
  T& operator*() const { return *p_; }                      ///< The object.
  explicit operator bool() const { return p_ != nullptr; }  ///< True when not empty.
  friend bool operator==(const IntfPtr& a, const IntfPtr& b) { return a.p_ == b.p_; }  ///< Same object.

 private:
  T* p_ = nullptr;
};

/// Asks obj for interface I (by I::IID). Returns empty when unsupported.
template <class I, class From>
IntfPtr<I> Supports(From* obj) {
  if (obj == nullptr) return {};
  void* out = nullptr;
  if (obj->QueryInterface(I::IID, &out) != S_OK || out == nullptr) return {};
  return IntfPtr<I>::Adopt(static_cast<I*>(out));
}
/// Supports on the object obj holds.
template <class I, class From>
IntfPtr<I> Supports(const IntfPtr<From>& obj) {
  return Supports<I>(obj.get());
}

/// As Supports, but raises EIntfCastError ("Interface not supported") when unsupported.
template <class I, class From>
IntfPtr<I> As(From* obj) {
  IntfPtr<I> r = Supports<I>(obj);
  if (!r) throw EIntfCastError("Interface not supported");
  return r;
}

}  // namespace quorl
