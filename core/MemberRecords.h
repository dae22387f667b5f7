// The records and lists exchanged between the host and the package.
//
// Text fields are 8-bit host text (GBK) in std::string, empty when a record
// is created. Booleans and the 32-bit spare are set by whoever fills the
// record (they start false / 0 here). Fields are declared in the order the
// host expects; do not reorder them.
//
// Lists:
//  - TMemberUserInfoList_ZEL owns its records: a record that leaves by
//    deletion (Delete, Remove, Clear, replacement through SetItems, the
//    list's destruction) is freed; one that leaves by Extract is handed to
//    the caller, who then owns it. Add/Insert take over the very record passed
//    (heap-allocated with new). A record held twice is freed when its last
//    occurrence is deleted; Extract takes out every occurrence, so the list
//    keeps none it could free later.
//  - TTicketInfoRecordList_VRISK owns nothing: the host creates and frees the
//    ticket records.
// Out-of-range indexes, and First/Last on an empty list, raise EListError and
// leave the list unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/PackageExport.h"
#include "platform/Lists.h"

// One row of the customer type table.
struct QUORL_PACKAGE_API TCustomerTypeInfoRecord_ZEL {
  std::string Code;
  std::string Name;
};

// One row of the certificate type table; also embedded in member records.
struct QUORL_PACKAGE_API TCertificateTypeInfoRecord_ZEL {
  std::string Code;
  std::string Name;
  int32_t Spare = 0;  // not set and not read by the package
};

// The type tables are handed out by reference (see _GetCustomerTypeInfoArr_ZEL):
// holders of the reference see the package's own array, never a copy.
using TCustomerTypeInfoArr_ZEL = std::vector<TCustomerTypeInfoRecord_ZEL>;
using TCertificateTypeInfoArr_ZEL = std::vector<TCertificateTypeInfoRecord_ZEL>;

// One member as the package returns it.
struct QUORL_PACKAGE_API TMemberUserInfoRecord_ZEL {
  std::string MemberID;  // "-1" from the readers when the source id is not a whole number
  std::string Reserved;  // not used by the package
  std::string MemberNum;
  bool MemberValid = false;
  std::string MemberName;
  std::string MemberType;
  std::string MemberTypeName;
  std::string CardType;
  std::string CardTypeName;
  TCertificateTypeInfoRecord_ZEL CertificateType;
  std::string CertificateNum;
  std::string PhoneNum;
  std::string MobileNum;
  std::string Address;
  std::string Email;
  std::string MemberBalance;
  std::string IsFeesMember;  // "Y" or "N"
  std::string Points;
  std::string MemberGroupCode;
  std::string PayPassword;
  bool IsOneCard = false;
  std::string ConsumePoints;
  std::string ConsumeMoney;
  std::string CardStatus;
};

// Criteria of a member look-up. A set Skip flag sends that criterion as empty
// text. Only CertificateType.Code is read; Password serves platform mode only.
struct QUORL_PACKAGE_API TQueryUserInfoConditionRecord_ZEL {
  std::string MemberID;
  std::string MemberNum;
  std::string MemberName;
  TCertificateTypeInfoRecord_ZEL CertificateType;
  std::string CertificateNum;
  std::string PhoneNum;
  std::string MobileNum;
  std::string Password;
  bool SkipMemberID = false;
  bool SkipMemberNum = false;
  bool SkipMemberName = false;
  bool SkipCertificateType = false;
  bool SkipCertificateNum = false;
  bool SkipPhoneNum = false;
  bool SkipMobileNum = false;
  bool SkipPassword = false;
  std::string Reserved;  // not read by the package
};

class TTicketInfoRecordList_VRISK;

// One ticket line of a consumption.
struct QUORL_PACKAGE_API TTicketInfoRecord_VRISK {
  std::string CL_PriceLevel;  // key of TTicketInfoRecordList_VRISK::Find
  std::string CL_WarePrice;
  std::string CL_WareNum;
  std::string CL_CostSum;
};

