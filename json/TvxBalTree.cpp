#include "json/TvxBalTree.h"

#include <algorithm>
#include <new>

TvxBalTree::TvxBalTree() {
  sentinelNode_.left = &sentinelNode_;
  sentinelNode_.right = &sentinelNode_;
  sentinelNode_.level = 0;
  sentinelNode_.index = -1;
  sentinel_ = &sentinelNode_;
  root_ = sentinel_;
  match_ = sentinel_;
  last_ = sentinel_;
}

TvxBalTree::~TvxBalTree() { Clear(); }

void TvxBalTree::skew(TvxBalNode*& t) {
  if (t->left->level == t->level) {
    TvxBalNode* l = t->left;
    t->left = l->right;
    l->right = t;
    t = l;
  }
}

void TvxBalTree::split(TvxBalNode*& t) {
  if (t->right->right->level == t->level) {
    TvxBalNode* r = t->right;
    t->right = r->left;
    r->left = t;
    // Applied to the sentinel this would raise its level; the sentinel's own
    // links make the test above true for it, so keep it at 0.
    if (r != sentinel_) r->level = static_cast<uint8_t>(r->level + 1);
    t = r;
  }
}

bool TvxBalTree::Insert(std::u16string_view name, int32_t index) { return InsertAt(root_, name, index); }

bool TvxBalTree::InsertAt(TvxBalNode*& t, std::u16string_view name, int32_t index) {
  if (t == sentinel_) {
    t = NewNode(name, index);
    return true;
  }
  bool result;
  const int c = name.compare(t->name.View());
  if (c < 0)
    result = InsertAt(t->left, name, index);
  else if (c > 0)
    result = InsertAt(t->right, name, index);
  else
    result = false;
  skew(t);
  split(t);
  return result;
}

int32_t TvxBalTree::IndexOf(std::u16string_view name) const {
  const TvxBalNode* t = root_;
  while (t != sentinel_) {
    const int c = name.compare(t->name.View());
    if (c == 0) return t->index;
    t = c < 0 ? t->left : t->right;
  }
  return -1;
}

bool TvxBalTree::Delete(std::u16string_view name) {
  // The match node is scratch of one deletion only: left over from an earlier
  // one it could point at a node that has been released since.
  match_ = sentinel_;
  last_ = sentinel_;
  const bool result = DeleteAt(root_, name);
  match_ = sentinel_;
  last_ = sentinel_;
  return result;
}

bool TvxBalTree::DeleteAt(TvxBalNode*& t, std::u16string_view name) {
  if (t == sentinel_) return false;
  last_ = t;
  bool result;
  if (name.compare(t->name.View()) < 0) {
    result = DeleteAt(t->left, name);
  } else {
    match_ = t;
    result = DeleteAt(t->right, name);
  }
  if (t == last_ && match_ != sentinel_ && name == match_->name.View()) {
    // t is the bottom node of the search path: its content moves into the
    // matched node and t itself leaves the tree.
    LowerIndexesAbove(match_->index);
    match_->index = t->index;
    if (match_ != t) match_->name = std::move(t->name);
    TvxBalNode* dead = t;
    t = t->right;
    match_ = sentinel_;
    last_ = sentinel_;
    FreeNode(dead);
    --size_;
    return true;
  }
  if (t->left->level < t->level - 1 || t->right->level < t->level - 1) {
    t->level = static_cast<uint8_t>(t->level - 1);
    if (t->right->level > t->level) t->right->level = t->level;
    skew(t);
    skew(t->right);
    skew(t->right->right);
    split(t);
    split(t->right);
  }
  return result;
}

namespace {

// Depth is bounded by the tree height (logarithmic), so plain recursion is safe.
void LowerAbove(TvxBalNode* t, const TvxBalNode* sentinel, int32_t index) {
  while (t != sentinel) {
    if (t->index > index) --t->index;
    LowerAbove(t->left, sentinel, index);
    t = t->right;
  }
}

bool FindIndex(const TvxBalNode* t, const TvxBalNode* sentinel, int32_t index, std::u16string& name) {
  while (t != sentinel) {
    if (t->index == index) {
      name.assign(t->name.View());
      return true;
    }
    if (FindIndex(t->left, sentinel, index, name)) return true;
    t = t->right;
  }
  return false;
}

}  // namespace

void TvxBalTree::LowerIndexesAbove(int32_t index) { LowerAbove(root_, sentinel_, index); }

bool TvxBalTree::FindNameOfIndex(int32_t index, std::u16string& name) const {
  return FindIndex(root_, sentinel_, index, name);
}

void TvxBalTree::Clear() {
  // Every node lives in a chunk; releasing the chunks releases them all.
  for (const Chunk& c : chunks_) {
    for (size_t i = 0; i < c.count; ++i) c.nodes[i].~TvxBalNode();
    quorl::ArenaFree(c.nodes, c.count * sizeof(TvxBalNode));
  }
  chunks_.clear();
  free_ = nullptr;
  nextChunk_ = 4;
  size_ = 0;
  root_ = sentinel_;
  match_ = sentinel_;
  last_ = sentinel_;
}

std::string TvxBalTree::counters() const {
  return "Balanced tree root node level is " + std::to_string(static_cast<int>(root_->level));
}

void TvxBalTree::Reserve(size_t count) {
  if (count == 0) return;
  chunks_.reserve(chunks_.size() + 1);  // so that push_back below cannot throw
  auto* nodes = static_cast<TvxBalNode*>(quorl::ArenaAllocate(count * sizeof(TvxBalNode)));
  for (size_t i = count; i-- > 0;) {
    new (&nodes[i]) TvxBalNode{nullptr, free_, 0, -1, {}};
    free_ = &nodes[i];
  }
  chunks_.push_back(Chunk{nodes, count});
}

TvxBalNode* TvxBalTree::NewNode(std::u16string_view name, int32_t index) {
  if (free_ == nullptr) {
    Reserve(nextChunk_);
    nextChunk_ = std::min<size_t>(nextChunk_ * 2, 256);
  }
  TvxBalNode* node = free_;
  free_ = node->right;
  node->left = sentinel_;
  node->right = sentinel_;
  node->level = 1;
  node->index = index;
  node->name.Assign(name);
  ++size_;
  return node;
}

void TvxBalTree::FreeNode(TvxBalNode* node) {
  node->name.Clear();
  node->left = nullptr;
  node->right = free_;
  free_ = node;
}
