// The package loader's entry points: unit set-up and tear-down.
//
// Initialize runs the initialisations of the package's units in load order;
// Finalize runs their finalisations in reverse. Each runs at most once per
// load: a second Initialize before Finalize does nothing, Finalize without a
// preceding Initialize does nothing, and Initialize after Finalize starts a
// fresh load. When a unit's initialisation throws, the units already set up
// are finalised in reverse and the exception reaches the caller; the package
// then counts as not loaded.
#pragma once

#include <string>
#include <vector>

#include "core/PackageExport.h"

/// Runs every unit's set-up in load order, once per load; a host calls it before anything else.
extern "C" QUORL_PACKAGE_API void Initialize();
/// Runs the tear-downs in reverse order; every agent must be released before.
extern "C" QUORL_PACKAGE_API void Finalize();

namespace quorl {

/// The units in load order.
QUORL_PACKAGE_API std::vector<std::string> PackageUnitNames();

/// Every unit step run since the process started (or the last
/// ClearPackageUnitLog), in order: "init <unit>" or "fini <unit>".
QUORL_PACKAGE_API const std::vector<std::string>& PackageUnitLog();
QUORL_PACKAGE_API void ClearPackageUnitLog();  ///< Empties PackageUnitLog().

/// True between a successful Initialize and the next Finalize.
QUORL_PACKAGE_API bool PackageLoaded();

}  // namespace quorl
