// uHuiTouKe_ZEL: the client of the HuiTouKe member platform.
//
// Every request carries the merchant identifier ("sbs_id"), most carry a time
// stamp ("t"), and all end with "sign": the printed MD5 digest of the values of
// the request's parameters in the order sent (no names, no separators) followed
// by the platform key. Values are signed as 8-bit host text (GBK), before any
// encoding by the transport. Answers are JSON objects whose "code" is
// "A00006" on success.
//
// Configuration comes from the core unit's address strings:
//  - _MemberSysSoapURL_ZEL: base address; the method name is appended to it
//    directly (read at every request);
//  - _MemberPassWordKey_ZEL: the platform key (read at every request);
//  - _MemberCommercial_ZEL: "merchant|store" (read once, by the constructor).
//
// A client is used by one thread at a time; every operation blocks until the
// HTTP exchange ends. The HTTP transport is the run-time library's seam
// (quorl::SetHttpTransportFactory), the time stamp comes from
// quorl::CurrentClock().
#pragma once

#include <memory>
#include <string>

#include "core/PackageExport.h"
#include "platform/Variant.h"

class TIdHTTP;
class TQuorlClientDataSet;

/// The HuiTouKe platform client; owns its HTTP client. Created by the agent, freed with it.
class QUORL_PACKAGE_API THuiTouKe_ZEL {
 public:
  /// Creates the HTTP client and splits _MemberCommercial_ZEL at its first '|':
  /// the text before it is the merchant identifier as written, the text after
  /// it, trimmed, the store identifier. Without a bar the merchant identifier
  /// is empty and the store identifier is the whole value, trimmed.
  THuiTouKe_ZEL();
  ~THuiTouKe_ZEL();
  THuiTouKe_ZEL(const THuiTouKe_ZEL&) = delete;
  THuiTouKe_ZEL& operator=(const THuiTouKe_ZEL&) = delete;

  /// Signed form post of Params to base address + Method. Params holds one
  /// "name=value" field per line (CR, LF or CR LF; a final line break adds no
  /// field); "sign=" is appended as the last field. Returns the answer's "code"
  /// followed directly by its "result" (GBK). A failure code is returned like
  /// any other code. Raises on every failure: EIdSocketError (no connection),
  /// EIdHTTPProtocolException (HTTP error status), Exception (answer not a JSON
  /// object, "code" or "result" missing or not text).
  std::string MemberInterface(const std::string& Params, const std::string& Method);

  /// "get_card_list": the member found by Key (mobile number, e-mail address or
  /// card number) and all of the member's cards, as a dataset packet with the
  /// sixteen fields member_id ... MemberTypeName, one row per card (one row of
  /// member fields only when the member has no card). A "total" with a
  /// fraction is rounded half to even. A "member" that is null or empty ({},
  /// [], "") leaves the member fields empty; one that holds anything else but
  /// an object fails the lookup. Password is the typed
  /// password; it travels as SetEncrypt(key, Password). Never raises: every
  /// failure (and an empty base address, which sends nothing) gives the table
  /// with its fields and no rows.
  Variant GetCardInfo(const std::string& Key, const std::string& Password);

  /// True when Key is exactly 11 bytes (a mobile number) or contains '@' (an
  /// e-mail address); false for a card number.
  bool SearchType(const std::string& Key) const;

  /// "view_invoice", page by page (25 records a page, as many pages as the
  /// first page's "count" asks for; a fractional count is rounded half to
  /// even first): the card's stored-value and points
  /// movements in the period, as a dataset packet with the eleven fields
  /// card_no ... CNAME. CNAME is looked up in Users by "UserCode" (exact
  /// match); Users is read and its current row moved, never changed, and stays
  /// owned by the caller. The four texts go into the query string unchanged.
  /// Never raises: every failure, on any page, gives the table with its fields
  /// and no rows (rows of earlier pages are dropped too).
  ///
  /// Page cap: a first page whose "count" is above kMaxStoredConsumeRecords,
  /// or pages that together hold more records than that, count as a broken
  /// answer and give the empty table after that page. The platform alone
  /// decides how many pages are fetched, and a count no card's history comes
  /// near would block the till for hours and fill memory. A card that truly
  /// has more movements must be queried over shorter periods.
  static constexpr int kMaxStoredConsumeRecords = 100000;
  /// The movements described above.
  Variant GetStoredConsumeData(const std::string& CardNo, const std::string& Type, const std::string& SDate,
                               const std::string& EDate, TQuorlClientDataSet* Users);

  /// The identifiers taken from _MemberCommercial_ZEL at construction.
  const std::string& MerchantId() const { return merchantId_; }
  const std::string& StoreId() const { return storeId_; }  ///< The store identifier taken at construction.
  /// The owned HTTP client.
  TIdHTTP& Http() { return *http_; }

 private:
  std::unique_ptr<TIdHTTP> http_;
  std::string merchantId_;
  std::string storeId_;
};

/// RC4 (ARCFOUR) of Text under Key, both as 8-bit bytes, written as lowercase
/// hexadecimal, two digits per byte. Empty Key or empty Text gives empty text.
QUORL_PACKAGE_API std::string SetEncrypt(const std::string& Key, const std::string& Text);

/// Text (GBK) converted to UTF-8 and form-encoded with HTTPEncode: letters,
/// digits and "*-._" pass, a blank becomes '+', every other byte %XX.
QUORL_PACKAGE_API std::string urlencode(const std::string& Text);

namespace quorl {

/// The signature of the signing rule: MD5Print(MD5String(signedValues + key)),
/// where signedValues is the concatenation of the request's values in order.
/// Inside the package only (not exported).
std::string SignPlatformRequest(const std::string& signedValues, const std::string& key);

/// The time stamp "t": local seconds since 1970 from quorl::CurrentClock(), in
/// decimal without leading zeros.
std::string PlatformTimeStamp();  ///< Inside the package only (not exported).

}  // namespace quorl
