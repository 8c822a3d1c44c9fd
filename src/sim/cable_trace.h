// What a logic analyzer clipped on the simulated cable would record, as a Value Change Dump:
// every line at the moment it changes, whoever drives it. The host's lines change at its
// register writes, the box's status lines at the box's own times, and the port chip's own
// handshakes show per FIFO byte (HostClk and PeriphAck forward, PeriphClk and HostAck in
// reverse), data set up before its strobe. The sigrok decoders read it in their cable mode.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace m4410 {

class CableTrace {
 public:
  // Takes the file; closes it when done.
  explicit CableTrace(std::FILE* out);
  ~CableTrace();
  CableTrace(const CableTrace&) = delete;
  CableTrace& operator=(const CableTrace&) = delete;

  // Times are microseconds on the box's time line; the first Start sets the trace's zero.
  void Start(std::int64_t now);
  // The host's registers after a write: what the chip drives on the cable from them.
  void Host(std::int64_t now, std::uint8_t data, std::uint8_t control, unsigned ecr_mode);
  // The box's status lines, as the status register shows them.
  void Status(std::int64_t at, std::uint8_t status);
  // One FIFO byte crossing the cable with its handshake.
  void ForwardByte(std::int64_t at, std::uint8_t byte);
  void ReverseByte(std::int64_t at, std::uint8_t byte);
  // One more time stamp after the last changes, so readers take them; flushed.
  void Finish();

 private:
  enum Line {
    kD0, kStrobe = 8, kAutoFd, kInit, kSelectIn, kBusy, kAck, kPError, kSelect, kFault,
    kLineCount
  };
  void Set(int line, bool level);
  void SetData(std::uint8_t byte);
  void At(std::int64_t ticks);  // move to a time (in ticks), never back
  void Flush();

  std::FILE* out_;
  bool started_ = false;
  std::int64_t origin_ = 0;     // microseconds
  std::int64_t now_ = 0;        // ticks of the time stamp being gathered
  std::int64_t written_ = -1;   // last time stamp in the file
  bool finished_ = false;
  bool reverse_ = false;        // the box drives the data lines
  std::array<bool, kLineCount> level_{};
  std::string pending_;
};

}  // namespace m4410
