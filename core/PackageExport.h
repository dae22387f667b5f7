// The package is built with hidden visibility: only what a host links
// against is exported. QUORL_PACKAGE_API marks those declarations (the entry
// points, the interfaces, the records and lists, the units' public functions
// and variables, the seams a host installs); everything else stays inside the
// library, so it can change without breaking a host.
//
// The same definition serves the build and the host: for a host it declares
// symbols that the library exports.
#pragma once

/// Marks a declaration the package exports.
#define QUORL_PACKAGE_API __attribute__((visibility("default")))
