// Blocks of bytes to and from the box through the ECP FIFO, and the progress of a write.
#pragma once

#include <atomic>
#include <cstdint>

#include "port/port_driver.h"

namespace m4410 {

// Written by BlockWrite on the worker thread, read by the status display.
extern std::atomic<std::int32_t> BytesWritten;
extern std::atomic<std::int32_t> BytesToWrite;

// Both give -1 when the port cannot be turned to their direction: no byte moves then.
int BlockWrite(PortDriverContext* context, const std::uint8_t* data, std::int32_t n);
// timeout_ms bounds the wait for each byte (kByteReadTimeoutMs unless the caller knows the
// box needs longer).
int BlockRead(PortDriverContext* context, std::uint8_t* buffer, std::int32_t n);
int BlockRead(PortDriverContext* context, std::uint8_t* buffer, std::int32_t n,
              std::int32_t timeout_ms);
int WriteProgressPercent();

// Why the last BlockWrite or BlockRead of the calling thread ended, and how far it got, so
// that the operator can be told what happened rather than only that it failed.
enum class BlockStop {
  Done,         // all bytes moved
  BadArgument,  // nothing to move (no context, no buffer, a count of 0 or less)
  NotTurned,    // the box did not turn the link round to this direction
  LinkLost,     // Select low: the cable is out or the box went off
  FifoStalled,  // Select high, but the box took no byte for kFifoStallTimeoutMs (or, before
                // a read, left bytes of ours in the FIFO for kDrainTimeoutMs)
  NoByte,       // a read waited its whole bound for the box's next byte
  Left,         // a read gave up because the operator left (SetStopWaitingForBox)
};
struct BlockOutcome {
  BlockStop stop = BlockStop::Done;
  std::int32_t moved = 0;  // bytes written to or read from the FIFO
  std::int32_t count = 0;  // bytes asked for
};
BlockOutcome LastBlockOutcome();

// Set when the operator leaves while the box rewrites itself: a read waiting for the box's
// next byte gives up (-1) at its next poll instead of waiting out its bound. Writes and the
// FIFO drain never look at it, so bytes already on their way still reach the box.
void SetStopWaitingForBox(bool stop);
bool StopWaitingForBox();

}  // namespace m4410
