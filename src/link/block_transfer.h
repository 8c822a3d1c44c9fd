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

// Set when the operator leaves while the box rewrites itself: a read waiting for the box's
// next byte gives up (-1) at its next poll instead of waiting out its bound. Writes and the
// FIFO drain never look at it, so bytes already on their way still reach the box.
void SetStopWaitingForBox(bool stop);
bool StopWaitingForBox();

}  // namespace m4410
