// The clock seam: platform time stamps are taken through it so tests can fix time.
#pragma once

#include <cstdint>

#include "platform/RtlExport.h"

namespace quorl {

/// The clock seam: local time as the package reads it.
class QUORL_RTL_API Clock {
 public:
  virtual ~Clock() = default;
  /// Seconds since 1970-01-01 00:00:00 of the machine's local clock: the
  /// UTC-based Unix time plus the local offset from UTC.
  virtual int64_t LocalSecondsSinceEpoch() = 0;
  /// Now as a platform date-time (days since 1899-12-30, local time).
  virtual double Now() = 0;
};

/// The system's clock, in the local time zone.
class QUORL_RTL_API SystemClock : public Clock {
 public:
  int64_t LocalSecondsSinceEpoch() override;
  double Now() override;
};

QUORL_RTL_API Clock& CurrentClock();        ///< The clock in force (the system clock unless replaced).
QUORL_RTL_API void SetClock(Clock* clock);  ///< nullptr restores the system clock; caller owns it

}  // namespace quorl
