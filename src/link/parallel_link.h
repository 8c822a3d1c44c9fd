// IEEE 1284 negotiation into ECP mode, the direction changes of the ECP link and the
// termination back to compatibility mode.
#pragma once

#include <cstdint>

#include "port/port_driver.h"

namespace m4410 {

// PortDirectionIs's direction codes.
inline constexpr int kDirectionReverse = 1;
inline constexpr int kDirectionForward = 0;

int StatusMatches(PortDriverContext* context, std::uint8_t ones, std::uint8_t zeros);
void SetEcrMode(PortDriverContext* context, int mode_code);  // 0 std, 1 byte, 2 ECP, 3 config

int EstablishLink(PortDriverContext* context);         // 0 linked, 1 failed
int NegotiateEcp(PortDriverContext* context);          // 0, -1 no context, -2 no answer, -3 no ECP
int SetupEcpForward(PortDriverContext* context);       // 0, -1 time-out
int TerminateLink(PortDriverContext* context);         // always 0
int ResetToCompatibility(PortDriverContext* context);  // always 0
int SwitchToReverse(PortDriverContext* context);       // 0, -1 time-out or link lost
int SwitchToForward(PortDriverContext* context);       // 0, -1 or -2 time-outs
int PortDirectionIs(PortDriverContext* context, int direction);  // 1, 0, -1
int FifoState(PortDriverContext* context);  // -1 link lost, 0 empty, 1 data, 2 full

}  // namespace m4410
