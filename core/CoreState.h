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

// The deployment values of this till: the WSDLCONFIGURE section of that
// file, read in one pass (ReadWsdlConfiguration), so every part of an agent
// sees the file as it was at one moment. Texts are empty when their key is
// missing or empty (the caller keeps its build-time default); a stall value
// that is not a whole number of at least 1 takes its default.
//
// To add a key: a member here with its default, and one line in
// ReadWsdlConfiguration (core/ServiceAddresses.cpp) that fills it from the
// section; who needs it reads it from the agent's copy
// (TMemberSysAgentImpl_ZEL::Configuration) or from what was handed to it.
struct WsdlConfiguration {
  std::string addressType = "G";      // ADDRESSTYPE; present and empty is a value
  HttpStallLimit stallLimit;          // HTTPSTALLBYTES, HTTPSTALLSECONDS
  std::string ticketManageNamespace;  // TICKETMANAGENAMESPACE
  std::string ticketManageURL;        // TICKETMANAGEURL
  std::string ticketManageWSDL;       // TICKETMANAGEWSDL
  bool postingJournal = true;         // POSTINGJOURNAL: 0, no, off or false switch it off
  // TLSCAFILE, TLSCAPATH, TLSCLIENTCERT, TLSCLIENTKEY, TLSCLIENTKEYPASSFILE,
  // TLSMINVERSION (empty or missing: 1.2). Taken as written; the transport
  // checks them at the first exchange and names the key that is wrong.
  HttpTlsSettings tls;
};

// Reads the file in the application folder once (found, decoded and parsed
// by the rules of TIniFile, platform/IniFile.h) and changes nothing else. A
// missing or unreadable file gives the defaults.
WsdlConfiguration ReadWsdlConfiguration();

// ReadWsdlConfiguration, then hands the stall limit and the TLS settings to
// the HTTP transport (quorl::SetHttpStallLimit, SetHttpTlsSettings); the
// stallLimit returned is the one in force.
WsdlConfiguration LoadWsdlConfiguration();

// What _GetMemberSysWSURL does once it has read the file: hands the stall
// limit and TLS settings of configuration to the HTTP transport, then looks the addresses up
// for its address type and fills the five address strings. Reads no file.
void LookUpServiceAddresses(const WsdlConfiguration& configuration);

// How many times the file has been read since the process started (for
// tests that count the reads).
unsigned long WsdlConfigurationReads();

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
