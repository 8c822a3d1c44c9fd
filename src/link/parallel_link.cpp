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
constexpr std::uint8_t kConfigBIrq7Dma3 = (1u << 3) | 3u;
static_assert(kConfigBIrq7Dma3 == 0x0B);
// ECP mode served by polling: error and service interrupts off, no DMA.
constexpr std::uint8_t kEcrEcpPolled =
    EcrModeBits(kEcrModeEcp) | kEcrErrorIrqOff | kEcrServiceIrqOff;
static_assert(kEcrEcpPolled == 0x74);

enum EcrModeCode { kStandardMode = 0, kByteMode = 1, kEcpMode = 2, kConfigMode = 3 };

// The whole control bytes of the negotiation.
constexpr std::uint8_t kNegotiationRequest = kControlAutoFd | kControlInit;
constexpr std::uint8_t kNegotiationStrobe = kNegotiationRequest | kControlStrobe;
constexpr std::uint8_t kNegotiationDone = kControlInit;
static_assert(kControlCompatibilityIdle == 0x0C && kNegotiationRequest == 0x06 &&
              kNegotiationStrobe == 0x07 && kNegotiationDone == 0x04);

// A read-modify-write of the control register: (control AND keep) OR set, where keep is
// every bit but those in `clear`.
struct ControlChange {
  std::uint8_t clear;
  std::uint8_t set;
  constexpr std::uint8_t keep() const { return static_cast<std::uint8_t>(~clear); }
};
constexpr ControlChange kHostAckLowNoStrobeNoIrq{kControlStrobe | kControlIrqEnable,
                                                 kControlAutoFd};
constexpr ControlChange kDriveDataLines{kControlReverse, 0x00};
constexpr ControlChange kHostAckHigh{kControlAutoFd, 0x00};
constexpr ControlChange kReleaseDataLines{0x00, kControlReverse};
constexpr ControlChange kReverseRequest{kControlInit, 0x00};
constexpr ControlChange kWithdrawReverseRequest{0x00, kControlInit};
constexpr ControlChange kDriveDataLinesHostAckHigh{kControlReverse | kControlAutoFd, 0x00};
constexpr ControlChange kTerminationRequest{kControlAutoFd, kControlSelectIn};
constexpr ControlChange kHostAckLow{0x00, kControlAutoFd};
static_assert(kHostAckLowNoStrobeNoIrq.keep() == 0xEE && kHostAckLowNoStrobeNoIrq.set == 0x02);
static_assert(kDriveDataLines.keep() == 0xDF && kHostAckHigh.keep() == 0xFD);
static_assert(kReleaseDataLines.set == 0x20 && kReverseRequest.keep() == 0xFB);
static_assert(kWithdrawReverseRequest.set == 0x04 && kDriveDataLinesHostAckHigh.keep() == 0xDD);
static_assert(kTerminationRequest.keep() == 0xFD && kTerminationRequest.set == 0x08);
static_assert(kHostAckLow.set == 0x02);

// The reset keeps the upper four bits (interrupt enable, direction) and drives the four lines.
constexpr std::uint8_t kResetKeeps =
    static_cast<std::uint8_t>(~(kControlStrobe | kControlAutoFd | kControlInit | kControlSelectIn));
static_assert(kResetKeeps == 0xF0 && (kControlCompatibilityIdle | kControlAutoFd) == 0x0E);

// A status condition: every bit of `ones` reads 1 and every bit of `zeros` reads 0.
struct StatusCondition {
  std::uint8_t ones;
  std::uint8_t zeros;
};
// Event 2: the box takes part in IEEE 1284: nAck low; PError, Select and nFault high.
constexpr StatusCondition kRequestAnswered{kStatusPError | kStatusSelect | kStatusNFault,
                                           kStatusNAck};
// Event 5: ECP accepted: Busy low, Select (XFlag) high, PError low.
constexpr StatusCondition kEcpAccepted{kStatusNotBusy | kStatusSelect, kStatusPError};
// Events 6 and 27: nAck (PeriphClk) high.
constexpr StatusCondition kNackHigh{kStatusNAck, 0x00};
// Events 31 and 49, and forward idle before a turn: PError (nAckReverse) high.
constexpr StatusCondition kPErrorHigh{kStatusPError, 0x00};
// Event 40: PError (nAckReverse) low: the box takes the data lines.
constexpr StatusCondition kPErrorLow{0x00, kStatusPError};
// Event 48: Busy (PeriphAck) low, nAck high: the box lets go of the data lines.
constexpr StatusCondition kDataLinesLetGo{kStatusNotBusy | kStatusNAck, 0x00};
// Events 23 and 24: Busy high and nFault high, then nAck low and Select (XFlag) low.
constexpr StatusCondition kTerminationAccepted{kStatusNFault,
                                               kStatusNotBusy | kStatusNAck | kStatusSelect};
static_assert(kRequestAnswered.ones == 0x38 && kRequestAnswered.zeros == 0x40);
static_assert(kEcpAccepted.ones == 0x90 && kEcpAccepted.zeros == 0x20);
static_assert(kNackHigh.ones == 0x40 && kPErrorHigh.ones == 0x20 && kPErrorLow.zeros == 0x20);
static_assert(kDataLinesLetGo.ones == 0xC0);
static_assert(kTerminationAccepted.ones == 0x08 && kTerminationAccepted.zeros == 0xD0);

// A handshake wait: no pause between passes, so an answer is seen as soon as it comes. The
// status is tested before the clock, so an answer already there succeeds whatever the clock
// says.
bool WaitFor(PortDriverContext* context, StatusCondition condition, std::int32_t limit_ms) {
  ClockStamp stamp;
  ClockStart(&stamp);
  for (;;) {
    if (StatusMatches(context, condition.ones, condition.zeros)) return true;
    if (ElapsedMs(&stamp) >= limit_ms) return false;
  }
}

