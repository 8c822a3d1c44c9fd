#include "sim/box_peer.h"

#include <algorithm>
#include <limits>

#include "port/parport_bits.h"
#include "sim/cable_trace.h"

namespace m4410 {

namespace {

// The box's answers, as the PC reads them in the status register.
constexpr std::uint8_t kCompatibilityIdle =  // 0xD8: Busy low, nAck, Select and nFault high
    kStatusNotBusy | kStatusNAck | kStatusSelect | kStatusNFault;
constexpr std::uint8_t kNegotiationAnswer =  // 0xB8: nAck low, PError high, Select high
    kStatusNotBusy | kStatusPError | kStatusSelect | kStatusNFault;
constexpr std::uint8_t kEcpConfirmed =  // 0x98: Busy low, Select high, PError low
    kStatusNotBusy | kStatusSelect | kStatusNFault;
constexpr std::uint8_t kModeRefused = kStatusNotBusy | kStatusNFault;  // 0x88: Select low
constexpr std::uint8_t kForwardIdle = kCompatibilityIdle | kStatusPError;  // 0xF8
constexpr std::uint8_t kReverseIdle = kCompatibilityIdle;                  // 0xD8: PError low
constexpr std::uint8_t kTerminationAnswer =  // 0x28: Busy high, nAck low, Select low
    kStatusPError | kStatusNFault;

constexpr std::uint32_t kHeaderKind = 1;
constexpr std::uint32_t kImageTag = 0x40200000;

constexpr std::int64_t kByteCost = 1'000'000;  // rate budget is in byte x us / s units
constexpr std::int64_t kMaxRateStepUs = 10'000'000;
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
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

void PutWord(std::array<std::uint8_t, 12>* record, int index, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    (*record)[static_cast<std::size_t>(index * 4 + i)] =
        static_cast<std::uint8_t>(value >> (24 - 8 * i));
  }
}

}  // namespace

BoxPeer::BoxPeer(const SimOptions& options, VirtualClock* clock, EcpChip* chip)
    : options_(options), clock_(clock), chip_(chip) {}

BoxReceipt BoxPeer::Receipt() const {
  BoxReceipt receipt = receipt_;
  receipt.image_crc32 = crc_.Value();
  return receipt;
}

std::uint8_t BoxPeer::StatusLines() {
  return dropped_ ? static_cast<std::uint8_t>(status_ & ~kStatusSelect) : status_;
}

void BoxPeer::NewSession(std::int64_t now) {
  phase_ = Phase::Compatibility;
  status_ = kCompatibilityIdle;
  event_head_ = event_count_ = 0;
  last_event_at_ = 0;
  sending_ = false;
  latched_ = 0;
  dropped_ = stalled_ = false;
  parse_ = Parse::Header;
  header_pos_ = 0;
  image_length_ = 0;
  crc_.Reset();
  closing_due_ = kNever;
  opening_due_ = kNever;
  chunk_head_ = chunk_count_ = 0;
  budget_ = 0;
  rate_time_ = now;
  data_written_at_ = strobed_at_ = kLongAgo;
  receipt_ = BoxReceipt{};
  if (cable_) cable_->Status(now, StatusLines());
}

void BoxPeer::Tick(std::int64_t now) {
  now_ = now;
  while (event_count_ > 0 && events_[event_head_].at <= now_) FireOldest();
  TakeFromFifo();
  if (now_ >= opening_due_) QueueOpening();
  if (now_ >= closing_due_) QueueClosing();
  if (sending_) FillFifo();
}

// --- the box's answers ---------------------------------------------------------------

