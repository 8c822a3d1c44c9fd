// Where the IEEE 1284 link stands, read back from the port: the link keeps no phase of its
// own, so nothing can disagree with the registers.
#pragma once

#include <string_view>

namespace m4410 {

struct PortDriverContext;

// The phases in which the link rests between its operations, and the rest.
enum class PortPhase {
  CompatibilityIdle,  // ECR mode 000, control 0x0C: after termination or a refused negotiation
  EcpForwardIdle,     // ECR mode 011, control 0x04: the host drives the data lines
  EcpReverseIdle,     // ECR mode 011, control 0x20: the box drives the data lines
  BetweenPhases,      // anything else: mid-handshake, or a handshake the box left unanswered
};

// One control and one ECR read; no context gives BetweenPhases.
PortPhase ReadPortPhase(PortDriverContext* context);

// "compatibility idle", "ECP forward idle", "ECP reverse idle", "between phases".
std::string_view PortPhaseName(PortPhase phase);

}  // namespace m4410
