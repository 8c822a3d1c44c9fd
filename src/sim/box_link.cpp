#include "sim/box_link.h"

#include <algorithm>
#include <limits>

#include "port/parport_bits.h"
#include "sim/cable_trace.h"

namespace m4410 {

namespace {

// The box's answers, as the PC reads them in the status register.
// Compatibility idle: Busy low; nAck, Select and nFault high.
constexpr std::uint8_t kCompatibilityIdle =
    kStatusNotBusy | kStatusNAck | kStatusSelect | kStatusNFault;
// Event 2: IEEE 1284 spoken here: nAck low; PError, Select and nFault high.
constexpr std::uint8_t kNegotiationAnswer =
    kStatusNotBusy | kStatusPError | kStatusSelect | kStatusNFault;
// Event 5: ECP mode accepted: Select (XFlag) high, Busy and PError low; event 6 adds nAck.
constexpr std::uint8_t kEcpConfirmed = kStatusNotBusy | kStatusSelect | kStatusNFault;
// Event 5 for a mode the box does not do: Select (XFlag) low.
constexpr std::uint8_t kModeRefused = kStatusNotBusy | kStatusNFault;
// Events 31 and 49: PError (nAckReverse) high, forward idle.
constexpr std::uint8_t kForwardIdle = kCompatibilityIdle | kStatusPError;
// Event 40: PError (nAckReverse) low, the box drives the data lines.
constexpr std::uint8_t kReverseIdle = kCompatibilityIdle;
// Events 23 and 24: Busy high, nFault high; Select (XFlag) low, nAck low. Events 26 and 27 add
// nAck high.
constexpr std::uint8_t kTerminationAnswer = kStatusPError | kStatusNFault;
static_assert(kCompatibilityIdle == 0xD8 && kNegotiationAnswer == 0xB8);
static_assert(kEcpConfirmed == 0x98 && kModeRefused == 0x88);
static_assert(kForwardIdle == 0xF8 && kReverseIdle == 0xD8 && kTerminationAnswer == 0x28);

constexpr std::int64_t kByteCost = 1'000'000;  // rate budget is in byte x us / s units
constexpr std::int64_t kMaxRateStepUs = 10'000'000;
constexpr std::int64_t kLongAgo = std::numeric_limits<std::int64_t>::min();

// The pauses the host owes the box during negotiation: the extensibility byte's set-up time
// before the request (event 0 to event 1) and the strobe width.
constexpr std::int64_t kRequestSetupMs = 10;
constexpr std::int64_t kStrobeMs = 1;

// Millisecond boundaries crossed from `from` to `to`. The host times its pauses with a
// millisecond clock on the same time line (counting the field's moves), so a pause of n ms
// crosses at least n boundaries however it falls within a millisecond.
std::int64_t MsBoundaries(std::int64_t from, std::int64_t to) {
  if (from == kLongAgo) return std::numeric_limits<std::int64_t>::max();
  return to / 1000 - from / 1000;
}

}  // namespace

BoxLink::BoxLink(const SimOptions& options, VirtualClock* clock, EcpChip* chip)
    : options_(options), clock_(clock), chip_(chip) {}

BoxReceipt BoxLink::Receipt() const { return receipt_; }

std::uint8_t BoxLink::StatusLines() {
  return dropped_ ? static_cast<std::uint8_t>(status_ & ~kStatusSelect) : status_;
}

void BoxLink::NewSession(std::int64_t now) {
  phase_ = Phase::Compatibility;
  status_ = kCompatibilityIdle;
  event_head_ = event_count_ = 0;
  last_event_at_ = 0;
  sending_ = false;
  latched_ = 0;
  dropped_ = stalled_ = false;
  pause_begun_ = false;
  budget_ = 0;
  rate_time_ = now;
  data_written_at_ = strobed_at_ = kLongAgo;
  receipt_ = BoxReceipt{};
  protocol_.NewSession();
  if (cable_) cable_->Status(now, StatusLines());
}

void BoxLink::Tick(std::int64_t now) {
  now_ = now;
  while (event_count_ > 0 && events_[event_head_].at <= now_) FireOldest();
  TakeFromFifo();
  protocol_.Tick(now_);
  if (sending_) FillFifo();
}

// --- the box's answers ---------------------------------------------------------------

// Answers come in the order the steps were made, each at least latency-us after its step
// and late_ms more where that answer's own key asks for it.
std::int64_t BoxLink::Answer(std::uint8_t status, std::uint32_t late_ms, std::int64_t not_before,
                            Action action) {
  if (event_count_ == kMaxEvents) FireOldest();
  const std::int64_t at = std::max(
      {now_ + static_cast<std::int64_t>(options_.latency_us) + std::int64_t{late_ms} * 1000,
       not_before, last_event_at_});
  events_[(event_head_ + event_count_) % kMaxEvents] = Event{at, status, action};
  ++event_count_;
  last_event_at_ = at;
  return at;
}

void BoxLink::FireOldest() {
  const Event& event = events_[event_head_];
  status_ = event.status;
  if (cable_) cable_->Status(event.at, StatusLines());
  // An acknowledgement that comes after the host has already withdrawn its request starts
  // nothing.
  if (event.action == Action::StartSending && phase_ == Phase::Reverse) sending_ = true;
  event_head_ = (event_head_ + 1) % kMaxEvents;
  --event_count_;
}

bool BoxLink::IsRequest(std::uint8_t control) {
  return (control & (kControlSelectIn | kControlAutoFd | kControlStrobe)) == kControlAutoFd;
}

// The host has given up (or finished): what the box was still about to say belongs to the
// exchange just ended, so it is dropped rather than heard as the answer to the next one.
void BoxLink::BackToCompatibility() {
  phase_ = Phase::Compatibility;
  event_head_ = event_count_ = 0;
  last_event_at_ = now_;
  Answer(kCompatibilityIdle);
}

// A reverse request withdrawn before the box acknowledged it: the box never took the data
// lines, so its acknowledgement is dropped and it has nothing to hand back.
bool BoxLink::DropPendingAcknowledgement() {
  if (event_count_ == 0) return false;
  const std::size_t last = (event_head_ + event_count_ - 1) % kMaxEvents;
  if (events_[last].action != Action::StartSending) return false;
  --event_count_;
  last_event_at_ = event_count_ > 0 ? events_[(last + kMaxEvents - 1) % kMaxEvents].at : now_;
  return true;
}

void BoxLink::Fault(HostFault kind) { ++receipt_.host_faults[static_cast<std::size_t>(kind)]; }

// The data lines turn only in forward idle (event 38, before the request of event 39) and turn
// back only once the box has let go of them (event 49 answered).
void BoxLink::CheckTurn(std::uint8_t old, std::uint8_t value) {
  const bool was_reverse = old & kControlReverse;
  const bool now_reverse = value & kControlReverse;
  if (was_reverse == now_reverse) return;
  const bool ready = now_reverse ? phase_ == Phase::Forward
                                 : !(phase_ == Phase::Reverse ||
                                     (phase_ == Phase::Forward && event_count_ > 0));
  if (!ready) Fault(HostFault::TurnOutOfPhase);
}

void BoxLink::ControlWritten(std::uint8_t old, std::uint8_t value) {
  const bool strobe_low = value & kControlStrobe;
  const bool autofd_low = value & kControlAutoFd;
  const bool init_low = !(value & kControlInit);
  const bool init_fell = init_low && (old & kControlInit);
  const bool selectin_low = value & kControlSelectIn;
  const bool termination = selectin_low && !autofd_low;

  CheckTurn(old, value);
  // Event 39, the reverse request, belongs to forward idle with the data lines turned.
  if (init_fell && !(phase_ == Phase::Forward && (value & kControlReverse))) {
    Fault(HostFault::TurnOutOfPhase);
  }

  switch (phase_) {
    case Phase::Compatibility:
      if (IsRequest(value) && !IsRequest(old)) {  // event 1: nSelectIn high, nAutoFd low
        ++receipt_.negotiation_attempts;
        if (MsBoundaries(data_written_at_, now_) < kRequestSetupMs) Fault(HostFault::ShortPause);
        // Behind a port without ECP registers the box is never heard: the link that
        // cannot come up there ends with that port named as the cause.
        const std::uint32_t first = options_.answer_on_attempt;
        if (options_.ecp && first != 0 && receipt_.negotiation_attempts >= first) {
          phase_ = Phase::Requested;
          Answer(kNegotiationAnswer, options_.negotiate_ms);  // event 2
        }
      }
      break;
    // Until the link is up, nSelectIn low is the host giving up: back to compatibility.
    case Phase::Requested:
      if (selectin_low) {
        BackToCompatibility();
      } else if (strobe_low) {  // event 3: the extensibility byte is latched
        latched_ = chip_->data();
        strobed_at_ = now_;
        phase_ = Phase::Strobed;
      }
      break;
    case Phase::Strobed:
      if (selectin_low) {
        BackToCompatibility();
      } else if (!strobe_low && !autofd_low) {  // event 4: nStrobe and nAutoFd high
        if (MsBoundaries(strobed_at_, now_) < kStrobeMs) Fault(HostFault::ShortPause);
        Confirm();
      }
      break;
    case Phase::Unconfirmed:
    case Phase::Refused:
      if (selectin_low) BackToCompatibility();
      break;
    case Phase::Confirmed:
      if (selectin_low) {
        BackToCompatibility();
      } else if (autofd_low) {  // event 30: HostAck low
        phase_ = Phase::Setup;
        if (options_.setup) Answer(kForwardIdle, options_.setup_ms);  // event 31: PError high
      }
      break;
    case Phase::Setup:
      if (selectin_low) {
        BackToCompatibility();
      } else if (!autofd_low && options_.setup) {
        phase_ = Phase::Forward;
        protocol_.LinkUp(now_);
      }
      break;
    case Phase::Forward:
      if (termination) {  // event 22
        Terminate();
      } else if (init_low && (value & kControlReverse)) {  // event 39, lines turned at 38
        if (options_.reverse) {
          phase_ = Phase::Reverse;
          // event 40: PError low
          Answer(kReverseIdle, options_.reverse_ack_ms, 0, Action::StartSending);
        }
      }
      break;
    case Phase::Reverse:
      if (!init_low) {  // event 47: the host withdrew its request; stop at once
        sending_ = false;
        // It has given up on whatever was not sent yet (a pause outlasted its wait): sent
        // later, that would be read in the place of the closing record.
        protocol_.DropUnsent();
        phase_ = Phase::Forward;
        if (DropPendingAcknowledgement()) break;
        // events 48 and 49: Busy low and nAck high (as they already are), then PError high
        Answer(kForwardIdle, options_.forward_ack_ms);
      } else if (termination) {
        // The host must take the link forward before it terminates.
        Fault(HostFault::TerminationOutOfPhase);
        sending_ = false;
        Terminate();
      }
      break;
    case Phase::Terminating:
      if (autofd_low) {  // event 25
        phase_ = Phase::TermAcked;
        Answer(kTerminationAnswer | kStatusNAck, options_.terminate_ack_ms);  // events 26-27
      }
      break;
    case Phase::TermAcked:
      if (!autofd_low) {  // event 28: compatibility idle, the box ready for data again
        BackToCompatibility();
        receipt_.terminated = true;
      }
      break;
  }
}

void BoxLink::Confirm() {
  receipt_.extensibility_byte = latched_;
  const std::int64_t nack_delay = std::int64_t{options_.nack_delay_ms} * 1000;
  if (latched_ != kExtensibilityEcp) {
    phase_ = Phase::Refused;
    const std::int64_t at = Answer(kModeRefused, options_.confirm_ms);
    Answer(kModeRefused | kStatusNAck, 0, at + nack_delay);
    return;
  }
  if (!options_.confirm) {
    phase_ = Phase::Unconfirmed;
    return;
  }
  phase_ = Phase::Confirmed;
  receipt_.terminated = false;
  const std::int64_t at = Answer(kEcpConfirmed, options_.confirm_ms);  // event 5
  Answer(kEcpConfirmed | kStatusNAck, 0, at + nack_delay);                  // event 6
}

void BoxLink::Terminate() {
  if (!options_.terminate) return;
  phase_ = Phase::Terminating;
  Answer(kTerminationAnswer, options_.terminate_ms);  // events 23-24
}

// --- forward: bytes from the host ----------------------------------------------------
// Each byte taken is one forward cycle, events 34-37 (HostClk and PeriphAck), which the
// chip's FIFO and the box run without the host's program: here, a byte popped at the rate.

bool BoxLink::Taking() const {
  return phase_ == Phase::Forward && event_count_ == 0 && chip_->mode() == kEcrModeEcp &&
         !chip_->reverse() && !dropped_ && !stalled_;
}

void BoxLink::TakeFromFifo() {
  if (!Taking()) {
    rate_time_ = now_;
    budget_ = 0;
    return;
  }
  if (options_.rate == 0) {
    while (chip_->fifo_level() > 0 && !dropped_ && !stalled_) TakeByte(chip_->Pop(), now_);
    return;
  }
  const std::int64_t elapsed = std::clamp<std::int64_t>(now_ - rate_time_, 0, kMaxRateStepUs);
  rate_time_ = now_;
  budget_ += elapsed * options_.rate;
  while (chip_->fifo_level() > 0 && budget_ >= kByteCost && !dropped_ && !stalled_) {
    budget_ -= kByteCost;
    // The byte was due when the budget last covered it, which may lie well before this
    // access (the host pauses without touching the port).
    TakeByte(chip_->Pop(), now_ - budget_ / options_.rate);
  }
  // An idle box is ready for the next byte, but saves up no more than that.
  if (chip_->fifo_level() == 0) budget_ = std::min(budget_, kByteCost);
}

// On the virtual clock a host waiting on a FIFO that only the box's rate can move would
// spin through every microsecond of a slow byte. Move time on to just before the box
// takes its next byte: the host's next clock reading sees the time that has passed, and
// its next poll sees the byte gone, in that order, so its bounds still hold.
// A host that is writing polls once per byte; one that polls twice with no write between
// is waiting, as is one facing a full FIFO.
void BoxLink::SkipToNextTake() {
  ++polls_since_write_;
  if (!clock_ || options_.rate == 0 || chip_->fifo_level() == 0 || !Taking()) return;
  if (chip_->fifo_level() < EcpChip::kFifoDepth && polls_since_write_ < 2) return;
  const std::int64_t missing = kByteCost - budget_;
  if (missing <= 0) return;
  const std::int64_t due = rate_time_ + (missing + options_.rate - 1) / options_.rate;
  const std::int64_t until = std::min(due, protocol_.closing_due()) - 2;
  if (until > now_) clock_->Advance(until - now_);
}

void BoxLink::TakeByte(std::uint8_t byte, std::int64_t taken_at) {
  if (cable_) cable_->ForwardByte(taken_at, byte);
  switch (protocol_.Take(byte, taken_at)) {
    case BoxProtocol::Took::Other:
      return;
    case BoxProtocol::Took::ImageComplete:
      // ready-ms: busy with the image, the box holds PError low and will not turn round yet.
      if (options_.ready_ms > 0) {
        status_ = static_cast<std::uint8_t>(status_ & ~kStatusPError);
        if (cable_) cable_->Status(protocol_.image_complete_at(), StatusLines());
        Answer(kForwardIdle, 0,
               protocol_.image_complete_at() + std::int64_t{options_.ready_ms} * 1000);
      }
      break;
    case BoxProtocol::Took::ImageCounted:
      break;
  }
  CheckLimits();
}

void BoxLink::CheckLimits() {
  if (options_.drop_select_at && receipt_.image_bytes == *options_.drop_select_at) DropLink();
  if (options_.stall_at && receipt_.image_bytes == *options_.stall_at) {
    stalled_ = true;
    receipt_.stalled = true;
  }
}

// The link is lost: the box takes nothing more and sends nothing more.
void BoxLink::DropLink() {
  dropped_ = true;
  receipt_.link_dropped = true;
  if (cable_) cable_->Status(now_, StatusLines());
  protocol_.LinkDropped();
  sending_ = false;
}

// --- reverse: bytes to the host ------------------------------------------------------
// Each byte sent is one reverse cycle, events 43-46 (PeriphClk and HostAck), likewise the
// hardware's: here, a byte pushed into the chip's FIFO.

void BoxLink::FillFifo() {
  if (phase_ != Phase::Reverse || chip_->mode() != kEcrModeEcp || !chip_->reverse() || dropped_) {
    return;
  }
  while (chip_->fifo_level() < EcpChip::kFifoDepth && protocol_.HasByteToSend()) {
    if (options_.drop_select_at_sent && receipt_.bytes_sent == *options_.drop_select_at_sent) {
      DropLink();
      return;
    }
    if (Pausing()) return;
    const std::uint8_t byte = protocol_.NextByteToSend();
    chip_->Push(byte);
    if (cable_) cable_->ReverseByte(now_, byte);
    ++receipt_.bytes_sent;
  }
}

// data-pause-at: the next byte waits data-pause-ms, counted from when it was first ready to go
// (the host listening, room in the FIFO).
bool BoxLink::Pausing() {
  if (!options_.data_pause_at || receipt_.bytes_sent != *options_.data_pause_at) return false;
  if (!pause_begun_) {
    pause_begun_ = true;
    pause_ends_ = now_ + std::int64_t{options_.data_pause_ms} * 1000;
  }
  return now_ < pause_ends_;
}

}  // namespace m4410
