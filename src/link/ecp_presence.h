// Whether the claimed port has the ECP registers the link needs, asked only once the
// negotiations have all failed, so that a port without them (left in SPP or EPP mode in the
// firmware setup, or an emulated one) is named as the cause rather than a silent box.
#pragma once

#include <string>

namespace m4410 {

struct PortDriverContext;

enum class EcpPresence {
  Present,         // an ECR answers at the extended address
  NoEcpRegisters,  // the port answers, its ECR does not
  NoPort,          // nothing answers at the base: status and data read back 0xFF
};

// The ECR test of the kernel's parport_pc:
//   write control 0x0C (compatibility idle, forward); write data 0xAA, read it back;
//   read status; ECR to standard mode (read, write);
//   read the ECR: only a FIFO-empty reading (bits 1-0 = 01) goes on to
//   write ECR 0x34 (byte mode, interrupts off), read it (a real ECR gives 0x35), and
//   write back the ECR as read.
// The ECR is left in standard mode, the control at 0x0C.
EcpPresence CheckEcpRegisters(PortDriverContext* context);

// The operator's words for a port that fails the check; empty for Present.
std::string EcpPresenceCause(EcpPresence presence);

}  // namespace m4410
