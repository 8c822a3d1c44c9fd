// Port register access: the open and exclusive claim of the port, the single-byte transfers
// and the nine register accessors that the link layer reaches the hardware through.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "port/port_access.h"

namespace m4410 {

// One per update run: the claimed port, from a successful OpenPortDriver to ClosePortDriver.
struct PortDriverContext {
  std::unique_ptr<PortAccess> access;
};

// 0: open and claimed, stored in *out; 1: no port-access facility; 2: claim refused or port
// in use. On 1 and 2, *out keeps its value and nothing stays open.
int OpenPortDriver(std::unique_ptr<PortDriverContext>* out);
// Releases the claim and frees the context.
void ClosePortDriver(std::unique_ptr<PortDriverContext> context);

// Why the last OpenPortDriver failed; empty after a successful one. Backends set it from
// inside Claim() when they refuse.
std::string PortErrorText();
void SetPortErrorText(std::string_view reason);

// Width code 0 (bytes) is the only one a port range serves; others give false.
bool PortTransfer(PortDriverContext* context, int range, unsigned offset, bool read,
                  std::uint8_t* buffer, std::uint32_t count, int width);
std::uint8_t ReadPortByte(PortDriverContext* context, int range, unsigned offset);
void WritePortByte(PortDriverContext* context, int range, unsigned offset, std::uint8_t value);

// Only the low 8 bits of a value reach the port.
std::uint8_t ReadStatus(PortDriverContext* context);
std::uint8_t ReadControl(PortDriverContext* context);
std::uint8_t ReadEcr(PortDriverContext* context);
std::uint8_t ReadEcpFifo(PortDriverContext* context);
void WriteData(PortDriverContext* context, unsigned value);
void WriteControl(PortDriverContext* context, unsigned value);
void WriteEcr(PortDriverContext* context, unsigned value);
void WriteConfigB(PortDriverContext* context, unsigned value);
void WriteEcpFifo(PortDriverContext* context, unsigned value);

}  // namespace m4410
