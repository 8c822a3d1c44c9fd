// A virtual clock that also records each SleepMs, so tests can see where a wait paused.
#pragma once

#include <cstdint>
#include <vector>

#include "link/time_source.h"

namespace m4410::test {

class RecordingClock final : public TimeSource {
 public:
  struct Sleep {
    std::int64_t at;  // virtual microseconds when the sleep began
    std::int32_t ms;
  };

  explicit RecordingClock(std::int64_t start_micros = 0, std::int64_t reading_step_micros = 1)
      : clock_(start_micros, reading_step_micros) {}

  std::int64_t NowMicros() override { return clock_.NowMicros(); }
  void SleepMs(std::int32_t ms) override {
    sleeps_.push_back({clock_.PeekMicros(), ms});
    clock_.SleepMs(ms);
  }
  std::int64_t PeekMicros() const { return clock_.PeekMicros(); }
  const std::vector<Sleep>& sleeps() const { return sleeps_; }

 private:
  VirtualClock clock_;
  std::vector<Sleep> sleeps_;
};

}  // namespace m4410::test
