#include "link/time_source.h"

#include <chrono>
#include <thread>

namespace m4410 {

std::int64_t MonotonicTimeSource::NowMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void MonotonicTimeSource::SleepMs(std::int32_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

namespace {
MonotonicTimeSource monotonic;
std::atomic<TimeSource*> current{nullptr};
}  // namespace

void SetTimeSource(TimeSource* source) { current.store(source); }

TimeSource& CurrentTimeSource() {
  TimeSource* source = current.load();
  return source ? *source : monotonic;
}

}  // namespace m4410
