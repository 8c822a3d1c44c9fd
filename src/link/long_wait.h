// The pacing shared by the link's long waits (see link_limits.h).
#pragma once

#include <cstdint>

#include "link/link_limits.h"
#include "link/time_source.h"

namespace m4410 {

// Called once per pass of a long wait, after the condition failed and the clock was read.
inline void PollPause(std::int32_t elapsed_ms) {
  if (elapsed_ms >= kPollPauseAfterMs) CurrentTimeSource().SleepMs(kPollPauseMs);
}

}  // namespace m4410
