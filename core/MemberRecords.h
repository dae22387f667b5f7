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

/// One row of the customer type table.
struct QUORL_PACKAGE_API TCustomerTypeInfoRecord_ZEL {
  std::string Code;  ///< type code
  std::string Name;  ///< display name (8-bit)
};

/// One row of the certificate type table; also embedded in member records.
struct QUORL_PACKAGE_API TCertificateTypeInfoRecord_ZEL {
  std::string Code;   ///< certificate type code
  std::string Name;   ///< display name (8-bit)
  int32_t Spare = 0;  ///< not set and not read by the package
};

/// The type tables are handed out by reference (see _GetCustomerTypeInfoArr_ZEL):
/// holders of the reference see the package's own array, never a copy.
using TCustomerTypeInfoArr_ZEL = std::vector<TCustomerTypeInfoRecord_ZEL>;
/// The certificate type table.
using TCertificateTypeInfoArr_ZEL = std::vector<TCertificateTypeInfoRecord_ZEL>;

/// One member as the package returns it.
struct QUORL_PACKAGE_API TMemberUserInfoRecord_ZEL {
  std::string MemberID;        ///< "-1" from the readers when the source id is not a whole number
  std::string Reserved;        ///< not used by the package
  std::string MemberNum;       ///< member (card) number
  bool MemberValid = false;    ///< whether the source marks the member valid
  std::string MemberName;      ///< name (8-bit)
  std::string MemberType;      ///< member type code
  std::string MemberTypeName;  ///< member type display name
  std::string CardType;        ///< card type code
  std::string CardTypeName;    ///< card type display name
  TCertificateTypeInfoRecord_ZEL CertificateType;  ///< certificate type (code and name)
  std::string CertificateNum;                      ///< certificate number
  std::string PhoneNum;                            ///< telephone number
  std::string MobileNum;                           ///< mobile number
  std::string Address;                             ///< postal address
  std::string Email;                               ///< e-mail address
  std::string MemberBalance;                       ///< stored-value balance, as the source writes it
  std::string IsFeesMember;                        ///< "Y" or "N"
  std::string Points;                              ///< points balance, as the source writes it
  std::string MemberGroupCode;                     ///< member group code
  std::string PayPassword;    ///< payment password as the source sends it; never shown or logged
  bool IsOneCard = false;     ///< whether the card is a one-card (all-in-one) card
  std::string ConsumePoints;  ///< points consumed, as the source writes it
  std::string ConsumeMoney;   ///< money consumed, as the source writes it
  std::string CardStatus;     ///< card status, as the source writes it
};

/// Criteria of a member look-up. A set Skip flag sends that criterion as empty
/// text. Only CertificateType.Code is read; Password serves platform mode only.
struct QUORL_PACKAGE_API TQueryUserInfoConditionRecord_ZEL {
  std::string MemberID;                            ///< member id to look for
  std::string MemberNum;                           ///< member (card) number to look for
  std::string MemberName;                          ///< name to look for
  TCertificateTypeInfoRecord_ZEL CertificateType;  ///< certificate type; only Code is read
  std::string CertificateNum;                      ///< certificate number to look for
  std::string PhoneNum;                            ///< telephone number to look for
  std::string MobileNum;                           ///< mobile number to look for
  std::string Password;              ///< the card password (platform mode only); never shown or logged
  bool SkipMemberID = false;         ///< send MemberID as empty text
  bool SkipMemberNum = false;        ///< send MemberNum as empty text
  bool SkipMemberName = false;       ///< send MemberName as empty text
  bool SkipCertificateType = false;  ///< send the certificate type as empty text
  bool SkipCertificateNum = false;   ///< send CertificateNum as empty text
  bool SkipPhoneNum = false;         ///< send PhoneNum as empty text
  bool SkipMobileNum = false;        ///< send MobileNum as empty text
  bool SkipPassword = false;         ///< send Password as empty text
  std::string Reserved;              ///< not read by the package
};

class TTicketInfoRecordList_VRISK;

/// One ticket line of a consumption.
struct QUORL_PACKAGE_API TTicketInfoRecord_VRISK {
  std::string CL_PriceLevel;  ///< key of TTicketInfoRecordList_VRISK::Find
  std::string CL_WarePrice;   ///< unit price
  std::string CL_WareNum;     ///< number of tickets
  std::string CL_CostSum;     ///< line total
};

