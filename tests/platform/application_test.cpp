// The application object and the system clock: the host's view of its machine.
#include "platform/Application.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <time.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "fakes/FakeClock.h"
#include "platform/Clock.h"

namespace {

TEST(Application, DirectoryIsTheExecutablesFolderWithTrailingSlash) {
  char real[PATH_MAX];
  ASSERT_NE(::realpath("/proc/self/exe", real), nullptr);
  const std::string exe = quorl::ExecutablePath();
  EXPECT_EQ(exe, real);
  EXPECT_EQ(quorl::ApplicationDirectory(), exe.substr(0, exe.rfind('/') + 1));
}

TEST(Application, OverrideAppendsSlashAndEmptyRestores) {
  const std::string original = quorl::ApplicationDirectory();
  const struct {
    const char* set;
    const char* expected;
  } cases[] = {
      {"/tmp/host", "/tmp/host/"},
      {"/tmp/host/", "/tmp/host/"},
      {"/", "/"},
  };
  for (const auto& c : cases) {
    quorl::SetApplicationDirectory(c.set);
    EXPECT_EQ(quorl::ApplicationDirectory(), c.expected) << c.set;
  }
  quorl::SetApplicationDirectory("");
  EXPECT_EQ(quorl::ApplicationDirectory(), original);
}

TEST(Application, MainWindowHandleIsNullUntilSet) {
  EXPECT_EQ(quorl::MainWindowHandle(), nullptr);
  int window = 0;
  quorl::SetMainWindowHandle(&window);
  EXPECT_EQ(quorl::MainWindowHandle(), &window);
  quorl::SetMainWindowHandle(nullptr);
}

}  // namespace

namespace {

class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) saved_ = old, hadOld_ = true;
    ::setenv("TZ", tz, 1);
    ::tzset();
  }
  ~ScopedTimeZone() {
    if (hadOld_)
      ::setenv("TZ", saved_.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::string saved_;
  bool hadOld_ = false;
};

TEST(SystemClock, LocalSecondsExceedUnixTimeByTheZoneOffset) {
  const struct {
    const char* tz;
    int64_t offset;
  } cases[] = {{"CST-8", 8 * 3600}, {"UTC0", 0}, {"EST5", -5 * 3600}, {"IST-5:30", 19800}};
  quorl::SystemClock clock;
  for (const auto& c : cases) {
    ScopedTimeZone zone(c.tz);
    const int64_t unixBefore = ::time(nullptr);
    const int64_t local = clock.LocalSecondsSinceEpoch();
    const int64_t unixAfter = ::time(nullptr);
    EXPECT_GE(local - c.offset, unixBefore) << c.tz;
    EXPECT_LE(local - c.offset, unixAfter) << c.tz;

    // Now() is the same local instant in days since 1899-12-30.
    const double now = clock.Now();
    const double expected = 25569.0 + static_cast<double>(clock.LocalSecondsSinceEpoch()) / 86400.0;
    EXPECT_LT(std::fabs(now - expected), 2.0 / 86400.0) << c.tz;
  }
}

TEST(CurrentClock, FakeReplacesSystemClockUntilRemoved) {
  quorl::Clock* system = &quorl::CurrentClock();
  {
    quorl::test::ScopedFakeClock fake(86400);  // 1970-01-02 00:00 local
    EXPECT_EQ(quorl::CurrentClock().LocalSecondsSinceEpoch(), 86400);
    EXPECT_DOUBLE_EQ(quorl::CurrentClock().Now(), 25570.0);
  }
  EXPECT_EQ(&quorl::CurrentClock(), system);
}

}  // namespace
