// Millisecond stamps, elapsed time and the busy-wait delay of the link layer.
#pragma once

#include <cstdint>

namespace m4410 {

struct ClockStamp {
  std::int32_t seconds = 0;
  std::uint16_t milliseconds = 0;  // 0..999
};

void ClockStart(ClockStamp* stamp);
std::int32_t ElapsedMs(const ClockStamp* stamp);
// Spins (no sleep, no yield) until the milliseconds field has been seen to move n times.
void DelayMs(std::int32_t n);

}  // namespace m4410