/// One consumption, filled by the host. Every text goes to the print document
/// unchanged under its own field name. Tickets is not owned by the record and
/// must reference a list (which may be empty).
struct QUORL_PACKAGE_API TMemberInfoRecord_VRISK {
  std::string MC_Time;                             ///< time of the sale
  std::string MC_PriceSum;                         ///< price total
  std::string MC_Cost;                             ///< amount charged to the member
  std::string MC_CostType;                         ///< payment type
  std::string MC_MemberID;                         ///< member id charged
  std::string MC_Discount;                         ///< discount
  std::string MC_bPost;                            ///< posting flag as the host writes it
  std::string MC_Address;                          ///< delivery address
  std::string MC_UserName;                         ///< customer name
  std::string MC_PhoneNumber;                      ///< customer telephone
  std::string MC_PostMemo;                         ///< posting note
  std::string MC_Creater;                          ///< operator who made the sale
  std::string MC_WareCode;                         ///< ware (show) code
  std::string MC_WareName;                         ///< ware (show) name
  std::string MC_WareTime;                         ///< performance time
  std::string MC_PlaceName;                        ///< venue name
  std::string MC_OrderCode;                        ///< order code: one order code is one consumption
  std::string MC_OrderSource;                      ///< order source
  std::string MC_SaleClassName;                    ///< sale class name
  std::string MC_InvoiceHead;                      ///< invoice title
  std::string MC_Isonecard;                        ///< one-card flag as the host writes it
  std::string MC_Group;                            ///< member group
  std::string MC_ProduceGroup;                     ///< producing group
  TTicketInfoRecordList_VRISK* Tickets = nullptr;  ///< the ticket lines; not owned
};

/// Published for the host only: no operation of the package reads or writes
/// it, and the fields carry no meaning the package knows of.
struct QUORL_PACKAGE_API TMemberConsumeInfoRecord {
  std::string MemberID;       ///< member id
  std::string MemberNum;      ///< member number
  std::string ConsumeTime;    ///< time
  std::string ConsumeMoney;   ///< money
  std::string ConsumePoints;  ///< points
  std::string ConsumeMemo;    ///< note
};

namespace quorl {

/// How often each pointer is held: an open-addressing table (linear probing,
/// deletion by backward shift) so a list of many records counts them without
/// a heap node per record. Null is never a key.
class PointerCounts {
 public:
  void Increment(void* key);  ///< Counts one more holding of key.
  /// The count left after taking one away; -1 (and no change) when key is absent.
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

/// Owning list of member records (see the file comment for the rules).
class QUORL_PACKAGE_API TMemberUserInfoList_ZEL : public TList {
 public:
  TMemberUserInfoList_ZEL() = default;
  ~TMemberUserInfoList_ZEL() override;

  /// Appends a record, which the list then owns; returns its index.
  int Add(TMemberUserInfoRecord_ZEL* item);
  void Insert(int index, TMemberUserInfoRecord_ZEL* item);  ///< 0..Count; Count appends
  /// Takes every occurrence of that very record out without freeing it (each
  /// notified lnExtracted) and returns it, now owned by the caller alone;
  /// nullptr (and no change) when it is not in the list. Extract(nullptr)
  /// takes out the first null entry, if any, and returns nullptr.
  TMemberUserInfoRecord_ZEL* Extract(TMemberUserInfoRecord_ZEL* item);
  /// Deletes and frees the first occurrence; its former index, or -1.
  int Remove(TMemberUserInfoRecord_ZEL* item);
  int IndexOf(const TMemberUserInfoRecord_ZEL* item) const;  ///< identity, -1 when absent
  /// The first record, still owned by the list (EListError when empty).
  TMemberUserInfoRecord_ZEL* First() const;
  /// The last record, still owned by the list (EListError when empty).
  TMemberUserInfoRecord_ZEL* Last() const;
  /// The record at index, still owned by the list (EListError out of range).
  TMemberUserInfoRecord_ZEL* GetItems(int index) const;
  /// Replaces the record at index; the old one is freed when it differs.
  void SetItems(int index, TMemberUserInfoRecord_ZEL* item);
  /// Index of the first record whose MemberID equals memberId byte for byte; -1 if none.
  int Find(const std::string& memberId) const;
  /// Copies every field except Reserved, MemberGroupCode, PayPassword,
  /// IsOneCard, ConsumePoints and ConsumeMoney, which dest keeps. Touches no list.
  static void CopyListItem(const TMemberUserInfoRecord_ZEL& source, TMemberUserInfoRecord_ZEL& dest);
  /// Always empty text.
  std::string GetAsString() const;

 protected:
  void Notify(void* item, TListNotification action) override;

 private:
  /// How often each record stands in the list, so a record placed twice is
  /// freed once, when its last occurrence leaves, in constant time.
  quorl::PointerCounts occurrences_;
};

/// Non-owning list of ticket lines.
class QUORL_PACKAGE_API TTicketInfoRecordList_VRISK : public TList {
 public:
  int Add(TTicketInfoRecord_VRISK* item);              ///< Appends a line (not owned); returns its index.
  TTicketInfoRecord_VRISK* GetItems(int index) const;  ///< The line at index (EListError out of range).
  /// Index of the first record whose CL_PriceLevel equals key byte for byte; -1 if none.
  int Find(const std::string& key) const;
};
