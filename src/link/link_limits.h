// Bounds this implementation puts on the link's long waits, which would otherwise spin for as
// long as the box stays silent, and the pause that keeps such a wait from holding a whole core.
#pragma once

#include <cstdint>

namespace m4410 {

// The forward FIFO drains at the box's rate: 16 bytes take microseconds at any sane rate, so
// a FIFO still holding data after 10 s means the box has stopped taking bytes.
inline constexpr std::int32_t kDrainTimeoutMs = 10000;

// A box in the middle of sending a record answers within microseconds per byte; 10 s of
// silence means it has stopped sending.
inline constexpr std::int32_t kByteReadTimeoutMs = 10000;

// The box sends its closing record only after rewriting itself, which can take up to ten
// minutes; the protocol layer reads that record with this per-byte bound.
inline constexpr std::int32_t kClosingRecordTimeoutMs = 600000;

// A full FIFO with Select still high is a box that stopped taking bytes without dropping the
// link; 10 s is far beyond any pause of a box that is still working.
inline constexpr std::int32_t kFifoStallTimeoutMs = 10000;

// The long waits above spin freely at first, so a prompt answer is seen at once; once they
// have waited this long, each pass sleeps kPollPauseMs so a waiting update does not hold a
// whole core. The handshakes never pause: their limits are a few milliseconds.
inline constexpr std::int32_t kPollPauseAfterMs = 100;
inline constexpr std::int32_t kPollPauseMs = 1;

}  // namespace m4410
