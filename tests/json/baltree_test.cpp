// TvxBalTree: the AA-tree name index, its rotations, renumbering deletion and
// counters.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "json/TvxBalTree.h"

namespace {

// Checks the AA-tree invariants and the search order below `t`; returns the
// in-order names.
void CheckNode(const TvxBalTree& tree, const TvxBalNode* t, std::vector<std::u16string>& names) {
  const TvxBalNode* s = tree.Sentinel();
  if (t == s) return;
  ASSERT_GE(t->level, 1);
  EXPECT_EQ(t->left->level + 1, t->level) << "left child one level down";
  EXPECT_TRUE(t->right->level == t->level || t->right->level + 1 == t->level);
  EXPECT_LT(t->right->right->level, t->level) << "no two right horizontal links";
  if (t->left == s && t->right == s) {
    EXPECT_EQ(1, t->level) << "leaves at level 1";
  }
  CheckNode(tree, t->left, names);
  names.emplace_back(t->name.View());
  CheckNode(tree, t->right, names);
}

std::vector<std::u16string> CheckTree(const TvxBalTree& tree) {
  std::vector<std::u16string> names;
  CheckNode(tree, tree.Root(), names);
  EXPECT_EQ(0, tree.Sentinel()->level);
  EXPECT_EQ(tree.Sentinel(), tree.Sentinel()->left);
  EXPECT_EQ(tree.Sentinel(), tree.Sentinel()->right);
  for (size_t i = 1; i < names.size(); ++i) EXPECT_LT(names[i - 1], names[i]);
  EXPECT_EQ(tree.Size(), names.size());
  return names;
}

}  // namespace

TEST(TvxBalTree, CountersReportRootLevel) {
  TvxBalTree tree;
  EXPECT_EQ("Balanced tree root node level is 0", tree.counters());
  EXPECT_TRUE(tree.Insert(u"a", 0));
  EXPECT_EQ("Balanced tree root node level is 1", tree.counters());
  tree.Insert(u"b", 1);
  tree.Insert(u"c", 2);  // ascending: the root has been split once
  EXPECT_EQ("Balanced tree root node level is 2", tree.counters());
  EXPECT_EQ(u"b", tree.Root()->name.View());
  tree.Clear();
  EXPECT_EQ("Balanced tree root node level is 0", tree.counters());
  EXPECT_EQ(-1, tree.IndexOf(u"a"));
}

TEST(TvxBalTree, DeleteRenumbersAndDuplicatesAreRefused) {
  TvxBalTree tree;
  tree.Insert(u"k1", 0);
  tree.Insert(u"k2", 1);
  tree.Insert(u"k3", 2);
  EXPECT_TRUE(tree.Delete(u"k2"));
  EXPECT_EQ(0, tree.IndexOf(u"k1"));
  EXPECT_EQ(1, tree.IndexOf(u"k3"));
  EXPECT_EQ(-1, tree.IndexOf(u"k2"));
  EXPECT_FALSE(tree.Delete(u"k2"));
  EXPECT_FALSE(tree.Insert(u"k1", 7));
  EXPECT_EQ(0, tree.IndexOf(u"k1"));
  CheckTree(tree);
}

TEST(TvxBalTree, OrdinalComparison) {
  TvxBalTree tree;
  const std::u16string names[] = {u"b", u"ab", u"a", u"A", u"", u"\u00e9", u"Z", std::u16string(u"a\0", 2)};
  for (size_t i = 0; i < std::size(names); ++i) EXPECT_TRUE(tree.Insert(names[i], static_cast<int32_t>(i)));
  const auto inOrder = CheckTree(tree);
  // Code unit order, the shorter prefix first.
  const std::vector<std::u16string> expected = {u"",   u"A", u"Z",     u"a", std::u16string(u"a\u0000", 2),
                                                u"ab", u"b", u"\u00e9"};
  EXPECT_EQ(expected, inOrder);
  EXPECT_EQ(3, tree.IndexOf(u"A"));
  EXPECT_EQ(2, tree.IndexOf(u"a"));
  EXPECT_EQ(4, tree.IndexOf(u""));
}

