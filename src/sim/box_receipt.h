// What the simulated box has seen and done in a session, and the host actions it counted as
// faults: read by tests and by the closing line of a run on the simulated port.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace m4410 {

// Host actions that a real port chip or a real box would not accept. The box counts each
// kind and carries on as the hardware would.
enum class HostFault {
  FifoReadWhileForward,    // the FIFO read while the port faces the box: 0xFF, nothing taken
  FifoWriteWhileReverse,   // a byte written while the box drives the lines: lost
  FifoOverrun,             // a byte written into a full FIFO: lost
  FifoUnderrun,            // the reverse FIFO read while empty
  TurnOutOfPhase,          // a direction change the box was not ready for
  TerminationOutOfPhase,   // termination requested while the box drives the lines
  ShortPause,              // event 0 to 1 under 10 ms, or a strobe under 1 ms
};
inline constexpr std::size_t kHostFaultKinds = 7;

// What the box has seen and done in the current (or last) session: since the last fresh
// Claim of its port.
struct BoxReceipt {
  bool header_seen = false;                     // all 12 header bytes arrived
  std::array<std::uint32_t, 3> header_words{};  // kind, tag, image length, as received
  bool header_ok = false;                       // kind 1 and tag 0x40200000
  std::uint64_t image_bytes = 0;                // image bytes taken so far
  std::uint32_t image_crc32 = 0;                // CRC-32 of those bytes
  bool image_complete = false;                  // as many as the header announced
  std::uint64_t stray_bytes = 0;   // taken after a refused header or past the image's end
  std::array<std::uint64_t, kHostFaultKinds> host_faults{};  // by HostFault
  std::uint64_t fifo_bytes_discarded = 0;  // bytes emptied out by leaving ECP mode
  std::uint32_t negotiation_attempts = 0;  // requests seen since the port was claimed
  std::uint8_t extensibility_byte = 0;     // latched at the last negotiation
  bool link_dropped = false;               // Select went low (drop-select-at)
  bool stalled = false;                    // the box stopped taking bytes (stall-at)
  bool terminated = false;                 // back in compatibility mode by the handshake
  bool opening_queued = false;
  std::uint32_t box_data_queued = 0;       // box-data bytes queued after the opening record
  bool closing_queued = false;
  std::uint64_t bytes_sent = 0;            // box-to-host bytes moved into the FIFO
  std::uint64_t unsent_dropped = 0;  // left unsent when the host turned the link forward

  std::uint64_t faults(HostFault kind) const {
    return host_faults[static_cast<std::size_t>(kind)];
  }
  std::uint64_t all_faults() const;
};

// "none", or the counts by kind: "2 fifo read while forward, 1 short pause".
std::string HostFaultSummary(const BoxReceipt& receipt);

}  // namespace m4410
