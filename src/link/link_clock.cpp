#include "link/link_clock.h"

#include "link/time_source.h"

namespace m4410 {

void ClockStart(ClockStamp* stamp) {
  const std::int64_t ms = CurrentTimeSource().NowMicros() / 1000;
  stamp->seconds = static_cast<std::int32_t>(ms / 1000);
  stamp->milliseconds = static_cast<std::uint16_t>(ms % 1000);
}

std::int32_t ElapsedMs(const ClockStamp* stamp) {
  ClockStamp now;
  ClockStart(&now);
  return (now.seconds - stamp->seconds) * 1000 + now.milliseconds - stamp->milliseconds;
}

void DelayMs(std::int32_t n) {
  ClockStamp stamp;
  ClockStart(&stamp);
  int previous = stamp.milliseconds;
  std::int32_t remaining = n;
  do {
    ClockStart(&stamp);
    const int current = stamp.milliseconds;
    // The field wraps once a second; the loop reads far more often than that.
    remaining -= current < previous ? current + 1000 - previous : current - previous;
    previous = current;
  } while (remaining > 0);
}

}  // namespace m4410
