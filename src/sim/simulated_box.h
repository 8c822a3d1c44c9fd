// A simulated Marlovine 4410 box on a simulated ECP port: the PC's port chip (data, status,
// control, ECR, configuration registers, a 16-byte FIFO) and, behind it, the box's side of the
// IEEE 1284 handshakes and of the update exchange. Stands in for the hardware in tests, in
// `m4410 --port sim` and in the GUI demo.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "port/port_access.h"
#include "port/time_source.h"
#include "sim/sim_options.h"

namespace m4410 {

class SimulatedBoxState;  // the box and its port, shared by the handle and its PortAccesses

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

  std::uint64_t faults(HostFault kind) const {
    return host_faults[static_cast<std::size_t>(kind)];
  }
  std::uint64_t all_faults() const;
};

// "none", or the counts by kind: "2 fifo read while forward, 1 short pause".
std::string HostFaultSummary(const BoxReceipt& receipt);

class SimulatedBox {
 public:
  // What the box puts in its records. Opening: model, firmware, box-data length.
  // Closing: model, CRC-32 of the image taken, image bytes taken.
  static constexpr std::uint32_t kModelWord = 0x00004410;
  static constexpr std::uint32_t kFirmwareWord = 0x00010002;  // 1.2
  static constexpr std::size_t kFifoDepth = 16;

  // clock == nullptr: the box watches the monotonic clock. Otherwise it watches `clock` and
  // moves it on by 1 us at every port access, so simulated time passes as the host polls;
  // the clock must then outlive the box and every PortAccess handed out.
  // cable: where the cable's lines are recorded (the box takes the file), or nullptr.
  SimulatedBox(const SimOptions& options, VirtualClock* clock, std::FILE* cable = nullptr);
  ~SimulatedBox();
  SimulatedBox(const SimulatedBox&) = delete;
  SimulatedBox& operator=(const SimulatedBox&) = delete;

  // Each call makes a PortAccess onto this one box. The box's state is shared with them, so
  // they (and the factory) stay valid even after this object is gone.
  PortAccessFactory Factory() const;
  std::unique_ptr<PortAccess> MakeAccess() const;

  // One PortAccess holds the claim at a time; a second one is refused until it releases.
  // A fresh claim starts a new session: the box at compatibility idle with nothing queued,
  // its receipt and attempt count cleared. The port chip keeps its registers.

  const SimOptions& Options() const;
  BoxReceipt Receipt() const;  // safe from any thread, during or after a run
  std::uint8_t LastData() const;  // data register as last written
  std::uint8_t ConfigB() const;   // configuration register B as last written
  std::size_t FifoLevel() const;

 private:
  std::shared_ptr<SimulatedBoxState> state_;
};

}  // namespace m4410
