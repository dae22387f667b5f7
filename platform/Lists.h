// TList: a growable list of untyped references; TStringList: a list of 8-bit texts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/RtlExport.h"

/// What TList::Notify is told.
enum class TListNotification { lnAdded, lnExtracted, lnDeleted };

/// Items are addressed by a zero-based index. Every change calls the virtual
/// Notify hook, as the platform does:
///  - Add/Insert: Notify(item, lnAdded) after the item is in the list;
///  - Delete/Remove/Clear: Notify(item, lnDeleted) after it left the list;
///  - Extract: Notify(item, lnExtracted);
///  - Put (write of Items): when the new item differs from the old one, the
///    old one gets lnDeleted and the new one lnAdded; the same item again
///    notifies nothing.
/// Null items are stored but never notified.
/// An index out of range raises EListError ("List index out of bounds (n)")
/// before anything changes. Because a base destructor cannot reach an
/// override, a class overriding Notify calls Clear() in its own destructor.
class QUORL_RTL_API TList {
 public:
  TList() = default;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;
  virtual ~TList();

  int Add(void* item);                                           ///< Appends item; returns its index.
  void Insert(int index, void* item);                            ///< 0..Count; Count appends
  void Delete(int index);                                        ///< Removes the item at index.
  int Remove(void* item);                                        ///< former index, or -1
  void* Extract(void* item);                                     ///< the item, or nullptr when absent
  void Clear();                                                  ///< Removes every item.
  int IndexOf(void* item) const;                                 ///< First index of item, or -1.
  void* First() const;                                           ///< EListError when empty
  void* Last() const;                                            ///< EListError when empty
  void* Get(int index) const;                                    ///< The item at index.
  void Put(int index, void* item);                               ///< Replaces the item at index.
  void Exchange(int a, int b);                                   ///< Swaps two items (no notification).
  int Count() const { return static_cast<int>(items_.size()); }  ///< Number of items.

 protected:
  /// Called after every change (see the class comment); does nothing here.
  virtual void Notify(void* item, TListNotification action);

 private:
  void CheckIndex(int index) const;
  std::vector<void*> items_;
};

/// Strings with name=value access. Text joins the lines, each followed by
/// "\n"; SetText splits at CR, LF or CR LF (a final line break adds no line).
class QUORL_RTL_API TStringList {
 public:
  int Add(std::string s);                 ///< Appends a line; returns its index.
  void Insert(int index, std::string s);  ///< Inserts a line at index (0..Count).
  void Delete(int index);                 ///< Removes the line at index (EListError out of range).
  void Clear() { items_.clear(); }        ///< Removes every line.
  int Count() const { return static_cast<int>(items_.size()); }          ///< Number of lines.
  const std::string& Get(int index) const;                               ///< EListError out of range
  void Put(int index, std::string s);                                    ///< EListError out of range
  const std::string& operator[](int index) const { return Get(index); }  ///< Get(index).
  int IndexOf(std::string_view s) const;                                 ///< exact match, -1 when absent

  std::string Text() const;             ///< Every line followed by a line break.
  void SetText(std::string_view text);  ///< Replaces the lines with those of text (CR LF or LF).

  /// "name=value" lines: the name is the text before the first '='.
  std::string Names(int index) const;
  std::string ValueFromIndex(int index) const;  ///< The part after the first '=' of line index.
  /// first line of that name (case-insensitive), else empty
  std::string Values(std::string_view name) const;
  /// Index of the first line whose name matches (ASCII case ignored), or -1.
  int IndexOfName(std::string_view name) const;

 private:
  std::vector<std::string> items_;
};
