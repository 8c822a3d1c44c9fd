#include "link/link_clock.h"

#include <gtest/gtest.h>

#include <vector>

#include "link/time_source.h"

namespace m4410 {
namespace {

// Hands out the given readings, in microseconds, one per NowMicros; counts the readings.
class ScriptedTime final : public TimeSource {
 public:
  explicit ScriptedTime(std::vector<std::int64_t> micros) : micros_(std::move(micros)) {}
  std::int64_t NowMicros() override {
    const std::size_t i = readings_ < micros_.size() ? readings_ : micros_.size() - 1;
    ++readings_;
    return micros_[i];
  }
  void SleepMs(std::int32_t) override {}
  std::size_t readings() const { return readings_; }

 private:
  std::vector<std::int64_t> micros_;
  std::size_t readings_ = 0;
};

std::int64_t At(std::int64_t seconds, std::int64_t ms) { return (seconds * 1000 + ms) * 1000; }

class LinkClockTest : public ::testing::Test {
 protected:
  void TearDown() override { SetTimeSource(nullptr); }
};

TEST_F(LinkClockTest, ElapsedAcrossSecondBoundary) {
  ScriptedTime time({At(12, 990), At(13, 5)});
  SetTimeSource(&time);
  ClockStamp stamp;
  ClockStart(&stamp);
  EXPECT_EQ(stamp.seconds, 12);
  EXPECT_EQ(stamp.milliseconds, 990);
  EXPECT_EQ(ElapsedMs(&stamp), 15);
}

TEST_F(LinkClockTest, ElapsedWithinSameMillisecondIsZero) {
  ScriptedTime time({At(7, 100) + 200, At(7, 100) + 900});
  SetTimeSource(&time);
  ClockStamp stamp;
  ClockStart(&stamp);
  EXPECT_EQ(ElapsedMs(&stamp), 0);
}

TEST_F(LinkClockTest, ElapsedGoesNegativeWhenTimeStepsBack) {
  ScriptedTime time({At(20, 0), At(19, 500)});
  SetTimeSource(&time);
  ClockStamp stamp;
  ClockStart(&stamp);
  EXPECT_EQ(ElapsedMs(&stamp), -500);
}

TEST_F(LinkClockTest, DelayCountsThroughTheWrapOfTheMillisecondField) {
  // 990 -> 995 counts 5, 995 -> 003 counts 8: 13 in all, so a delay of 13 ends there.
  ScriptedTime time({At(1, 990), At(1, 995), At(2, 3), At(2, 50)});
  SetTimeSource(&time);
  DelayMs(13);
  EXPECT_EQ(time.readings(), 3u);
}

TEST_F(LinkClockTest, DelayOfZeroOrLessReadsTheClockTwice) {
  ScriptedTime zero({At(1, 0)});
  SetTimeSource(&zero);
  DelayMs(0);
  EXPECT_EQ(zero.readings(), 2u);

  ScriptedTime negative({At(1, 0)});
  SetTimeSource(&negative);
  DelayMs(-5);
  EXPECT_EQ(negative.readings(), 2u);
}

TEST_F(LinkClockTest, DelayOnVirtualClockEndsAfterItsCount) {
  VirtualClock clock(At(100, 0), 250);  // a quarter millisecond per reading
  SetTimeSource(&clock);
  const std::int64_t before = clock.PeekMicros();
  DelayMs(35);
  const std::int64_t waited = clock.PeekMicros() - before;
  EXPECT_GE(waited, 35000);
  EXPECT_LT(waited, 37000);
}

TEST(VirtualClockTest, SleepJumpsForwardWithoutReading) {
  VirtualClock clock(0, 1);
  clock.SleepMs(3000);
  EXPECT_EQ(clock.PeekMicros(), 3000000);
  EXPECT_EQ(clock.NowMicros(), 3000001);
}

}  // namespace
}  // namespace m4410
