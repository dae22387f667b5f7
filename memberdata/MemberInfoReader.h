// The member-info answer read without building a document (internal to the
// data module).
//
// ReadMemberListStreaming makes one pass over the host text and appends one
// record per "dataitem". It reads only the plain shape the service sends:
// an optional XML declaration first, then <data> (or <data/>) without
// attributes holding nothing but whitespace and <dataitem .../> elements
// (empty, or closed by </dataitem> after whitespace), attribute names in
// ASCII, values without control characters or '<', and whitespace after the
// document element. Anything else, malformed or merely unusual (comments,
// a DOCTYPE, markup inside an item), makes it return false, and the data
// module then reads the text with the document reader, which gives the same
// list or the exact error. It never returns true for a text the document
// reader refuses, and the records it builds are those the document reader
// builds (fuzz/memberinfo_diff_fuzz.cpp holds both to that).
//
// The certificate type names are filled in by FillCertificateNames after a
// successful pass, so that a failing certificate table load surfaces only
// for a text that reads, as with the document reader.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/MemberRecords.h"

namespace quorl::memberinfo {

// Attributes of a "dataitem", in the order they are read.
enum Slot : int {
  kMemberID,
  kMemberNum,
  kMemberValid,
  kMemberName,
  kMemberType,
  kMemberTypeName,
  kCardType,
  kCardTypeName,
  kCertificateType,
  kCertificateNum,
  kPhoneNum,
  kMobileNum,
  kAddress,
  kEmail,
  kCardStatus,
  kMemberBalance,
  kIsFeesMember,
  kPoints,
  kMemberGroupCode,
  kPayPassword,
  kIsOneCard,
  kConsumePoints,
  kConsumeMoney,
  kSlotCount
};

// The slot of an attribute name, or -1 for a name the mapping does not read.
// hint is the slot held by the same attribute position in the item before
// (answers repeat one attribute order), or -1.
int SlotOf(std::string_view name, int hint);

// Attribute values as they stand in the text, escapes not yet resolved; a
// value whose data() is null is absent.
using SlotValues = std::string_view[kSlotCount];

// A new record filled from values by the member-info mapping, without the
// certificate type's name. Bit s of escapedSlots is set when values[s]
// holds a '&' (its references are then resolved to host text).
TMemberUserInfoRecord_ZEL* NewRecordFromValues(const SlotValues& values, uint32_t escapedSlots);

// True when text is an optional sign followed by decimal digits whose value
// fits a 32-bit signed integer (the rule that keeps or replaces MemberID).
bool IsInt32Text(std::string_view text);

// Looks up the certificate type's name of every record of list, in order.
void FillCertificateNames(TMemberUserInfoList_ZEL& list);

// Appends the members of gbkText to list; false when the text is outside
// the shape read here (list then holds whatever was appended; discard it).
// slotHints carries SlotOf hints from one item (and one call) to the next.
bool ReadMemberListStreaming(std::string_view gbkText, TMemberUserInfoList_ZEL& list,
                             std::vector<signed char>& slotHints);

}  // namespace quorl::memberinfo
