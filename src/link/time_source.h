// The clock behind the link layer. The monotonic clock by default; a VirtualClock in tests
// and in the clock=virtual simulation, so waits of seconds pass in microseconds of real time.
#pragma once

#include <atomic>
#include <cstdint>

namespace m4410 {

class TimeSource {
 public:
  virtual ~TimeSource() = default;
  // Microseconds on this source's own time line. May advance a virtual clock.
  virtual std::int64_t NowMicros() = 0;
  // A plain sleep of the calling thread (the worker's pause, the long waits' poll pause).
  virtual void SleepMs(std::int32_t ms) = 0;
};

class MonotonicTimeSource final : public TimeSource {
 public:
  std::int64_t NowMicros() override;
  void SleepMs(std::int32_t ms) override;
};

// Time that moves only when it is read or told to: each reading advances it by the reading
// step, each simulated port access by Advance(), and SleepMs jumps it forward at once.
class VirtualClock final : public TimeSource {
 public:
  explicit VirtualClock(std::int64_t start_micros = 0, std::int64_t reading_step_micros = 1)
      : now_(start_micros), step_(reading_step_micros) {}
  std::int64_t NowMicros() override { return now_.fetch_add(step_) + step_; }
  void SleepMs(std::int32_t ms) override { Advance(std::int64_t{ms} * 1000); }
  // Reads the time without moving it (for the simulated box, which only watches).
  std::int64_t PeekMicros() const { return now_.load(); }
  void Advance(std::int64_t micros) { now_.fetch_add(micros); }
  void Set(std::int64_t micros) { now_.store(micros); }

 private:
  std::atomic<std::int64_t> now_;
  std::int64_t step_;
};

// Process-wide. nullptr restores the monotonic clock. The caller keeps the source alive
// while it is installed.
void SetTimeSource(TimeSource* source);
TimeSource& CurrentTimeSource();

}  // namespace m4410
