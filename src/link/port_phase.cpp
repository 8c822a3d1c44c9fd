#include "link/port_phase.h"

#include <cstdint>

#include "port/parport_bits.h"
#include "port/port_driver.h"

namespace m4410 {

namespace {

// The four lines, the interrupt enable and the direction; bits 7-6 read back as the chip
// likes.
constexpr std::uint8_t kControlMeaningful = 0x3F;
constexpr std::uint8_t kForwardIdleControl = kControlInit;
constexpr std::uint8_t kReverseIdleControl = kControlReverse;
static_assert(kForwardIdleControl == 0x04 && kReverseIdleControl == 0x20);

}  // namespace

PortPhase ReadPortPhase(PortDriverContext* context) {
  if (!context) return PortPhase::BetweenPhases;
  const std::uint8_t control = ReadControl(context) & kControlMeaningful;
  const unsigned mode = EcrMode(ReadEcr(context));
  if (mode == kEcrModeStandard && control == kControlCompatibilityIdle) {
    return PortPhase::CompatibilityIdle;
  }
  if (mode == kEcrModeEcp && control == kForwardIdleControl) return PortPhase::EcpForwardIdle;
  if (mode == kEcrModeEcp && control == kReverseIdleControl) return PortPhase::EcpReverseIdle;
  return PortPhase::BetweenPhases;
}

std::string_view PortPhaseName(PortPhase phase) {
  switch (phase) {
    case PortPhase::CompatibilityIdle: return "compatibility idle";
    case PortPhase::EcpForwardIdle: return "ECP forward idle";
    case PortPhase::EcpReverseIdle: return "ECP reverse idle";
    case PortPhase::BetweenPhases: break;
  }
  return "between phases";
}

}  // namespace m4410