// Answers come in the order the steps were made, each at least latency-us after its step
// and late_ms more where that answer's own key asks for it.
std::int64_t BoxPeer::Answer(std::uint8_t status, std::uint32_t late_ms, std::int64_t not_before,
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

void BoxPeer::FireOldest() {
  const Event& event = events_[event_head_];
  status_ = event.status;
  if (cable_) cable_->Status(event.at, StatusLines());
  // An acknowledgement that comes after the host has already withdrawn its request starts
  // nothing.
  if (event.action == Action::StartSending && phase_ == Phase::Reverse) sending_ = true;
  event_head_ = (event_head_ + 1) % kMaxEvents;
  --event_count_;
}

bool BoxPeer::IsRequest(std::uint8_t control) {
  return (control & (kControlSelectIn | kControlAutoFd | kControlStrobe)) == kControlAutoFd;
}

// The host has given up (or finished): what the box was still about to say belongs to the
// exchange just ended, so it is dropped rather than heard as the answer to the next one.
void BoxPeer::BackToCompatibility() {
  phase_ = Phase::Compatibility;
  event_head_ = event_count_ = 0;
  last_event_at_ = now_;
  Answer(kCompatibilityIdle);
}

void BoxPeer::Fault(HostFault kind) { ++receipt_.host_faults[static_cast<std::size_t>(kind)]; }

// The data lines turn only in forward idle (event 38, before the request of event 39) and turn
// back only once the box has let go of them (event 49 answered).
void BoxPeer::CheckTurn(std::uint8_t old, std::uint8_t value) {
  const bool was_reverse = old & kControlReverse;
  const bool now_reverse = value & kControlReverse;
  if (was_reverse == now_reverse) return;
  const bool ready = now_reverse ? phase_ == Phase::Forward
                                 : !(phase_ == Phase::Reverse ||
                                     (phase_ == Phase::Forward && event_count_ > 0));
  if (!ready) Fault(HostFault::TurnOutOfPhase);
}

void BoxPeer::ControlWritten(std::uint8_t old, std::uint8_t value) {
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
        const std::uint32_t first = options_.answer_on_attempt;
        if (first != 0 && receipt_.negotiation_attempts >= first) {
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
        opening_due_ = now_ + std::int64_t{options_.opening_ms} * 1000;
        if (now_ >= opening_due_) QueueOpening();
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
        phase_ = Phase::Forward;
        // events 48 and 49: Busy low and nAck high already, then PError high
        Answer(kForwardIdle, options_.forward_ack_ms);
      } else if (termination) {
        // The host must take the link forward before it terminates.
        Fault(HostFault::TerminationOutOfPhase);
        sending_ = false;
        Terminate();
      }
      break;
    case Phase::Terminating:
      if (autofd_low) {  // event 24
        phase_ = Phase::TermAcked;
        Answer(kTerminationAnswer | kStatusNAck, options_.terminate_ack_ms);  // event 25
      }
      break;
    case Phase::TermAcked:
      if (!autofd_low) {  // event 26, then the box's event 27/28: compatibility idle
        BackToCompatibility();
        receipt_.terminated = true;
      }
      break;
  }
}

