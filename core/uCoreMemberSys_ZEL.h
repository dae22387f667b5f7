// The core unit's exports: the process-wide state every agent shares (host
// context, service addresses, type tables) and the small helper functions a
// host compiles against. All of it runs on the host's one UI thread; nothing
// here takes locks.
#pragma once

#include <string>

#include "core/MemberRecords.h"
#include "core/PackageExport.h"

class TQuorlContext;

/// The package's context object. Created (without owner) at package load;
/// created here first when none exists yet. Owned by the package: callers must
/// not free it, and must not keep the pointer across package unload.
QUORL_PACKAGE_API TQuorlContext* _QuorlContext();

/// Service addresses, 8-bit, empty until the first _GetMemberSysWSURL and
/// cleared at unload. _MemberCommercial_ZEL is "merchant|store".
extern QUORL_PACKAGE_API std::string _MemberSysSoapURL_ZEL;
extern QUORL_PACKAGE_API std::string _MemberSysWSDLURL_ZEL;  ///< the web service's WSDL address
extern QUORL_PACKAGE_API std::string _MemberCommercial_ZEL;  ///< "merchant|store" of the platform
/// the platform's signing key; never shown or logged
extern QUORL_PACKAGE_API std::string _MemberPassWordKey_ZEL;
extern QUORL_PACKAGE_API std::string _MemberConnectUmnByDB_ZEL;  ///< the platform's address

/// Reads the address type from QUORLZELCLIENT.LIC in the application folder
/// (section WSDLCONFIGURE, key ADDRESSTYPE, default "G") and the address row of
/// this node, address type and group from QUORL_SOAPSERVER_ADDRESS, falling
/// back to the node's default row (ISDEFAULT = 'Y') of that address type.
/// Writes the five strings above; all five become empty when neither query
/// finds a row. Raises (EDatabaseError, ...) when a query or a column read
/// fails; the strings then keep their previous values. Each run also reads
/// the HTTP stall limit from the same section (HTTPSTALLBYTES,
/// HTTPSTALLSECONDS) and applies it to every HTTP exchange from then on.
QUORL_PACKAGE_API void _GetMemberSysWSURL();

/// The member-valid flag as text: "1" for true, "0" for false.
QUORL_PACKAGE_API std::string GetIsValidMemberTypeValue_ZEL(bool value);
/// True exactly when value is "1".
QUORL_PACKAGE_API bool GetIsValidMemberType_ZEL(const std::string& value);

/// The customer type table: the three fixed rows, filled on first call.
/// The reference is to the package's own array, valid until the package is
/// unloaded (it is emptied then).
QUORL_PACKAGE_API TCustomerTypeInfoArr_ZEL& _GetCustomerTypeInfoArr_ZEL();

/// The certificate type table of this node from QUORL_MEMBER_IDENTTYPE, in
/// IDENTTYPEID order. Loaded on the first call that finds rows; while the
/// table is empty every call queries the database again. Raises when the
/// query fails (the table stays empty). Same reference rules as above.
QUORL_PACKAGE_API TCertificateTypeInfoArr_ZEL& _GetCertificateTypeInfoArr_ZEL();

/// Name of the first row whose Code equals code byte for byte; empty if none.
QUORL_PACKAGE_API std::string GetCustomerTypeDisplayName(const std::string& code);
/// As above for certificate types; may load the table, and raises as it does.
QUORL_PACKAGE_API std::string GetCertificateTypeDisplayName(const std::string& code);
