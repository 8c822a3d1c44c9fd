#include "link/parallel_link.h"

#include <cstdio>

#include "link/link_clock.h"
#include "link/link_limits.h"
#include "link/long_wait.h"

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

constexpr std::uint8_t kExtensibilityEcp = 0x10;
constexpr std::uint8_t kDirectionBit = 0x20;

constexpr int kReverse = 1;
constexpr int kForward = 0;

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

void UpdateControl(PortDriverContext* context, std::uint8_t and_mask, std::uint8_t or_mask) {
  const std::uint8_t control = ReadControl(context);
  WriteControl(context, (control & and_mask) | or_mask);
}

// Back to compatibility idle lines after a negotiation the box did not carry through.
void AbandonNegotiation(PortDriverContext* context) {
  WriteData(context, 0x00);
  WriteControl(context, 0x0C);
}

}  // namespace

int StatusMatches(PortDriverContext* context, std::uint8_t ones, std::uint8_t zeros) {
  const std::uint8_t status = ReadStatus(context);
  const bool ones_hold = (status & ones) == ones;
  const bool zeros_hold = (static_cast<std::uint8_t>(~status) & zeros) == zeros;
  return ones_hold && zeros_hold ? 1 : 0;
}

void SetEcrMode(PortDriverContext* context, int mode_code) {
  static constexpr std::uint8_t kModeBits[] = {0x00, 0x20, 0x60, 0xE0};
  if (mode_code < kStandardMode || mode_code > kConfigMode) return;
  const std::uint8_t ecr = ReadEcr(context);
  WriteEcr(context, (ecr & 0x1F) | kModeBits[mode_code]);
}

int EstablishLink(PortDriverContext* context) {
  int outcome = NegotiateEcp(context);
  if (outcome == 0) outcome = SetupEcpForward(context);
  return outcome == 0 ? 0 : 1;
}

int NegotiateEcp(PortDriverContext* context) {
  if (!context) return -1;
  SetEcrMode(context, kStandardMode);
  ReadStatus(context);
  WriteControl(context, 0x0C);
  WriteData(context, kExtensibilityEcp);
  DelayMs(kRequestSetupMs);
  WriteControl(context, 0x06);
  if (!WaitForStatus(context, 0x38, 0x40, kAnswerLimitMs)) {
    AbandonNegotiation(context);
    return -2;
  }
  WriteControl(context, 0x07);
  DelayMs(kStrobeMs);
  WriteControl(context, 0x04);
  if (!WaitForStatus(context, 0x90, 0x20, kAnswerLimitMs)) {
    AbandonNegotiation(context);
    return -3;
  }
  if (WaitForStatus(context, 0x40, 0x00, kNackRiseLimitMs)) {
    std::printf("Negotiation succeded\n");
    std::fflush(stdout);
  }
  return 0;
}

int SetupEcpForward(PortDriverContext* context) {
  UpdateControl(context, 0xEE, 0x02);
  WriteData(context, 0x00);
  SetEcrMode(context, kByteMode);
  UpdateControl(context, 0xDF, 0x00);
  if (!WaitForStatus(context, 0x20, 0x00, kAnswerLimitMs)) return -1;
  UpdateControl(context, 0xFD, 0x00);
  SetEcrMode(context, kConfigMode);
  WriteConfigB(context, 0x0B);  // IRQ 7, DMA channel 3
  WriteEcr(context, 0x74);      // ECP mode, error and service interrupts off, no DMA
  return 0;
}

int PortDirectionIs(PortDriverContext* context, int direction) {
  if (!context) return -1;
  const bool reverse = (ReadControl(context) & kDirectionBit) != 0;
  switch (direction) {
    case kReverse:
      return reverse ? 1 : 0;
    case kForward:
      return reverse ? 0 : 1;
    default:
      return -1;
  }
}

int FifoState(PortDriverContext* context) {
  if ((ReadStatus(context) & 0x10) == 0) return -1;
  const std::uint8_t ecr = ReadEcr(context);
  if (ecr & 0x02) return 2;
  if (ecr & 0x01) return 0;
  return 1;
}

int SwitchToReverse(PortDriverContext* context) {
  if (PortDirectionIs(context, kReverse) != 0) return 0;

  // Turning round with bytes still in the FIFO would lose them, so wait for the box to take
  // them all; a box that dropped the link or stopped taking bytes never will.
  ClockStamp drain;
  ClockStart(&drain);
  for (;;) {
    const int state = FifoState(context);
    if (state == 0) break;
    if (state == -1) return -1;
    const std::int32_t elapsed = ElapsedMs(&drain);
    if (elapsed >= kDrainTimeoutMs) return -1;
    PollPause(elapsed);
  }

  WaitForStatus(context, 0x20, 0x00, kPreReverseLimitMs);  // goes on either way
  SetEcrMode(context, kByteMode);
  UpdateControl(context, 0xFF, kDirectionBit);
  UpdateControl(context, 0xFB, 0x00);
  SetEcrMode(context, kEcpMode);
  return WaitForStatus(context, 0x00, 0x20, kAnswerLimitMs) ? 0 : -1;
}

int SwitchToForward(PortDriverContext* context) {
  if (!context) return -1;
  if (PortDirectionIs(context, kReverse) == 0) return 0;
  UpdateControl(context, 0xFF, 0x04);
  if (!WaitForStatus(context, 0xC0, 0x00, kAnswerLimitMs)) return -1;
  if (!WaitForStatus(context, 0x20, 0x00, kAnswerLimitMs)) return -2;
  SetEcrMode(context, kByteMode);
  UpdateControl(context, 0xDD, 0x00);
  WaitMs(kSettleMs);
  SetEcrMode(context, kEcpMode);
  WaitMs(kSettleMs);
  return 0;
}

int TerminateLink(PortDriverContext* context) {
  if (!context) return 0;
  if (PortDirectionIs(context, kReverse) != 0) SwitchToForward(context);
  UpdateControl(context, 0xFD, 0x08);
  if (!WaitForStatus(context, 0x08, 0xD0, kAnswerLimitMs)) return ResetToCompatibility(context);
  UpdateControl(context, 0xFF, 0x02);
  if (!WaitForStatus(context, 0x40, 0x00, kAnswerLimitMs)) return ResetToCompatibility(context);
  UpdateControl(context, 0xFD, 0x00);
  SetEcrMode(context, kStandardMode);
  return 0;
}

int ResetToCompatibility(PortDriverContext* context) {
  const std::uint8_t control = ReadControl(context);
  WriteControl(context, (control & 0xF0) | 0x0E);
  DelayMs(kResetPulseMs);
  WriteControl(context, (control & 0xF0) | 0x0C);
  return 0;
}

}  // namespace m4410
