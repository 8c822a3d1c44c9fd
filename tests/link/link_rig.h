// A scripted port on a virtual clock, with a box that answers every handshake at once.
#pragma once

#include <cstdint>

#include "port/port_driver.h"
#include "link/time_source.h"
#include "link/recording_clock.h"
#include "link/scripted_port.h"

namespace m4410::test {

inline constexpr PortRange kStd = PortRange::Standard;
inline constexpr PortRange kExt = PortRange::Extended;

inline std::uint8_t EcrMode(std::uint8_t ecr) { return ecr >> 5; }  // 0 std, 1 byte, 3 ECP, 7 config

// The box's status answer to the control lines (and, where the lines alone are ambiguous, to
// the ECR mode), as a box that answers every handshake without delay gives it.
inline std::uint8_t PromptBoxStatus(ScriptedPort& port) {
  const std::uint8_t control = port.Held(kStd, kControl);
  const std::uint8_t mode = EcrMode(port.Held(kExt, kEcr));
  switch (control) {
    case 0x06:  // negotiation request; the setup phase's HostAck low
    case 0x07:
      return 0xB8;
    case 0x04:  // ECP confirmed with nAck high during negotiation; forward idle after it
      return mode == 0 ? 0xD8 : 0xF8;
    case 0x24:  // reverse request withdrawn
      return 0xF8;
    case 0x20:  // reverse request acknowledged
      return 0xD8;
    case 0x0C:  // termination request answered
      return 0x28;
    default:  // termination acknowledged, compatibility idle
      return 0xD8;
  }
}

// Installs its clock for its lifetime. The port starts in ECP forward idle with an empty FIFO
// that stays empty (the ECR reads back its written bits plus the empty flag).
struct LinkRig {
  LinkRig() : port(ScriptedPort::AttachTo(context)) {
    SetTimeSource(&clock);
    port.StampWith([this] { return clock.PeekMicros(); });
    port.Set(kStd, kControl, 0x04);
    port.Set(kExt, kEcr, 0x74);
    port.Answer(kStd, kStatus, PromptBoxStatus);
    port.Answer(kExt, kEcr, [](ScriptedPort& p) {
      return static_cast<std::uint8_t>((p.Held(kExt, kEcr) & 0xFC) | 0x01);
    });
  }
  ~LinkRig() { SetTimeSource(nullptr); }
  LinkRig(const LinkRig&) = delete;
  LinkRig& operator=(const LinkRig&) = delete;

  std::uint8_t control() const { return port.Held(kStd, kControl); }
  std::uint8_t ecr() const { return port.Held(kExt, kEcr); }
  // When the first write of value to a register happened at or after from.
  std::int64_t WriteTime(PortRange range, unsigned offset, std::uint8_t value,
                         std::int64_t from = 0) const {
    for (const auto& r : port.Accesses(range, offset, true)) {
      if (r.value == value && r.at >= from) return r.at;
    }
    return -1;
  }

  RecordingClock clock;
  PortDriverContext context;
  ScriptedPort& port;
};

}  // namespace m4410::test
