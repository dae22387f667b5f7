// TvxBalTree: the member-name index of a JSON object. An AA-tree (Andersson
// balanced tree) mapping UTF-16 names to member positions, with one sentinel
// node per tree (level 0, both links pointing to itself).
//
// Names compare ordinally by UTF-16 code unit; a prefix sorts before the longer
// name; case matters. The tree knows names and positions, not JSON values.
//
// Ownership: the tree owns its nodes and its sentinel. Node memory comes from
// chunks owned by the tree and recycled through a free list, so building the
// index of a large object costs a few allocations instead of one per name.
// No operation fails: absent or duplicate names give false or -1.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/PackageExport.h"
#include "json/NodeArena.h"

/// One node of the name index (an AA tree); nodes belong to their tree.
struct TvxBalNode {
  TvxBalNode* left;       ///< smaller names; the sentinel when none
  TvxBalNode* right;      ///< greater names; the sentinel when none
  uint8_t level;          ///< AA level; 0 for the sentinel
  int32_t index;          ///< position of the member among the object's children
  quorl::ArenaText name;  ///< the member name
};

/// The name index of a JSON object: member name to position. Owns its nodes.
class QUORL_PACKAGE_API TvxBalTree {
 public:
  TvxBalTree();
  ~TvxBalTree();
  TvxBalTree(const TvxBalTree&) = delete;
  TvxBalTree& operator=(const TvxBalTree&) = delete;

  /// Adds name -> index. False (and no change) when the name is present: the
  /// existing node keeps its index.
  bool Insert(std::u16string_view name, int32_t index);
  /// Removes the name. Every stored index above the removed one is lowered by
  /// 1, as an order-keeping removal of that member would need. False when absent.
  bool Delete(std::u16string_view name);
  /// The index stored with the name, -1 when absent.
  int32_t IndexOf(std::u16string_view name) const;
  /// Releases every node; the tree is empty afterwards.
  void Clear();
  /// "Balanced tree root node level is N", N being 0 for an empty tree.
  std::string counters() const;

  /// The two AA rotations, applied in place to a link (the root or a node's
  /// left or right link). Both leave the sentinel unchanged.
  void skew(TvxBalNode*& t);
  void split(TvxBalNode*& t);  ///< The AA split (see skew).

  /// Lowers by 1 every stored index greater than `index`: the renumbering of a
  /// deletion, for a member removed whose name the index does not map to it.
  void LowerIndexesAbove(int32_t index);
  /// The name stored with exactly this index, if any node holds it.
  bool FindNameOfIndex(int32_t index, std::u16string& name) const;
  /// Prepares room for `count` more nodes in one chunk (used when a whole
  /// object is indexed at once).
  void Reserve(size_t count);
  /// Number of names in the tree.
  size_t Size() const { return size_; }

  /// Read-only view for callers that walk the tree (tests check its shape).
  const TvxBalNode* Root() const { return root_; }
  /// The sentinel node links end in, owned by the tree.
  const TvxBalNode* Sentinel() const { return sentinel_; }

 private:
  bool InsertAt(TvxBalNode*& t, std::u16string_view name, int32_t index);
  bool DeleteAt(TvxBalNode*& t, std::u16string_view name);
  TvxBalNode* NewNode(std::u16string_view name, int32_t index);
  void FreeNode(TvxBalNode* node);

  TvxBalNode* match_;  ///< scratch of Delete: the node holding the name
  TvxBalNode* last_;   ///< scratch of Delete: the bottom node of the search path
  TvxBalNode* sentinel_;
  TvxBalNode* root_;
  TvxBalNode sentinelNode_;
  size_t size_ = 0;

  /// Node storage: chunks of nodes, free ones linked through `right`.
  struct Chunk {
    TvxBalNode* nodes;
    size_t count;
  };
  std::vector<Chunk, quorl::ArenaAllocator<Chunk>> chunks_;
  TvxBalNode* free_ = nullptr;
  size_t nextChunk_ = 4;
};
