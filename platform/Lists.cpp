#include "platform/Lists.h"

#include <string>
#include <utility>

#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace {

[[noreturn]] void RaiseIndexError(int index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

}  // namespace

TList::~TList() { Clear(); }

void TList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) RaiseIndexError(index);
}

int TList::Add(void* item) {
  items_.push_back(item);
  const int index = Count() - 1;
  if (item != nullptr) Notify(item, TListNotification::lnAdded);
  return index;
}

void TList::Insert(int index, void* item) {
  if (index < 0 || index > Count()) RaiseIndexError(index);
  items_.insert(items_.begin() + index, item);
  if (item != nullptr) Notify(item, TListNotification::lnAdded);
}

void TList::Delete(int index) {
  CheckIndex(index);
  void* item = items_[static_cast<size_t>(index)];
  items_.erase(items_.begin() + index);
  if (item != nullptr) Notify(item, TListNotification::lnDeleted);
}

int TList::Remove(void* item) {
  const int index = IndexOf(item);
  if (index >= 0) Delete(index);
  return index;
}

void* TList::Extract(void* item) {
  const int index = IndexOf(item);
  if (index < 0) return nullptr;
  items_.erase(items_.begin() + index);
  if (item != nullptr) Notify(item, TListNotification::lnExtracted);
  return item;
}

void TList::Clear() {
  // From the end, one at a time: each item has left the list before its
  // Notify runs, and a Notify that touches the list sees a consistent one.
  while (!items_.empty()) Delete(Count() - 1);
  items_.shrink_to_fit();
}

int TList::IndexOf(void* item) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i] == item) return static_cast<int>(i);
  return -1;
}

void* TList::First() const { return Get(0); }

void* TList::Last() const { return Get(Count() - 1); }

void* TList::Get(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)];
}

void TList::Put(int index, void* item) {
  CheckIndex(index);
  void* old = items_[static_cast<size_t>(index)];
  if (old == item) return;
  items_[static_cast<size_t>(index)] = item;
  if (old != nullptr) Notify(old, TListNotification::lnDeleted);
  if (item != nullptr) Notify(item, TListNotification::lnAdded);
}

void TList::Exchange(int a, int b) {
  CheckIndex(a);
  CheckIndex(b);
  std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
}

void TList::Notify(void*, TListNotification) {}

int TStringList::Add(std::string s) {
  items_.push_back(std::move(s));
  return Count() - 1;
}

void TStringList::Insert(int index, std::string s) {
  if (index < 0 || index > Count()) RaiseIndexError(index);
  items_.insert(items_.begin() + index, std::move(s));
}

void TStringList::Delete(int index) {
  if (index < 0 || index >= Count()) RaiseIndexError(index);
  items_.erase(items_.begin() + index);
}

const std::string& TStringList::Get(int index) const {
  if (index < 0 || index >= Count()) RaiseIndexError(index);
  return items_[static_cast<size_t>(index)];
}

void TStringList::Put(int index, std::string s) {
  if (index < 0 || index >= Count()) RaiseIndexError(index);
  items_[static_cast<size_t>(index)] = std::move(s);
}

int TStringList::IndexOf(std::string_view s) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i] == s) return static_cast<int>(i);
  return -1;
}

std::string TStringList::Text() const {
  size_t size = 0;
  for (const auto& s : items_) size += s.size() + 1;
  std::string text;
  text.reserve(size);
  for (const auto& s : items_) {
    text += s;
    text += '\n';
  }
  return text;
}

void TStringList::SetText(std::string_view text) {
  items_.clear();
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      items_.emplace_back(text.substr(start, i - start));
      i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) items_.emplace_back(text.substr(start));
}

std::string TStringList::Names(int index) const {
  const std::string& line = Get(index);
  const size_t eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int index) const {
  const std::string& line = Get(index);
  const size_t eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

int TStringList::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    const std::string& line = items_[i];
    const size_t eq = line.find('=');
    if (eq != std::string::npos && quorl::SameTextGbk(std::string_view(line).substr(0, eq), name))
      return static_cast<int>(i);
  }
  return -1;
}

std::string TStringList::Values(std::string_view name) const {
  const int index = IndexOfName(name);
  return index < 0 ? std::string() : ValueFromIndex(index);
}