void BoxPeer::Confirm() {
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

void BoxPeer::Terminate() {
  if (!options_.terminate) return;
  phase_ = Phase::Terminating;
  Answer(kTerminationAnswer, options_.terminate_ms);  // event 23
}

// --- forward: bytes from the host ----------------------------------------------------

bool BoxPeer::Taking() const {
  return phase_ == Phase::Forward && event_count_ == 0 && chip_->mode() == kEcrModeEcp &&
         !chip_->reverse() && !dropped_ && !stalled_;
}

void BoxPeer::TakeFromFifo() {
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
void BoxPeer::SkipToNextTake() {
  ++polls_since_write_;
  if (!clock_ || options_.rate == 0 || chip_->fifo_level() == 0 || !Taking()) return;
  if (chip_->fifo_level() < EcpChip::kFifoDepth && polls_since_write_ < 2) return;
  const std::int64_t missing = kByteCost - budget_;
  if (missing <= 0) return;
  const std::int64_t due = rate_time_ + (missing + options_.rate - 1) / options_.rate;
  const std::int64_t until = std::min(due, closing_due_) - 2;
  if (until > now_) clock_->Advance(until - now_);
}

void BoxPeer::TakeByte(std::uint8_t byte, std::int64_t taken_at) {
  if (cable_) cable_->ForwardByte(taken_at, byte);
  switch (parse_) {
    case Parse::Header:
      header_[header_pos_++] = byte;
      if (header_pos_ == header_.size()) HeaderArrived();
      break;
    case Parse::Image:
      crc_.Update(byte);
      ++receipt_.image_bytes;
      if (receipt_.image_bytes == image_length_) ImageArrived(taken_at);
      CheckLimits();
      break;
    case Parse::Done:
    case Parse::Refused:
      ++receipt_.stray_bytes;
      break;
  }
}

void BoxPeer::HeaderArrived() {
  for (std::size_t w = 0; w < 3; ++w) {
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < 4; ++i) word = word << 8 | header_[w * 4 + i];
    receipt_.header_words[w] = word;
  }
  receipt_.header_seen = true;
  receipt_.header_ok =
      receipt_.header_words[0] == kHeaderKind && receipt_.header_words[1] == kImageTag;
  if (!receipt_.header_ok) {
    parse_ = Parse::Refused;
    return;
  }
  parse_ = Parse::Image;
  image_length_ = receipt_.header_words[2];
  if (image_length_ == 0) ImageArrived(now_);
  CheckLimits();
}

void BoxPeer::ImageArrived(std::int64_t at) {
  parse_ = Parse::Done;
  receipt_.image_complete = true;
  if (options_.closing) closing_due_ = at + std::int64_t{options_.update_ms} * 1000;
  // ready-ms: busy with the image, the box holds PError low and will not turn round yet.
  if (options_.ready_ms > 0) {
    status_ = static_cast<std::uint8_t>(status_ & ~kStatusPError);
    if (cable_) cable_->Status(at, StatusLines());
    Answer(kForwardIdle, 0, at + std::int64_t{options_.ready_ms} * 1000);
  }
}

void BoxPeer::CheckLimits() {
  if (options_.drop_select_at && receipt_.image_bytes == *options_.drop_select_at) DropLink();
  if (options_.stall_at && receipt_.image_bytes == *options_.stall_at) {
    stalled_ = true;
    receipt_.stalled = true;
  }
}

// The link is lost: the box takes nothing more and sends nothing more.
void BoxPeer::DropLink() {
  dropped_ = true;
  receipt_.link_dropped = true;
  if (cable_) cable_->Status(now_, StatusLines());
  closing_due_ = kNever;
  sending_ = false;
}

// --- reverse: bytes to the host ------------------------------------------------------

void BoxPeer::Queue(const Chunk& chunk) {
  if (chunk_count_ == kMaxChunks || chunk.length == 0) return;
  chunks_[(chunk_head_ + chunk_count_) % kMaxChunks] = chunk;
  ++chunk_count_;
}

void BoxPeer::QueueOpening() {
  opening_due_ = kNever;
  if (!options_.opening || receipt_.opening_queued) return;
  Chunk record;
  PutWord(&record.record, 0, SimulatedBox::kModelWord);
  PutWord(&record.record, 1, SimulatedBox::kFirmwareWord);
  PutWord(&record.record, 2, options_.box_data);
  record.length = 12;
  Queue(record);
  Chunk data;
  data.generated = true;
  data.length = options_.box_data;
  Queue(data);
  receipt_.opening_queued = true;
  receipt_.box_data_queued = options_.box_data;
}

void BoxPeer::QueueClosing() {
  closing_due_ = kNever;
  Chunk record;
  PutWord(&record.record, 0, SimulatedBox::kModelWord);
  PutWord(&record.record, 1, crc_.Value());
  PutWord(&record.record, 2, static_cast<std::uint32_t>(receipt_.image_bytes));
  record.length = 12;
  Queue(record);
  receipt_.closing_queued = true;
}

void BoxPeer::FillFifo() {
  if (phase_ != Phase::Reverse || chip_->mode() != kEcrModeEcp || !chip_->reverse() || dropped_) {
    return;
  }
  while (chip_->fifo_level() < EcpChip::kFifoDepth && chunk_count_ > 0) {
    Chunk& chunk = chunks_[chunk_head_];
    if (chunk.pos == chunk.length) {
      chunk_head_ = (chunk_head_ + 1) % kMaxChunks;
      --chunk_count_;
      continue;
    }
    const std::uint8_t byte =
        chunk.generated ? static_cast<std::uint8_t>(chunk.pos % 251) : chunk.record[chunk.pos];
    if (options_.drop_select_at_sent && receipt_.bytes_sent == *options_.drop_select_at_sent) {
      DropLink();
      return;
    }
    ++chunk.pos;
    chip_->Push(byte);
    if (cable_) cable_->ReverseByte(now_, byte);
    ++receipt_.bytes_sent;
  }
}

}  // namespace m4410