void WaitMs(std::int32_t ms) {
  ClockStamp stamp;
  ClockStart(&stamp);
  while (ElapsedMs(&stamp) < ms) {
  }
}

// One read and one write of the control register.
void ChangeControl(PortDriverContext* context, ControlChange change) {
  WriteControl(context, (ReadControl(context) & change.keep()) | change.set);
}

// Back to compatibility idle lines after a negotiation the box did not carry through. A box
// may take as long to leave its answer to the request (nAck low) as to give it: until nAck is
// back high, the next attempt's request would be met by this one's answer.
void AbandonNegotiation(PortDriverContext* context) {
  WriteData(context, 0x00);
  WriteControl(context, kControlCompatibilityIdle);
  WaitFor(context, kNackHigh, kAnswerLimitMs);
}

}  // namespace

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
  SetEcrMode(context, kStandardMode);
  ReadStatus(context);
  WriteControl(context, kControlCompatibilityIdle);
  WriteData(context, kExtensibilityEcp);  // event 0: the extensibility byte on the data lines
  DelayMs(kRequestSetupMs);
  WriteControl(context, kNegotiationRequest);  // event 1: nSelectIn high, nAutoFd low
  if (!WaitFor(context, kRequestAnswered, kAnswerLimitMs)) {  // event 2
    AbandonNegotiation(context);
    return -2;
  }
  WriteControl(context, kNegotiationStrobe);  // event 3: nStrobe low latches the byte
  DelayMs(kStrobeMs);
  WriteControl(context, kNegotiationDone);  // event 4: nStrobe and nAutoFd high
  if (!WaitFor(context, kEcpAccepted, kAnswerLimitMs)) {  // event 5
    AbandonNegotiation(context);
    return -3;
  }
  if (WaitFor(context, kNackHigh, kNackRiseLimitMs)) {  // event 6
    std::printf("Negotiation succeded\n");
    std::fflush(stdout);
  }
  return 0;
}

int SetupEcpForward(PortDriverContext* context) {
  // Event 30: HostAck (nAutoFd) low, with nStrobe high and no interrupt.
  ChangeControl(context, kHostAckLowNoStrobeNoIrq);
  WriteData(context, 0x00);
  SetEcrMode(context, kByteMode);
  ChangeControl(context, kDriveDataLines);
  // Event 31. Unanswered, the link stays in the setup phase.
  if (!WaitFor(context, kPErrorHigh, kAnswerLimitMs)) return -1;
  ChangeControl(context, kHostAckHigh);  // HostAck high: forward idle
  SetEcrMode(context, kConfigMode);
  WriteConfigB(context, kConfigBIrq7Dma3);
  WriteEcr(context, kEcrEcpPolled);
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

  // Turning round with bytes still in the FIFO would lose them, so wait for the box to take
  // them all; a box that dropped the link or stopped taking bytes never will. Given up before
  // any line moved, the port is still forward.
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

  // The box in forward idle before it is asked to turn; late is no failure.
  WaitFor(context, kPErrorHigh, kPreReverseLimitMs);
  SetEcrMode(context, kByteMode);
  // Event 38, the data-bus half: the data lines become inputs (HostAck stays high).
  ChangeControl(context, kReleaseDataLines);
  ChangeControl(context, kReverseRequest);  // event 39: nInit low
  SetEcrMode(context, kEcpMode);
  return WaitFor(context, kPErrorLow, kAnswerLimitMs) ? 0 : -1;  // event 40
}

int SwitchToForward(PortDriverContext* context) {
  if (!context) return -1;
  if (PortDirectionIs(context, kDirectionReverse) == 0) return 0;
  ChangeControl(context, kWithdrawReverseRequest);  // event 47: nInit high
  if (!WaitFor(context, kDataLinesLetGo, kAnswerLimitMs)) return -1;  // event 48
  if (!WaitFor(context, kPErrorHigh, kAnswerLimitMs)) return -2;      // event 49
  SetEcrMode(context, kByteMode);
  ChangeControl(context, kDriveDataLinesHostAckHigh);
  WaitMs(kSettleMs);
  SetEcrMode(context, kEcpMode);
  WaitMs(kSettleMs);
  return 0;
}

int TerminateLink(PortDriverContext* context) {
  if (!context) return 0;
  if (PortDirectionIs(context, kDirectionReverse) != 0) SwitchToForward(context);
  ChangeControl(context, kTerminationRequest);  // event 22: nSelectIn low, nAutoFd high
  if (!WaitFor(context, kTerminationAccepted, kAnswerLimitMs)) {  // events 23 and 24
    return ResetToCompatibility(context);
  }
  ChangeControl(context, kHostAckLow);  // event 25: nAutoFd low
  // Event 26 is the box's status lines back to compatibility; event 27, nAck high, ends it.
  if (!WaitFor(context, kNackHigh, kAnswerLimitMs)) return ResetToCompatibility(context);
  ChangeControl(context, kHostAckHigh);  // event 28: nAutoFd high, compatibility idle
  SetEcrMode(context, kStandardMode);
  return 0;
}

int ResetToCompatibility(PortDriverContext* context) {
  // The lines to compatibility idle through a nAutoFd pulse.
  const std::uint8_t kept = ReadControl(context) & kResetKeeps;
  WriteControl(context, kept | kControlCompatibilityIdle | kControlAutoFd);
  DelayMs(kResetPulseMs);
  WriteControl(context, kept | kControlCompatibilityIdle);
  return 0;
}

}  // namespace m4410
