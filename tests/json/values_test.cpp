// The value model: the virtual operations per class, containers, ownership,
// typed getters and the object's name lookups.
#include <gtest/gtest.h>

#include <vector>

#include "json/uVxJSON.h"
#include "platform/Exception.h"
#include "tests/json/JsonTestUtil.h"

using quorl::test::As;
using quorl::test::Compact;
using quorl::test::Parse;
using quorl::test::Tree;

namespace {

// Counts destructions, so ownership rules are checked directly (and any
// double delete shows up under AddressSanitizer).
int gDestroyed = 0;
struct Tracked : TvxJSONnull {
  ~Tracked() override { ++gDestroyed; }
};

}  // namespace

TEST(TvxJSONtypes, OrdinalsAndNamesPerClass) {
  EXPECT_EQ(0, jsBase);
  EXPECT_EQ(6, jsObject);
  struct Row {
    Tree value;
    TvxJSONtypes type;
    const char* name;
  };
  Row rows[] = {
      {Tree(new TvxJSONbase), jsBase, "jsBase"},
      {Tree(TvxJSONnumber::Generate(1)), jsNumber, "jsNumber"},
      {Tree(TvxJSONstring::Generate(u"x")), jsString, "jsString"},
      {Tree(TvxJSONboolean::Generate(true)), jsBoolean, "jsBoolean"},
      {Tree(TvxJSONnull::Generate()), jsNull, "jsNull"},
      {Tree(new TvxJSONcustomlist), jsBase, "jsBase"},
      {Tree(TvxJSONlist::Generate()), jsList, "jsList"},
      {Tree(TvxJSONobject::Generate(true)), jsObject, "jsObject"},
      {Tree(TvxJSONobjectmethod::Generate(u"n", nullptr)), jsBase, "jsBase"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(r.type, r.value->SelfType()) << r.name;
    EXPECT_EQ(r.name, r.value->SelfTypeName());
  }
  EXPECT_EQ(jsList, TvxJSONlist::ClassSelfType());
  EXPECT_EQ("jsObject", TvxJSONobject::ClassSelfTypeName());
}

TEST(TvxJSONbase, GetValueAndSetValuePerClass) {
  Tree n(TvxJSONnumber::Generate(2.5L));
  EXPECT_EQ(Variant(2.5), n->GetValue());
  n->SetValue(Variant(7));
  EXPECT_EQ(7.0L, static_cast<TvxJSONnumber*>(n.get())->Value());
  EXPECT_THROW(n->SetValue(Variant::Null()), EConvertError);

  Tree s(TvxJSONstring::Generate(u"ab"));
  EXPECT_EQ(VarType::UString, s->GetValue().Type());
  EXPECT_EQ(u"ab", s->GetValue().AsUString());
  s->SetValue(Variant(12));
  EXPECT_EQ(u"12", static_cast<TvxJSONstring*>(s.get())->Value());

  Tree b(TvxJSONboolean::Generate(false));
  EXPECT_EQ(Variant(false), b->GetValue());
  b->SetValue(Variant("true"));
  EXPECT_TRUE(static_cast<TvxJSONboolean*>(b.get())->Value());

  // Everything else ignores SetValue and reads as null.
  Tree others[] = {Tree(TvxJSONnull::Generate()), Tree(TvxJSONlist::Generate()),
                   Tree(TvxJSONobject::Generate(false)), Tree(new TvxJSONbase),
                   Tree(TvxJSONobjectmethod::Generate(u"k", TvxJSONnumber::Generate(1)))};
  for (Tree& o : others) {
    o->SetValue(Variant(5));
    EXPECT_TRUE(o->GetValue().IsNull()) << o->SelfTypeName();
    EXPECT_EQ(0, o->GetCount());
    EXPECT_EQ(nullptr, o->GetChild(0));
  }
}

TEST(TvxJSONbase, GetFieldPerClassAndKey) {
  Tree n(TvxJSONnumber::Generate(1));
  EXPECT_EQ(n.get(), n->GetField(Variant("x")));
  EXPECT_EQ(n.get(), n->GetField(Variant(0)));

  Tree list = Parse("[10,20,30]");
  EXPECT_EQ(list.get(), list->GetField(Variant("x")));  // any non-numeric key: the list
  EXPECT_EQ(list.get(), list->GetField(Variant()));
  EXPECT_EQ(list->GetChild(1), list->GetField(Variant(1)));
  EXPECT_EQ(list->GetChild(2), list->GetField(Variant(1.5)));  // rounds half to even
  EXPECT_EQ(list->GetChild(2), list->GetField(Variant(2.5)));
  EXPECT_EQ(nullptr, list->GetField(Variant(3)));
  EXPECT_EQ(nullptr, list->GetField(Variant(-1)));
  EXPECT_EQ(nullptr, list->GetField(Variant(1e300)));  // no such index, no error

  Tree obj = Parse(R"({"a":1,"b":"x"})");
  EXPECT_EQ(Variant(1.0), obj->GetField(Variant("a"))->GetValue());
  EXPECT_EQ(Variant(u"x"), obj->GetField(Variant(u"b"))->GetValue());
  EXPECT_EQ(nullptr, obj->GetField(Variant("zz")));
  // A numeric key reads the pair itself, whose value is null.
  TvxJSONbase* pair = obj->GetField(Variant(0));
  ASSERT_NE(nullptr, As<TvxJSONobjectmethod>(pair));
  EXPECT_TRUE(pair->GetValue().IsNull());
  EXPECT_EQ(obj.get(), obj->GetField(Variant(true)));
}

TEST(TvxJSONlist, AddOverloadsWrapScalars) {
  Tree t(TvxJSONlist::Generate());
  auto* l = static_cast<TvxJSONlist*>(t.get());
  EXPECT_EQ(0, l->Add(1.5));
  EXPECT_EQ(1, l->Add(true));
  EXPECT_EQ(2, l->Add(int32_t{-3}));
  EXPECT_EQ(3, l->Add(u"w"));
  EXPECT_EQ(4, l->Add(AnsiString("\xD6\xD0")));  // GBK for U+4E2D
  EXPECT_EQ(5, l->Add("plain"));                 // a literal is text, not a Boolean
  EXPECT_EQ(-1, l->Add(static_cast<TvxJSONbase*>(nullptr)));
  EXPECT_EQ(6, l->GetCount());
  EXPECT_EQ("[1.5,true,-3,\"w\",\"\xE4\xB8\xAD\",\"plain\"]", Compact(t));
}

TEST(TvxJSONlist, DeleteMovesLastIntoGap) {
  Tree t = Parse("[1,2,3]");
  auto* l = As<TvxJSONlist>(t.get());
  l->Delete(0);
  EXPECT_EQ("[3,2]", Compact(t));
  l->Delete(5);
  l->Delete(-1);
  EXPECT_EQ("[3,2]", Compact(t));
  l->Delete(1);
  EXPECT_EQ("[3]", Compact(t));
}

TEST(TvxJSONcustomlist, OwnershipOfChildren) {
  gDestroyed = 0;
  {
    Tree t(TvxJSONlist::Generate());
    auto* l = static_cast<TvxJSONlist*>(t.get());
    auto* a = new Tracked;
    auto* b = new Tracked;
    l->Add(a);
    l->Add(b);
    EXPECT_EQ(1, l->IndexOf(b));
    EXPECT_EQ(-1, l->IndexOf(nullptr));
    l->SetChild(0, a);  // storing the same child again destroys nothing
    EXPECT_EQ(0, gDestroyed);
    l->SetChild(0, new Tracked);  // replaces and destroys a
    EXPECT_EQ(1, gDestroyed);
    l->SetChild(9, nullptr);  // out of range: ignored
    l->_Delete(1);            // destroys b
    EXPECT_EQ(2, gDestroyed);
    EXPECT_EQ(-1, l->_Add(l));  // a list never holds itself
  }
  EXPECT_EQ(3, gDestroyed);
}

TEST(TvxJSONcustomlist, TypedGettersReadElementsOrDefaults) {
  Tree t = Parse(R"([2.7, -2.7, "s", true, null, 2147483647, -2147483648])");
  auto* l = As<TvxJSONlist>(t.get());
  EXPECT_EQ(2, l->getInt(0));
  EXPECT_EQ(-2, l->getInt(1));
  EXPECT_EQ(2147483647, l->getInt(5));
  EXPECT_EQ(-2147483647 - 1, l->getInt(6));
  EXPECT_DOUBLE_EQ(2.7, l->getDouble(0));
  EXPECT_EQ("s", l->getString(2));
  EXPECT_EQ(u"s", l->getWideString(2));
  EXPECT_TRUE(l->getBoolean(3));
  // Missing elements give the defaults.
  EXPECT_EQ(0, l->getInt(50));
  EXPECT_EQ(0.0, l->getDouble(-1));
  EXPECT_EQ("", l->getString(50));
  EXPECT_EQ(u"", l->getWideString(50));
  EXPECT_FALSE(l->getBoolean(50));
  // Elements of another class are not converted.
  EXPECT_THROW(l->getInt(2), EInvalidCast);
  EXPECT_THROW(l->getDouble(3), EInvalidCast);
  EXPECT_THROW(l->getString(0), EInvalidCast);
  EXPECT_THROW(l->getWideString(4), EInvalidCast);
  EXPECT_THROW(l->getBoolean(2), EInvalidCast);
}

TEST(TvxJSONcustomlist, GetIntOutOfRangeIsAnError) {
  Tree t = Parse("[2147483648, -2147483649, 1e30, 2147483647.9]");
  auto* l = As<TvxJSONlist>(t.get());
  EXPECT_THROW(l->getInt(0), EConvertError);
  EXPECT_THROW(l->getInt(1), EConvertError);
  EXPECT_THROW(l->getInt(2), EConvertError);
  EXPECT_EQ(2147483647, l->getInt(3));  // truncation first, then the range
}

TEST(TvxJSONcustomlist, ForEachNamesAndStops) {
  Tree t = Parse(R"([1, "a", null])");
  std::vector<std::string> seen;
  TvxJSONFuncEnum collect = [&](const AnsiString& name, TvxJSONbase* el, void* data, bool& goOn) {
    EXPECT_EQ(&seen, data);
    seen.push_back(name + "=" + TvxJSON::GenerateText(el));
    goOn = seen.size() < 2;
  };
  As<TvxJSONlist>(t.get())->ForEach(collect, &seen);
  EXPECT_EQ((std::vector<std::string>{"0=1", "1=\"a\""}), seen);
  As<TvxJSONlist>(t.get())->ForEach(TvxJSONFuncEnum(), nullptr);  // no callback: nothing
}

TEST(TvxJSONobject, RepeatedNamesFindTheFirstMemberWithAndWithoutIndex) {
  for (bool useIndex : {true, false}) {
    Tree t(TvxJSONobject::Generate(useIndex));
    auto* o = static_cast<TvxJSONobject*>(t.get());
    EXPECT_EQ(0, o->Add(u"k1", int32_t{10}));
    EXPECT_EQ(1, o->Add(u"k2", int32_t{20}));
    EXPECT_EQ(2, o->Add(u"k1", int32_t{30}));
    EXPECT_EQ(0, o->IndexOfName(u"k1")) << useIndex;
    EXPECT_EQ(1, o->IndexOfName(u"k2"));
    EXPECT_EQ(-1, o->IndexOfName(u"K1"));  // case matters
    EXPECT_EQ(-1, o->IndexOfName(u"k"));
    // Read through the name: index 2 gives member 0's value.
    EXPECT_EQ(o->OldGetField(u"k1"), o->GetFieldByIndex(2));
    EXPECT_EQ(10, o->getInt(2));
    EXPECT_EQ(20, o->getInt("k2"));
    EXPECT_EQ(0, o->getInt("missing"));
    EXPECT_EQ(u"k1", o->GetNameOf(2));
    EXPECT_EQ(u"", o->GetNameOf(3));
    EXPECT_EQ(useIndex ? 2u : 0u, o->GetHashTable()->Size());
  }
}

TEST(TvxJSONobject, EmptyNameIsFoundByNameButNotByIndex) {
  Tree t = Parse(R"({"":1,"b":2})");
  auto* o = As<TvxJSONobject>(t.get());
  ASSERT_NE(nullptr, o->OldGetField(u""));
  EXPECT_EQ(nullptr, o->GetFieldByIndex(0));
  std::vector<std::string> names;
  o->ForEach([&](const AnsiString& n, TvxJSONbase*, void*, bool&) { names.push_back(n); }, nullptr);
  EXPECT_EQ(std::vector<std::string>{"b"}, names);
}

TEST(TvxJSONobject, AddRefusesNoneAndNonPairs) {
  Tree t(TvxJSONobject::Generate(true));
  auto* o = static_cast<TvxJSONobject*>(t.get());
  EXPECT_EQ(-1, o->Add(u"x", static_cast<TvxJSONbase*>(nullptr)));
  EXPECT_EQ(0, o->GetCount());
  Tree stray(TvxJSONnumber::Generate(1));
  EXPECT_EQ(-1, o->_Add(stray.get()));  // stays with the caller
  o->Add(u"a", u"x");
  o->SetChild(0, stray.get());  // refused as well
  EXPECT_EQ(R"({"a":"x"})", Compact(t));
  // Scalar overloads.
  o->Add(u"d", 0.25);
  o->Add(u"b", false);
  o->Add(u"g", AnsiString("\xD6\xD0"));
  o->Add(u"i", int32_t{7});
  o->Add(u"c", "lit");
  EXPECT_EQ("{\"a\":\"x\",\"d\":0.25,\"b\":false,\"g\":\"\xE4\xB8\xAD\",\"i\":7,\"c\":\"lit\"}", Compact(t));
}

TEST(TvxJSONobject, OldSetFieldReplacesWithoutDestroying) {
  gDestroyed = 0;
  Tree t(TvxJSONobject::Generate(true));
  auto* o = static_cast<TvxJSONobject*>(t.get());
  auto* first = new Tracked;
  o->Add(u"a", first);
  auto* second = new Tracked;
  o->OldSetField(u"a", second);
  EXPECT_EQ(0, gDestroyed);  // the old value is the caller's again
  EXPECT_EQ(second, o->OldGetField(u"a"));
  Tree stray(TvxJSONnumber::Generate(4));
  o->OldSetField(u"zz", stray.get());  // absent: no member added, nothing taken
  EXPECT_EQ(1, o->GetCount());
  o->SetFieldByIndex(0, first);
  EXPECT_EQ(0, gDestroyed);
  EXPECT_EQ(first, o->OldGetField(u"a"));
  EXPECT_EQ(0, o->IndexOfObject(first));
  EXPECT_EQ(-1, o->IndexOfObject(second));
  delete second;
  t.reset();
  EXPECT_EQ(2, gDestroyed);
}

TEST(TvxJSONobject, DeleteWithIndexKeepsOrderAndLookups) {
  Tree t = Parse(R"({"k1":1,"k2":2,"k3":3,"k2":4,"k4":5})");
  auto* o = As<TvxJSONobject>(t.get());
  o->Delete(1);  // the first k2: the later k2 becomes the one the name finds
  EXPECT_EQ(R"({"k1":1,"k3":3,"k2":4,"k4":5})", Compact(t));
  EXPECT_EQ(2, o->IndexOfName(u"k2"));
  EXPECT_EQ(1, o->IndexOfName(u"k3"));
  EXPECT_EQ(3, o->IndexOfName(u"k4"));
  EXPECT_EQ(4, o->getInt("k2"));
  o->Delete(0);
  EXPECT_EQ(-1, o->IndexOfName(u"k1"));
  EXPECT_EQ(0, o->IndexOfName(u"k3"));
  EXPECT_EQ(2, o->IndexOfName(u"k4"));
  EXPECT_EQ(3u, o->GetHashTable()->Size());
  // Each remaining name maps to its member.
  for (int32_t i = 0; i < o->GetCount(); ++i) EXPECT_EQ(i, o->IndexOfName(o->GetNameOf(i)));
}

TEST(TvxJSONobject, DeleteOfUnindexedDuplicateRenumbersOnly) {
  Tree t = Parse(R"({"a":1,"b":2,"a":3,"c":4})");
  auto* o = As<TvxJSONobject>(t.get());
  o->Delete(2);
  EXPECT_EQ(R"({"a":1,"b":2,"c":4})", Compact(t));
  EXPECT_EQ(0, o->IndexOfName(u"a"));
  EXPECT_EQ(2, o->IndexOfName(u"c"));
}

TEST(TvxJSONobject, DeleteWithoutIndexMovesLast) {
  Tree t(TvxJSONobject::Generate(false));
  auto* o = static_cast<TvxJSONobject*>(t.get());
  o->Add(u"a", int32_t{1});
  o->Add(u"b", int32_t{2});
  o->Add(u"c", int32_t{3});
  o->Delete(0);
  EXPECT_EQ(R"({"c":3,"b":2})", Compact(t));
  EXPECT_EQ(0, o->IndexOfName(u"c"));
}

TEST(TvxJSONobject, SetChildKeepsIndexTruthful) {
  Tree t = Parse(R"({"a":1,"b":2})");
  auto* o = As<TvxJSONobject>(t.get());
  o->SetChild(0, TvxJSONobjectmethod::Generate(u"z", TvxJSONnumber::Generate(9)));
  EXPECT_EQ(-1, o->IndexOfName(u"a"));
  EXPECT_EQ(0, o->IndexOfName(u"z"));
  EXPECT_EQ(9, o->getInt("z"));
}

TEST(TvxJSONobjectmethod, SetNameLeavesTheIndexAlone) {
  Tree t = Parse(R"({"a":1})");
  auto* o = As<TvxJSONobject>(t.get());
  static_cast<TvxJSONobjectmethod*>(o->GetChild(0))->SetName(u"b");
  EXPECT_EQ(0, o->IndexOfName(u"a"));
  EXPECT_EQ(-1, o->IndexOfName(u"b"));
  EXPECT_EQ(R"({"b":1})", Compact(t));
}

TEST(TvxJSONobject, TypedGettersByName) {
  Tree t = Parse(R"({"n":-2.7,"s":"\u4e2d","b":true,"x":null})");
  auto* o = As<TvxJSONobject>(t.get());
  EXPECT_EQ(-2, o->getInt("n"));
  EXPECT_DOUBLE_EQ(-2.7, o->getDouble("n"));
  EXPECT_EQ("\xD6\xD0", o->getString("s"));  // GBK
  EXPECT_EQ(u"\u4e2d", o->getWideString("s"));
  EXPECT_TRUE(o->getBoolean("b"));
  EXPECT_THROW(o->getInt("s"), EInvalidCast);
  EXPECT_THROW(o->getBoolean("x"), EInvalidCast);
  EXPECT_FALSE(o->getBoolean("none"));
}

TEST(TvxJSONbase, DeepTreesAreDestroyedWithoutRecursion) {
  // Built by code, far deeper than any call stack could recurse.
  constexpr int kDepth = 1000000;
  auto* root = TvxJSONlist::Generate();
  TvxJSONlist* at = root;
  for (int i = 0; i < kDepth; ++i) {
    if (i % 2 == 0) {
      auto* next = TvxJSONlist::Generate();
      at->Add(next);
      at = next;
    } else {
      auto* o = TvxJSONobject::Generate(true);
      auto* next = TvxJSONlist::Generate();
      o->Add(u"k", next);
      at->Add(o);
      at = next;
    }
  }
  delete root;
  SUCCEED();
}
