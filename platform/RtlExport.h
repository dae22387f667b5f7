// libQuorlRTL is built with hidden visibility: only declarations marked
// QUORL_RTL_API leave the library (what the package, the host services, the
// programs and a host use). Everything else, and above all the XML and HTTP
// libraries underneath, stays inside, so it can change without breaking a
// program linked against the library.
//
// Every class with a virtual function or thrown as an exception is marked as
// a whole: its type information must be the same object in every module, or
// a catch or a dynamic_cast across the library boundary fails.
//
// The same definition serves the build and its users: for a user it declares
// symbols that the library exports.
#pragma once

/// Marks a declaration libQuorlRTL exports.
#define QUORL_RTL_API __attribute__((visibility("default")))
/// A nested type of an exported class that is defined and used inside the
/// library only (its Impl).
#define QUORL_RTL_LOCAL __attribute__((visibility("hidden")))
