// libQuorlHost is built with hidden visibility: only declarations marked
// QUORL_HOST_API leave the library (the host services the package, the
// programs and a host call). The database engines underneath (SQLite,
// libpq) stay inside.
//
// Polymorphic and exception classes are marked as a whole, so their type
// information is one object across modules (see platform/RtlExport.h).
#pragma once

/// Marks a declaration libQuorlHost exports.
#define QUORL_HOST_API __attribute__((visibility("default")))
