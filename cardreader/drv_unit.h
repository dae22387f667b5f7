// The drv_unit unit: the process-wide handle of the card reader and its
// closing. The swipe-card dialog opens the reader for each read and calls
// quit on every path that opened it; the host may call quit too.
//
// A handle counts as open only when it is greater than 0: the value 0 is
// what the unit starts with ("no reader opened yet"), so the dialog treats a
// dc_init result of 0 like a negative one and quit leaves 0 alone.
#pragma once

#include <cstdint>

#include "core/PackageExport.h"

namespace drv_unit {

/// Reader handle: 0 at load, the dc_init result while open, -1 after quit.
extern QUORL_PACKAGE_API int32_t icdev;
/// Status of the last library call made by quit.
extern QUORL_PACKAGE_API int16_t st;

/// When icdev > 0: st := dc_reset(icdev, 10), st := dc_exit(icdev), icdev :=
/// -1, whatever the statuses say. Otherwise nothing. With no reader library
/// bound the handle is still marked closed (st := -1). Never raises.
QUORL_PACKAGE_API void quit();

}  // namespace drv_unit
