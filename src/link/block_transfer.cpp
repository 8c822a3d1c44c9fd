#include "link/block_transfer.h"

#include <algorithm>
#include <cstdio>

#include "link/link_clock.h"
#include "link/link_limits.h"
#include "link/long_wait.h"
#include "link/parallel_link.h"
#include "port/parport_bits.h"

namespace m4410 {

std::atomic<std::int32_t> BytesWritten{0};
std::atomic<std::int32_t> BytesToWrite{0};

namespace {

std::atomic<bool> stop_waiting_for_box{false};

// Each transfer runs on one thread and asks right after the block ended.
thread_local BlockOutcome last_outcome;

int Ended(BlockStop stop, std::int32_t moved, std::int32_t count) {
  last_outcome = {stop, moved, count};
  return stop == BlockStop::Done ? 0 : -1;
}

// Each FIFO byte is an ECP forward cycle (events 34-37) or a reverse one (events 43-46) that
// the port chip runs itself; the host only watches the FIFO's state.
// The depth of a standard ECP FIFO: an empty FIFO takes this many bytes without a check.
constexpr std::int32_t kBurst = 16;

int WriteError(BlockStop stop, std::int32_t written, std::int32_t n) {
  std::printf("Write error %d, byte written %d\n", -1, static_cast<int>(written));
  std::fflush(stdout);
  return Ended(stop, written, n);
}

// FifoState once the FIFO is no longer full; 2 if it stayed full for kFifoStallTimeoutMs.
int FifoStateWhenNotFull(PortDriverContext* context) {
  int state = FifoState(context);
  if (state != 2) return state;
  ClockStamp stamp;
  ClockStart(&stamp);
  for (;;) {
    state = FifoState(context);
    if (state != 2) return state;
    const std::int32_t elapsed = ElapsedMs(&stamp);
    if (elapsed >= kFifoStallTimeoutMs) return 2;
    PollPause(elapsed);
  }
}

// True once the FIFO holds a byte from the box; false after timeout_ms without one.
bool WaitForReverseByte(PortDriverContext* context, std::int32_t timeout_ms) {
  ClockStamp stamp;
  ClockStart(&stamp);
  for (;;) {
    if ((ReadEcr(context) & kEcrFifoEmpty) == 0) return true;
    if (StopWaitingForBox()) return false;
    const std::int32_t elapsed = ElapsedMs(&stamp);
    if (elapsed >= timeout_ms) return false;
    PollPause(elapsed);
  }
}

}  // namespace

int BlockWrite(PortDriverContext* context, const std::uint8_t* data, std::int32_t n) {
  // Set before the checks, so a refused write still shows as the current one.
  BytesWritten.store(0);
  BytesToWrite.store(n);
  if (!context || !data || n <= 0) return Ended(BlockStop::BadArgument, 0, n);

  // Bytes written while the port still faces the host would never reach the box, yet
  // would count as sent: a turn that failed fails the write.
  if (PortDirectionIs(context, kDirectionReverse) != 0 && SwitchToForward(context) != 0) {
    return Ended(BlockStop::NotTurned, 0, n);
  }

  // The worker is the only writer, so a local count mirrors BytesWritten without reading it
  // back; each step is published with a plain store.
  std::int32_t written = 0;
  while (written < n) {
    const int state = FifoStateWhenNotFull(context);
    if (state == 2) return WriteError(BlockStop::FifoStalled, written, n);
    if (state == -1) return WriteError(BlockStop::LinkLost, written, n);
    if (state == 0 && written + kBurst < n) {
      for (int i = 0; i < kBurst; ++i) {
        WriteEcpFifo(context, data[written]);
        BytesWritten.store(++written);
      }
    } else {
      WriteEcpFifo(context, data[written]);
      BytesWritten.store(++written);
    }
  }
  return Ended(BlockStop::Done, n, n);
}

int BlockRead(PortDriverContext* context, std::uint8_t* buffer, std::int32_t n) {
  return BlockRead(context, buffer, n, kByteReadTimeoutMs);
}

int BlockRead(PortDriverContext* context, std::uint8_t* buffer, std::int32_t n,
              std::int32_t timeout_ms) {
  if (!context || !buffer || n <= 0 || timeout_ms <= 0) {
    return Ended(BlockStop::BadArgument, 0, n);
  }

  // A port still forward after the turn (the drain gave up: the box kept our last bytes or
  // dropped the link) holds what we wrote, and reading it would pass our own bytes off as the
  // box's. A turn whose acknowledgement is merely late has turned: the box's bytes follow it
  // and are waited for as any others.
  if (PortDirectionIs(context, kDirectionForward) != 0 && SwitchToReverse(context) != 0 &&
      PortDirectionIs(context, kDirectionForward) != 0) {
    // The turn waits for our bytes to drain first: a box that dropped the link or stopped
    // taking bytes leaves them in the FIFO.
    const int state = FifoState(context);
    return Ended(state == -1 ? BlockStop::LinkLost
                 : state == 0 ? BlockStop::NotTurned
                              : BlockStop::FifoStalled,
                 0, n);
  }

  for (std::int32_t i = 0; i < n; ++i) {
    if (!WaitForReverseByte(context, timeout_ms)) {
      return Ended(StopWaitingForBox() ? BlockStop::Left : BlockStop::NoByte, i, n);
    }
    buffer[i] = ReadEcpFifo(context);
  }
  return Ended(BlockStop::Done, n, n);
}

BlockOutcome LastBlockOutcome() { return last_outcome; }

void SetStopWaitingForBox(bool stop) { stop_waiting_for_box.store(stop); }
bool StopWaitingForBox() { return stop_waiting_for_box.load(); }

int WriteProgressPercent() {
  // BlockWrite stores BytesWritten before BytesToWrite, so reading them in the opposite order
  // never pairs a new length with a count from the write before it. It can still pair the
  // header's length with the image's count for one read: what it gives stays in 0..100.
  const std::int32_t to_write = BytesToWrite.load();
  const std::int32_t written = BytesWritten.load();
  if (to_write <= 0) return 0;
  return std::clamp(static_cast<int>((written * 100.0) / to_write), 0, 100);
}

}  // namespace m4410