TEST(TvxBalTree, SkewAndSplitRotateInPlace) {
  TvxBalTree tree;
  auto* s = const_cast<TvxBalNode*>(tree.Sentinel());
  // skew: a left child on the same level becomes the subtree root.
  TvxBalNode l{s, s, 1, 0, quorl::ArenaText(u"l")};
  TvxBalNode t{&l, s, 1, 1, quorl::ArenaText(u"t")};
  TvxBalNode* link = &t;
  tree.skew(link);
  EXPECT_EQ(&l, link);
  EXPECT_EQ(&t, l.right);
  EXPECT_EQ(s, t.left);
  tree.skew(link);  // nothing more to do: l.left is the sentinel
  EXPECT_EQ(&l, link);

  // split: two right links on one level; the middle node rises.
  TvxBalNode c{s, s, 1, 2, quorl::ArenaText(u"c")};
  TvxBalNode b{s, &c, 1, 1, quorl::ArenaText(u"b")};
  TvxBalNode a{s, &b, 1, 0, quorl::ArenaText(u"a")};
  link = &a;
  tree.split(link);
  EXPECT_EQ(&b, link);
  EXPECT_EQ(2, b.level);
  EXPECT_EQ(&a, b.left);
  EXPECT_EQ(&c, b.right);
  EXPECT_EQ(s, a.right);

  // Both leave the sentinel as it is.
  TvxBalNode* sl = s;
  tree.skew(sl);
  tree.split(sl);
  EXPECT_EQ(s, sl);
  EXPECT_EQ(0, s->level);
  EXPECT_EQ(s, s->left);
  EXPECT_EQ(s, s->right);
}

TEST(TvxBalTree, RandomOperationsMatchAnOrderKeepingModel) {
  // The model: names with positions; removing one moves every later position
  // up by one, as the tree's renumbering deletion does.
  std::mt19937 rng(12345);
  TvxBalTree tree;
  std::map<std::u16string, int32_t> model;
  int32_t next = 0;
  for (int step = 0; step < 4000; ++step) {
    std::u16string name = u"n" + std::u16string(1, static_cast<char16_t>(u'a' + rng() % 26)) +
                          std::u16string(1, static_cast<char16_t>(u'a' + rng() % 26));
    if (rng() % 3 != 0) {
      const bool fresh = model.find(name) == model.end();
      EXPECT_EQ(fresh, tree.Insert(name, next));
      if (fresh) model[name] = next++;
    } else {
      const auto it = model.find(name);
      EXPECT_EQ(it != model.end(), tree.Delete(name));
      if (it != model.end()) {
        const int32_t gone = it->second;
        model.erase(it);
        for (auto& [n, i] : model)
          if (i > gone) --i;
        --next;
      }
    }
    if (step % 200 == 0) CheckTree(tree);
  }
  CheckTree(tree);
  for (const auto& [n, i] : model) EXPECT_EQ(i, tree.IndexOf(n));
  // Emptying the tree name by name leaves the sentinel as root.
  for (const auto& [n, i] : model) EXPECT_TRUE(tree.Delete(n));
  EXPECT_EQ(tree.Sentinel(), tree.Root());
  EXPECT_EQ(0u, tree.Size());
}

TEST(TvxBalTree, LookupHelpers) {
  TvxBalTree tree;
  tree.Insert(u"x", 4);
  tree.Insert(u"y", 9);
  std::u16string name;
  EXPECT_TRUE(tree.FindNameOfIndex(9, name));
  EXPECT_EQ(u"y", name);
  EXPECT_FALSE(tree.FindNameOfIndex(5, name));
  tree.LowerIndexesAbove(4);
  EXPECT_EQ(4, tree.IndexOf(u"x"));
  EXPECT_EQ(8, tree.IndexOf(u"y"));
}
