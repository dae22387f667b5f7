// Package-internal state and helpers of the core unit that the exports in
// uCoreMemberSys_ZEL.h do not show: the unit's set-up and tear-down, the
// factory's agent reference, and the SQL text helpers of the address and
// type-table queries.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/Http.h"
#include "platform/Interfaces.h"

namespace quorl {

// File name of the address-type INI file in the application folder.
inline constexpr const char* kAddressIniFileName = "QUORLZELCLIENT.LIC";

// What the WSDLCONFIGURE section of that file sets besides ADDRESSTYPE.
// Texts are empty when their key is missing or empty (the caller keeps its
// build-time default); a stall value that is not a whole number of at least
// 1 takes its default.
struct WsdlConfiguration {
  HttpStallLimit stallLimit;          // HTTPSTALLBYTES, HTTPSTALLSECONDS
  std::string ticketManageNamespace;  // TICKETMANAGENAMESPACE
  std::string ticketManageURL;        // TICKETMANAGEURL
  std::string ticketManageWSDL;       // TICKETMANAGEWSDL
};

// Reads the file now and hands the stall limit to the HTTP transport
// (quorl::SetHttpStallLimit). _GetMemberSysWSURL calls it on every run.
WsdlConfiguration LoadWsdlConfiguration();

// Creates the context object when none exists.
void uCoreMemberSys_ZEL_Initialize();
// In this order: frees the context object, releases the factory's agent
// reference, frees the type tables' data pipe, empties both type tables,
// clears the five address strings. Safe to call when nothing is set up.
void uCoreMemberSys_ZEL_Finalize();

// The reference to the agent the factory created last (empty until then).
// The factory replaces it on every call; unload releases it.
IntfPtr<IInterface>& LastAgentReference();

// Whether the type tables currently keep a data pipe (for tests of the
// load/unload rules).
bool HasTypeTablePipe();
// Frees the type tables' data pipe and empties both tables.
void ReleaseTypeTables();

// Doubles every apostrophe so a value cannot end the SQL text literal it is
// placed in. Safe byte-wise on GBK: no trail byte of a double-byte character
// is 0x27.
std::string EscapeSqlText(std::string_view value);

// Replaces each "%s" of sqlTemplate, in order, with the next value (as
// given: callers escape). Raises Exception when the counts do not match.
std::string FormatSql(std::string_view sqlTemplate, std::initializer_list<std::string_view> values);

}  // namespace quorl