// One consumption, filled by the host. Every text goes to the print document
// unchanged under its own field name. Tickets is not owned by the record and
// must reference a list (which may be empty).
struct QUORL_PACKAGE_API TMemberInfoRecord_VRISK {
  std::string MC_Time;
  std::string MC_PriceSum;
  std::string MC_Cost;
  std::string MC_CostType;
  std::string MC_MemberID;
  std::string MC_Discount;
  std::string MC_bPost;
  std::string MC_Address;
  std::string MC_UserName;
  std::string MC_PhoneNumber;
  std::string MC_PostMemo;
  std::string MC_Creater;
  std::string MC_WareCode;
  std::string MC_WareName;
  std::string MC_WareTime;
  std::string MC_PlaceName;
  std::string MC_OrderCode;
  std::string MC_OrderSource;
  std::string MC_SaleClassName;
  std::string MC_InvoiceHead;
  std::string MC_Isonecard;
  std::string MC_Group;
  std::string MC_ProduceGroup;
  TTicketInfoRecordList_VRISK* Tickets = nullptr;
};

// Published for the host only: no operation of the package reads or writes
// it, and the fields carry no meaning the package knows of.
struct QUORL_PACKAGE_API TMemberConsumeInfoRecord {
  std::string MemberID;
  std::string MemberNum;
  std::string ConsumeTime;
  std::string ConsumeMoney;
  std::string ConsumePoints;
  std::string ConsumeMemo;
};

namespace quorl {

// How often each pointer is held: an open-addressing table (linear probing,
// deletion by backward shift) so a list of many records counts them without
// a heap node per record. Null is never a key.
class PointerCounts {
 public:
  void Increment(void* key);
  // The count left after taking one away; -1 (and no change) when key is absent.
  int Decrement(void* key);

 private:
  struct Slot {
    void* key = nullptr;
    int count = 0;
  };
  size_t Home(const void* key) const;
  void Grow();
  std::vector<Slot> slots_;
  size_t size_ = 0;
};

}  // namespace quorl

// Owning list of member records (see the file comment for the rules).
class QUORL_PACKAGE_API TMemberUserInfoList_ZEL : public TList {
 public:
  TMemberUserInfoList_ZEL() = default;
  ~TMemberUserInfoList_ZEL() override;

  int Add(TMemberUserInfoRecord_ZEL* item);
  void Insert(int index, TMemberUserInfoRecord_ZEL* item);  // 0..Count; Count appends
  // Takes every occurrence of that very record out without freeing it (each
  // notified lnExtracted) and returns it, now owned by the caller alone;
  // nullptr (and no change) when it is not in the list. Extract(nullptr)
  // takes out the first null entry, if any, and returns nullptr.
  TMemberUserInfoRecord_ZEL* Extract(TMemberUserInfoRecord_ZEL* item);
  // Deletes and frees the first occurrence; its former index, or -1.
  int Remove(TMemberUserInfoRecord_ZEL* item);
  int IndexOf(const TMemberUserInfoRecord_ZEL* item) const;  // identity, -1 when absent
  TMemberUserInfoRecord_ZEL* First() const;
  TMemberUserInfoRecord_ZEL* Last() const;
  TMemberUserInfoRecord_ZEL* GetItems(int index) const;
  // Replaces the record at index; the old one is freed when it differs.
  void SetItems(int index, TMemberUserInfoRecord_ZEL* item);
  // Index of the first record whose MemberID equals memberId byte for byte; -1 if none.
  int Find(const std::string& memberId) const;
  // Copies every field except Reserved, MemberGroupCode, PayPassword,
  // IsOneCard, ConsumePoints and ConsumeMoney, which dest keeps. Touches no list.
  static void CopyListItem(const TMemberUserInfoRecord_ZEL& source, TMemberUserInfoRecord_ZEL& dest);
  // Always empty text.
  std::string GetAsString() const;

 protected:
  void Notify(void* item, TListNotification action) override;

 private:
  // How often each record stands in the list, so a record placed twice is
  // freed once, when its last occurrence leaves, in constant time.
  quorl::PointerCounts occurrences_;
};

// Non-owning list of ticket lines.
class QUORL_PACKAGE_API TTicketInfoRecordList_VRISK : public TList {
 public:
  int Add(TTicketInfoRecord_VRISK* item);
  TTicketInfoRecord_VRISK* GetItems(int index) const;
  // Index of the first record whose CL_PriceLevel equals key byte for byte; -1 if none.
  int Find(const std::string& key) const;
};
