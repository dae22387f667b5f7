// Fake of the clock seam (quorl::Clock): a fixed local time that moves only
// when told (Set, Advance, or autoAdvanceSeconds after every reading, for
// code that must see time pass between two readings). Counts its readings.
// ScopedFakeClock installs one for its lifetime:
//   ScopedFakeClock clock(1700000000);   // local seconds since 1970
//   EXPECT_EQ(quorl::CurrentClock().LocalSecondsSinceEpoch(), 1700000000);
#pragma once

#include <cstdint>

#include "platform/Clock.h"

namespace quorl::test {

class FakeClock : public Clock {
 public:
  explicit FakeClock(int64_t localSeconds = 0) : seconds_(localSeconds) {}

  int64_t autoAdvanceSeconds = 0;
  int readings = 0;

  void Set(int64_t localSeconds) { seconds_ = localSeconds; }
  void Advance(int64_t seconds) { seconds_ += seconds; }

  int64_t LocalSecondsSinceEpoch() override {
    ++readings;
    const int64_t now = seconds_;
    seconds_ += autoAdvanceSeconds;
    return now;
  }
  // Same instant as a platform date-time: days since 1899-12-30.
  double Now() override {
    ++readings;
    const int64_t now = seconds_;
    seconds_ += autoAdvanceSeconds;
    return 25569.0 + static_cast<double>(now) / 86400.0;
  }

 private:
  int64_t seconds_;
};

class ScopedFakeClock {
 public:
  FakeClock fake;
  explicit ScopedFakeClock(int64_t localSeconds = 0) : fake(localSeconds) { SetClock(&fake); }
  ~ScopedFakeClock() { SetClock(nullptr); }
  ScopedFakeClock(const ScopedFakeClock&) = delete;
  ScopedFakeClock& operator=(const ScopedFakeClock&) = delete;
};

}  // namespace quorl::test
