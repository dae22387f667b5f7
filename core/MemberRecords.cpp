#include "core/MemberRecords.h"

#include <cstdint>

namespace {
TMemberUserInfoRecord_ZEL* AsMember(void* p) { return static_cast<TMemberUserInfoRecord_ZEL*>(p); }
TTicketInfoRecord_VRISK* AsTicket(void* p) { return static_cast<TTicketInfoRecord_VRISK*>(p); }
}  // namespace

// The base destructor cannot reach our Notify, so the records are freed here.
TMemberUserInfoList_ZEL::~TMemberUserInfoList_ZEL() { Clear(); }

int TMemberUserInfoList_ZEL::Add(TMemberUserInfoRecord_ZEL* item) { return TList::Add(item); }

void TMemberUserInfoList_ZEL::Insert(int index, TMemberUserInfoRecord_ZEL* item) {
  TList::Insert(index, item);
}

TMemberUserInfoRecord_ZEL* TMemberUserInfoList_ZEL::Extract(TMemberUserInfoRecord_ZEL* item) {
  // A null entry is no record and has no owner; take out one, as TList does.
  if (item == nullptr) return AsMember(TList::Extract(nullptr));
  // The caller becomes the record's only owner, so no occurrence may stay
  // behind for the list to free later. Each removal counts down in Notify.
  TMemberUserInfoRecord_ZEL* found = nullptr;
  while (TList::Extract(item) != nullptr) found = item;
  return found;
}

int TMemberUserInfoList_ZEL::Remove(TMemberUserInfoRecord_ZEL* item) { return TList::Remove(item); }

int TMemberUserInfoList_ZEL::IndexOf(const TMemberUserInfoRecord_ZEL* item) const {
  return TList::IndexOf(const_cast<TMemberUserInfoRecord_ZEL*>(item));
}

TMemberUserInfoRecord_ZEL* TMemberUserInfoList_ZEL::First() const { return AsMember(TList::First()); }

TMemberUserInfoRecord_ZEL* TMemberUserInfoList_ZEL::Last() const { return AsMember(TList::Last()); }

TMemberUserInfoRecord_ZEL* TMemberUserInfoList_ZEL::GetItems(int index) const { return AsMember(Get(index)); }

void TMemberUserInfoList_ZEL::SetItems(int index, TMemberUserInfoRecord_ZEL* item) { Put(index, item); }

int TMemberUserInfoList_ZEL::Find(const std::string& memberId) const {
  for (int i = 0; i < Count(); ++i) {
    const TMemberUserInfoRecord_ZEL* rec = GetItems(i);
    if (rec != nullptr && rec->MemberID == memberId) return i;
  }
  return -1;
}

void TMemberUserInfoList_ZEL::CopyListItem(const TMemberUserInfoRecord_ZEL& source,
                                           TMemberUserInfoRecord_ZEL& dest) {
  // Reserved, MemberGroupCode, PayPassword, IsOneCard, ConsumePoints and
  // ConsumeMoney are left alone on purpose: callers merge a looked-up member
  // into a record that already carries those.
  dest.MemberID = source.MemberID;
  dest.MemberNum = source.MemberNum;
  dest.MemberValid = source.MemberValid;
  dest.MemberName = source.MemberName;
  dest.MemberType = source.MemberType;
  dest.MemberTypeName = source.MemberTypeName;
  dest.CardType = source.CardType;
  dest.CardTypeName = source.CardTypeName;
  dest.CertificateType = source.CertificateType;
  dest.CertificateNum = source.CertificateNum;
  dest.PhoneNum = source.PhoneNum;
  dest.MobileNum = source.MobileNum;
  dest.Address = source.Address;
  dest.Email = source.Email;
  dest.MemberBalance = source.MemberBalance;
  dest.IsFeesMember = source.IsFeesMember;
  dest.Points = source.Points;
  dest.CardStatus = source.CardStatus;
}

std::string TMemberUserInfoList_ZEL::GetAsString() const { return std::string(); }

void TMemberUserInfoList_ZEL::Notify(void* item, TListNotification action) {
  TList::Notify(item, action);
  // A record placed in the list twice (Add of the same record, SetItems with
  // a record held at another index) is freed only when its last occurrence
  // leaves; freeing it earlier would leave a dangling item and a double free.
  if (action == TListNotification::lnAdded) {
    occurrences_.Increment(item);
    return;
  }
  if (occurrences_.Decrement(item) != 0) return;
  if (action == TListNotification::lnDeleted) delete AsMember(item);
}

int TTicketInfoRecordList_VRISK::Add(TTicketInfoRecord_VRISK* item) { return TList::Add(item); }

TTicketInfoRecord_VRISK* TTicketInfoRecordList_VRISK::GetItems(int index) const {
  return AsTicket(Get(index));
}

int TTicketInfoRecordList_VRISK::Find(const std::string& key) const {
  for (int i = 0; i < Count(); ++i) {
    const TTicketInfoRecord_VRISK* rec = GetItems(i);
    if (rec != nullptr && rec->CL_PriceLevel == key) return i;
  }
  return -1;
}

namespace quorl {

size_t PointerCounts::Home(const void* key) const {
  // Fibonacci hashing of the address; heap pointers differ in their middle bits.
  const uint64_t h = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(key)) * 0x9E3779B97F4A7C15ull;
  return static_cast<size_t>(h >> 32) & (slots_.size() - 1);
}

void PointerCounts::Grow() {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(old.empty() ? 16 : old.size() * 2, Slot{});
  for (const Slot& s : old) {
    if (s.key == nullptr) continue;
    size_t i = Home(s.key);
    while (slots_[i].key != nullptr) i = (i + 1) & (slots_.size() - 1);
    slots_[i] = s;
  }
}

void PointerCounts::Increment(void* key) {
  if ((size_ + 1) * 2 > slots_.size()) Grow();
  const size_t mask = slots_.size() - 1;
  size_t i = Home(key);
  while (slots_[i].key != nullptr && slots_[i].key != key) i = (i + 1) & mask;
  if (slots_[i].key == nullptr) {
    slots_[i].key = key;
    ++size_;
  }
  ++slots_[i].count;
}

int PointerCounts::Decrement(void* key) {
  if (slots_.empty()) return -1;
  const size_t mask = slots_.size() - 1;
  size_t i = Home(key);
  while (slots_[i].key != key) {
    if (slots_[i].key == nullptr) return -1;
    i = (i + 1) & mask;
  }
  if (--slots_[i].count > 0) return slots_[i].count;
  // Backward shift: pull later entries of the probe run into the hole, so
  // no entry is ever separated from its home by an empty slot.
  for (size_t j = (i + 1) & mask; slots_[j].key != nullptr; j = (j + 1) & mask) {
    const size_t home = Home(slots_[j].key);
    const bool stays = i <= j ? (home > i && home <= j) : (home > i || home <= j);
    if (stays) continue;
    slots_[i] = slots_[j];
    i = j;
  }
  slots_[i] = Slot{};
  --size_;
  return 0;
}

}  // namespace quorl
