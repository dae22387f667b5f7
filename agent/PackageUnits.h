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

extern "C" void Initialize();
extern "C" void Finalize();

namespace quorl {

// The units in load order.
std::vector<std::string> PackageUnitNames();

// Every unit step run since the process started (or the last
// ClearPackageUnitLog), in order: "init <unit>" or "fini <unit>".
const std::vector<std::string>& PackageUnitLog();
void ClearPackageUnitLog();

// True between a successful Initialize and the next Finalize.
bool PackageLoaded();

}  // namespace quorl
