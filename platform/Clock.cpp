#include "platform/Clock.h"

#include <time.h>

namespace {

// Days from the platform's date origin, 1899-12-30, to 1970-01-01.
constexpr double kUnixEpochAsDateTime = 25569.0;
constexpr double kSecondsPerDay = 86400.0;

quorl::Clock*& ClockOverride() {
  static quorl::Clock* clock = nullptr;
  return clock;
}

// The machine's offset from UTC at instant t, daylight saving included.
// tzset first: localtime_r alone keeps the zone it saw at its first call, and
// a till whose zone setting changes must stamp with the new one.
long LocalOffsetSeconds(time_t t) {
  ::tzset();
  struct tm local {};
  if (::localtime_r(&t, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

}  // namespace

namespace quorl {

int64_t SystemClock::LocalSecondsSinceEpoch() {
  const time_t now = ::time(nullptr);
  return static_cast<int64_t>(now) + LocalOffsetSeconds(now);
}

double SystemClock::Now() {
  struct timespec ts {};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  const double local =
      static_cast<double>(ts.tv_sec + LocalOffsetSeconds(ts.tv_sec)) + static_cast<double>(ts.tv_nsec) / 1e9;
  return kUnixEpochAsDateTime + local / kSecondsPerDay;
}

Clock& CurrentClock() {
  static SystemClock systemClock;
  Clock* c = ClockOverride();
  return c != nullptr ? *c : systemClock;
}

void SetClock(Clock* clock) { ClockOverride() = clock; }

}  // namespace quorl
