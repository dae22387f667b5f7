#include "platform/Interfaces.h"

#include <gtest/gtest.h>

namespace {

struct IProbe : IInterface {
  static constexpr TGUID IID = TGUID::Parse("{29AB1245-9703-082B-5336-A29584C5AEC4}");
  virtual int Value() = 0;
};

struct IOther : IInterface {
  static constexpr TGUID IID = TGUID::Parse("{E88D5B2A-DDEB-4A93-9EF6-1D3BBD0F9DFA}");
};

class Probe : public TInterfacedObject, public IProbe {
 public:
  explicit Probe(bool* destroyed) : destroyed_(destroyed) {}
  ~Probe() override { *destroyed_ = true; }
  HRESULT QueryInterface(const TGUID& iid, void** obj) override {
    return TInterfacedObject::QueryInterface(iid, obj);
  }
  int32_t AddRef() override { return TInterfacedObject::AddRef(); }
  int32_t Release() override { return TInterfacedObject::Release(); }
  int Value() override { return 7; }

 protected:
  void* GetInterface(const TGUID& iid) override {
    if (iid == IProbe::IID) return static_cast<IProbe*>(this);
    return TInterfacedObject::GetInterface(iid);
  }

 private:
  bool* destroyed_;
};

TEST(TGUID, ToStringIsUpperCaseWithBracesAndRoundTrips) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"{29ab1245-9703-082b-5336-a29584c5aec4}", "{29AB1245-9703-082B-5336-A29584C5AEC4}"},
      {"{00000000-0000-0000-C000-000000000046}", "{00000000-0000-0000-C000-000000000046}"},
      {"{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}", "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}"},
      {"{0000000A-000B-000C-0D0E-0F1011121314}", "{0000000A-000B-000C-0D0E-0F1011121314}"},
  };
  for (const auto& c : cases) {
    const TGUID g = TGUID::Parse(c.text);
    EXPECT_EQ(g.ToString(), c.expected) << c.text;
    EXPECT_EQ(TGUID::Parse(g.ToString().c_str()), g) << c.text;
  }
}

TEST(TGUID, MalformedTextAtRunTimeRaisesConvertError) {
  const char* bad[] = {
      "",
      "29AB1245-9703-082B-5336-A29584C5AEC4",
      "{29AB1245-9703-082B-5336-A29584C5AEC4",
      "{29AB1245_9703-082B-5336-A29584C5AEC4}",
      "{29AB1245-9703-082B-5336-A29584C5AEG4}",
      "{29AB1245-9703-082B-5336-A29584C5AEC4}x",
  };
  for (const char* text : bad) EXPECT_THROW(TGUID::Parse(text), EConvertError) << text;
}

TEST(IntfPtr, LastReferenceFreesObjectAndSupportsCountsItsReference) {
  bool destroyed = false;
  {
    quorl::IntfPtr<IProbe> p(new Probe(&destroyed));
    EXPECT_EQ(p->Value(), 7);
    auto base = quorl::Supports<IInterface>(p);
    ASSERT_TRUE(base);
    EXPECT_FALSE(quorl::Supports<IOther>(p));
    EXPECT_THROW(quorl::As<IOther>(p.get()), EIntfCastError);
    auto again = quorl::As<IProbe>(base.get());
    EXPECT_EQ(again.get(), p.get());
    EXPECT_FALSE(destroyed);
  }
  EXPECT_TRUE(destroyed);
}

}  // namespace
