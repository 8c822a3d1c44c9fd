#include "link/parallel_link.h"

#include <cstdio>

#include "link/link_clock.h"
#include "link/link_limits.h"
#include "link/long_wait.h"
#include "port/parport_bits.h"

namespace m4410 {

namespace {

// Handshake limits: IEEE 1284 gives the peripheral 35 ms for each answer; the others are the
// box's own settling times.
constexpr std::int32_t kAnswerLimitMs = 35;
constexpr std::int32_t kNackRiseLimitMs = 2;
constexpr std::int32_t kSettleMs = 50;
constexpr std::int32_t kPreReverseLimitMs = 1000;

// Pauses of the negotiation and of the reset: the byte's set-up time, the strobe width and
// the length of the nAutoFd pulse.
constexpr std::int32_t kRequestSetupMs = 10;
constexpr std::int32_t kStrobeMs = 1;
constexpr std::int32_t kResetPulseMs = 35;

// Configuration register B: interrupt line field (bits 5-3) 001 and DMA channel field (bits
// 2-0) 011, which the ECP register definition reads as IRQ 7 and DMA channel 3.
constexpr std::uint8_t kConfigBIrq7Dma3 = 0x0B;
// 0x74: ECP mode served by polling, error and service interrupts off, no DMA.
constexpr std::uint8_t kEcrEcpPolled =
    EcrModeBits(kEcrModeEcp) | kEcrErrorIrqOff | kEcrServiceIrqOff;

// PortDirectionIs's direction codes.
constexpr int kDirectionReverse = 1;
constexpr int kDirectionForward = 0;

enum EcrModeCode { kStandardMode = 0, kByteMode = 1, kEcpMode = 2, kConfigMode = 3 };

// A handshake wait: no pause between passes, so an answer is seen as soon as it comes. The
// status is tested before the clock, so an answer already there succeeds whatever the clock
// says.
bool WaitForStatus(PortDriverContext* context, std::uint8_t ones, std::uint8_t zeros,
                   std::int32_t limit_ms) {
  ClockStamp stamp;
  ClockStart(&stamp);
  for (;;) {
    if (StatusMatches(context, ones, zeros)) return true;
    if (ElapsedMs(&stamp) >= limit_ms) return false;
  }
}

void WaitMs(std::int32_t ms) {
  ClockStamp stamp;
  ClockStart(&stamp);
  while (ElapsedMs(&stamp) < ms) {
  }
}

// One read and one write of the control register: the bits in `clear` to 0, then those in
// `set` to 1.
void ChangeControl(PortDriverContext* context, std::uint8_t clear, std::uint8_t set) {
  const std::uint8_t control = ReadControl(context);
  WriteControl(context, (control & static_cast<std::uint8_t>(~clear)) | set);
}

// Only a missing context has no phase to keep: the accessors below tolerate one, as ever.
void SetPhase(PortDriverContext* context, LinkPhase phase) {
  if (context) context->phase = phase;
}

// Back to compatibility idle lines after a negotiation the box did not carry through.
void AbandonNegotiation(PortDriverContext* context) {
  WriteData(context, 0x00);
  WriteControl(context, kControlCompatibilityIdle);
  SetPhase(context, LinkPhase::Compatibility);
}

// A turn given up before any line moved: the port is still forward.
int GiveUpTurn(PortDriverContext* context) {
  SetPhase(context, LinkPhase::ForwardIdle);
  return -1;
}

}  // namespace

LinkPhase CurrentLinkPhase(const PortDriverContext* context) {
  return context ? context->phase : LinkPhase::Compatibility;
}

int StatusMatches(PortDriverContext* context, std::uint8_t ones, std::uint8_t zeros) {
  const std::uint8_t status = ReadStatus(context);
  const bool ones_hold = (status & ones) == ones;
  const bool zeros_hold = (static_cast<std::uint8_t>(~status) & zeros) == zeros;
  return ones_hold && zeros_hold ? 1 : 0;
}

void SetEcrMode(PortDriverContext* context, int mode_code) {
  static constexpr std::uint8_t kModeBits[] = {
      EcrModeBits(kEcrModeStandard), EcrModeBits(kEcrModeByte), EcrModeBits(kEcrModeEcp),
      EcrModeBits(kEcrModeConfig)};
  if (mode_code < kStandardMode || mode_code > kConfigMode) return;
  const std::uint8_t ecr = ReadEcr(context);
  WriteEcr(context, (ecr & static_cast<std::uint8_t>(~kEcrModeMask)) | kModeBits[mode_code]);
}

int EstablishLink(PortDriverContext* context) {
  int outcome = NegotiateEcp(context);
  if (outcome == 0) outcome = SetupEcpForward(context);
  return outcome == 0 ? 0 : 1;
}

int NegotiateEcp(PortDriverContext* context) {
  if (!context) return -1;
  SetPhase(context, LinkPhase::Negotiation);
  SetEcrMode(context, kStandardMode);
  ReadStatus(context);
  WriteControl(context, kControlCompatibilityIdle);  // 0x0C
  WriteData(context, kExtensibilityEcp);  // event 0: the extensibility byte 0x10 on the data lines
  DelayMs(kRequestSetupMs);
  // Event 1 (0x06): nSelectIn high, nAutoFd low, nStrobe and nInit high: the request.
  WriteControl(context, kControlAutoFd | kControlInit);
  // Event 2 (ones 0x38, zeros 0x40): nAck low; PError, Select and nFault high.
  if (!WaitForStatus(context, kStatusPError | kStatusSelect | kStatusNFault, kStatusNAck,
                     kAnswerLimitMs)) {
    AbandonNegotiation(context);
    return -2;
  }
  // Event 3 (0x07): nStrobe low latches the extensibility byte into the box.
  WriteControl(context, kControlStrobe | kControlAutoFd | kControlInit);
  DelayMs(kStrobeMs);
  WriteControl(context, kControlInit);  // event 4 (0x04): nStrobe and nAutoFd high
  // Event 5 (ones 0x90, zeros 0x20): Busy and PError low, Select (XFlag) high: ECP accepted.
  if (!WaitForStatus(context, kStatusNotBusy | kStatusSelect, kStatusPError, kAnswerLimitMs)) {
    AbandonNegotiation(context);
    return -3;
  }
  SetPhase(context, LinkPhase::EcpSetup);
  if (WaitForStatus(context, kStatusNAck, 0x00, kNackRiseLimitMs)) {  // event 6: nAck high 0x40
    std::printf("Negotiation succeded\n");
    std::fflush(stdout);
  }
  return 0;
}

int SetupEcpForward(PortDriverContext* context) {
  SetPhase(context, LinkPhase::EcpSetup);
  // Event 30, (control & 0xEE) | 0x02: nAutoFd (HostAck) low, nStrobe high, no interrupt.
  ChangeControl(context, kControlStrobe | kControlIrqEnable, kControlAutoFd);
  WriteData(context, 0x00);
  SetEcrMode(context, kByteMode);
  ChangeControl(context, kControlReverse, 0x00);  // & 0xDF: data lines driven, forward
  // Event 31: PError (nAckReverse) high, 0x20. Unanswered, the link stays in the setup phase.
  if (!WaitForStatus(context, kStatusPError, 0x00, kAnswerLimitMs)) return -1;
  ChangeControl(context, kControlAutoFd, 0x00);  // & 0xFD: HostAck high, forward idle
  SetEcrMode(context, kConfigMode);
  WriteConfigB(context, kConfigBIrq7Dma3);
  WriteEcr(context, kEcrEcpPolled);
  SetPhase(context, LinkPhase::ForwardIdle);
  return 0;
}

int PortDirectionIs(PortDriverContext* context, int direction) {
  if (!context) return -1;
  const bool reverse = (ReadControl(context) & kControlReverse) != 0;
  switch (direction) {
    case kDirectionReverse:
      return reverse ? 1 : 0;
    case kDirectionForward:
      return reverse ? 0 : 1;
    default:
      return -1;
  }
}

int FifoState(PortDriverContext* context) {
  if ((ReadStatus(context) & kStatusSelect) == 0) return -1;  // XFlag low: the box let go
  const std::uint8_t ecr = ReadEcr(context);
  if (ecr & kEcrFifoFull) return 2;
  if (ecr & kEcrFifoEmpty) return 0;
  return 1;
}

int SwitchToReverse(PortDriverContext* context) {
  if (PortDirectionIs(context, kDirectionReverse) != 0) return 0;
  SetPhase(context, LinkPhase::ForwardToReverse);

  // Turning round with bytes still in the FIFO would lose them, so wait for the box to take
  // them all; a box that dropped the link or stopped taking bytes never will.
  ClockStamp drain;
  ClockStart(&drain);
  for (;;) {
    const int state = FifoState(context);
    if (state == 0) break;
    if (state == -1) return GiveUpTurn(context);
    const std::int32_t elapsed = ElapsedMs(&drain);
    if (elapsed >= kDrainTimeoutMs) return GiveUpTurn(context);
    PollPause(elapsed);
  }

  // The box in forward idle (PError high) before it is asked to turn; late is no failure.
  WaitForStatus(context, kStatusPError, 0x00, kPreReverseLimitMs);
  SetEcrMode(context, kByteMode);
  ChangeControl(context, 0x00, kControlReverse);  // event 38, | 0x20: data lines are inputs
  ChangeControl(context, kControlInit, 0x00);     // event 39, & 0xFB: nInit low, the request
  SetEcrMode(context, kEcpMode);
  // Event 40 (zeros 0x20): PError (nAckReverse) low, the box takes the data lines.
  if (!WaitForStatus(context, 0x00, kStatusPError, kAnswerLimitMs)) {
    SetPhase(context, LinkPhase::DirectionUnknown);
    return -1;
  }
  SetPhase(context, LinkPhase::ReverseIdle);
  return 0;
}

int SwitchToForward(PortDriverContext* context) {
  if (!context) return -1;
  if (PortDirectionIs(context, kDirectionReverse) == 0) return 0;
  SetPhase(context, LinkPhase::ReverseToForward);
  ChangeControl(context, 0x00, kControlInit);  // event 47, | 0x04: nInit high, withdrawn
  // Event 48 (ones 0xC0): Busy low, nAck high: the box lets go of the data lines.
  if (!WaitForStatus(context, kStatusNotBusy | kStatusNAck, 0x00, kAnswerLimitMs)) {
    SetPhase(context, LinkPhase::DirectionUnknown);
    return -1;
  }
  // Event 49 (ones 0x20): PError (nAckReverse) high.
  if (!WaitForStatus(context, kStatusPError, 0x00, kAnswerLimitMs)) {
    SetPhase(context, LinkPhase::DirectionUnknown);
    return -2;
  }
  SetEcrMode(context, kByteMode);
  ChangeControl(context, kControlReverse | kControlAutoFd, 0x00);  // & 0xDD: forward, HostAck high
  WaitMs(kSettleMs);
  SetEcrMode(context, kEcpMode);
  WaitMs(kSettleMs);
  SetPhase(context, LinkPhase::ForwardIdle);
  return 0;
}

int TerminateLink(PortDriverContext* context) {
  if (!context) return 0;
  if (PortDirectionIs(context, kDirectionReverse) != 0) SwitchToForward(context);
  SetPhase(context, LinkPhase::Terminate);
  // Event 22, (control & 0xFD) | 0x08: nSelectIn low, nAutoFd high: the termination request.
  ChangeControl(context, kControlAutoFd, kControlSelectIn);
  // Event 23 (ones 0x08, zeros 0xD0): nFault high; Busy high, nAck low, Select (XFlag) low.
  if (!WaitForStatus(context, kStatusNFault, kStatusNotBusy | kStatusNAck | kStatusSelect,
                     kAnswerLimitMs)) {
    return ResetToCompatibility(context);
  }
  ChangeControl(context, 0x00, kControlAutoFd);  // event 24, | 0x02: nAutoFd low
  // Event 25 (ones 0x40): nAck high.
  if (!WaitForStatus(context, kStatusNAck, 0x00, kAnswerLimitMs)) {
    return ResetToCompatibility(context);
  }
  ChangeControl(context, kControlAutoFd, 0x00);  // event 26, & 0xFD: nAutoFd high
  // Events 27-28 are the box's: back to compatibility idle.
  SetEcrMode(context, kStandardMode);
  SetPhase(context, LinkPhase::Compatibility);
  return 0;
}

int ResetToCompatibility(PortDriverContext* context) {
  // (c & 0xF0) | 0x0E, then | 0x0C: the lines to compatibility idle through a nAutoFd pulse,
  // the upper four bits (interrupt enable, direction) kept.
  const std::uint8_t kept = ReadControl(context) & 0xF0;
  WriteControl(context, kept | kControlCompatibilityIdle | kControlAutoFd);
  DelayMs(kResetPulseMs);
  WriteControl(context, kept | kControlCompatibilityIdle);
  SetPhase(context, LinkPhase::Compatibility);
  return 0;
}

}  // namespace m4410
