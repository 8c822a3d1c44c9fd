#include "sim/simulated_box.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <mutex>

#include "port/port_driver.h"
#include "sim/crc32.h"

namespace m4410 {

namespace {

// Status lines as the PC reads them (bit 7 is inverted Busy).
constexpr std::uint8_t kCompatibilityIdle = 0xD8;
constexpr std::uint8_t kNegotiationAnswer = 0xB8;  // nAck low, PError high, Select high
constexpr std::uint8_t kEcpConfirmed = 0x98;       // Busy low, Select high, PError low
constexpr std::uint8_t kModeRefused = 0x88;        // as confirmed, but Select low
constexpr std::uint8_t kForwardIdle = 0xF8;        // PError high
constexpr std::uint8_t kReverseIdle = 0xD8;        // PError low
constexpr std::uint8_t kTerminationAnswer = 0x28;  // Busy high, nAck low, Select low
constexpr std::uint8_t kNackHigh = 0x40;
constexpr std::uint8_t kPError = 0x20;
constexpr std::uint8_t kSelect = 0x10;

// Control bits as written by the PC.
constexpr std::uint8_t kStrobeLow = 0x01;
constexpr std::uint8_t kAutoFdLow = 0x02;
constexpr std::uint8_t kInitHigh = 0x04;
constexpr std::uint8_t kSelectInLow = 0x08;
constexpr std::uint8_t kReverse = 0x20;

constexpr unsigned kModeEcp = 3;      // ECR bits 7-5 = 011
constexpr unsigned kModeConfig = 7;   // 111
constexpr std::uint8_t kConfigA = 0x10;  // an 8-bit implementation
constexpr std::uint8_t kEcpRequestByte = 0x10;
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

class SimulatedBoxState {
 public:
  SimulatedBoxState(const SimOptions& options, VirtualClock* clock)
      : options_(options), clock_(clock) {
    NewSession();
  }

  const SimOptions& options() const { return options_; }

  // --- claim ---------------------------------------------------------------------------

  bool TryClaim(const void* holder) {
    std::lock_guard lock(mutex_);
    if (holder_ == holder) return true;
    if (holder_) return false;
    holder_ = holder;
    NewSession();
    return true;
  }

  void Release(const void* holder) {
    std::lock_guard lock(mutex_);
    if (holder_ == holder) holder_ = nullptr;
  }

  // --- register access -----------------------------------------------------------------

  std::uint8_t Read(const void* holder, PortRange range, unsigned offset) {
    std::lock_guard lock(mutex_);
    if (holder_ != holder) return 0xFF;  // an unclaimed port answers nothing
    Tick();
    if (range == PortRange::Standard) {
      switch (offset) {
        case 0: return data_;
        case 1: return dropped_ ? static_cast<std::uint8_t>(status_ & ~kSelect) : status_;
        case 2: return control_;
        default: return 0xFF;
      }
    }
    if (!options_.ecp) return 0xFF;  // ecp=no: the port's extended range floats
    switch (offset) {
      case 0:
        if (Mode() == kModeEcp) return HostReadsFifo();
        if (Mode() == kModeConfig) return kConfigA;
        return 0xFF;
      case 1: return Mode() == kModeConfig ? config_b_ : 0xFF;
      case 2:
        SkipToNextTake();
        return ReadEcr();
      default: return 0xFF;
    }
  }

  void Write(const void* holder, PortRange range, unsigned offset, std::uint8_t value) {
    std::lock_guard lock(mutex_);
    if (holder_ != holder) return;
    Tick();
    if (range == PortRange::Standard) {
      if (offset == 0) {
        data_ = value;
        data_written_at_ = now_;
      } else if (offset == 2) {
        const std::uint8_t old = control_;
        control_ = value;
        OnControl(old, value);
      }
      return;
    }
    if (!options_.ecp) return;
    switch (offset) {
      case 0:
        if (Mode() == kModeEcp) HostWritesFifo(value);
        break;  // configuration register A is read-only
      case 1:
        if (Mode() == kModeConfig) config_b_ = value;
        break;
      case 2: WriteEcr(value); break;
      default: break;
    }
  }

  // --- observation ---------------------------------------------------------------------

  BoxReceipt Receipt() const {
    std::lock_guard lock(mutex_);
    BoxReceipt receipt = receipt_;
    receipt.image_crc32 = crc_.Value();
    return receipt;
  }
  std::uint8_t LastData() const {
    std::lock_guard lock(mutex_);
    return data_;
  }
  std::uint8_t ConfigB() const {
    std::lock_guard lock(mutex_);
    return config_b_;
  }
  std::size_t FifoLevel() const {
    std::lock_guard lock(mutex_);
    return fifo_count_;
  }

 private:
  enum class Phase {
    Compatibility,
    Requested,    // negotiation request answered, waiting for the strobe
    Strobed,      // extensibility byte latched, waiting for nStrobe and nAutoFd high
    Unconfirmed,  // confirm=no: said nothing after the strobe
    Refused,      // the byte asked for a mode the box does not do
    Confirmed,    // ECP mode, waiting for the setup phase
    Setup,        // setup answered (or not: setup=no), waiting for nAutoFd high
    Forward,
    Reverse,
    Terminating,  // termination answered, waiting for nAutoFd low
    TermAcked,    // nAck raised, waiting for nAutoFd high
  };
  enum class Action : std::uint8_t { None, StartSending };
  enum class Parse { Header, Image, Done, Refused };

  struct Event {
    std::int64_t at = 0;
    std::uint8_t status = 0;
    Action action = Action::None;
  };
  struct Chunk {
    std::array<std::uint8_t, 12> record{};
    std::uint32_t length = 0;
    std::uint32_t pos = 0;
    bool generated = false;  // box data: byte i is i mod 251
  };

  static constexpr std::size_t kMaxEvents = 8;
  static constexpr std::size_t kMaxChunks = 4;

  void NewSession() {
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
    rate_time_ = Now();
    data_written_at_ = strobed_at_ = kLongAgo;
    receipt_ = BoxReceipt{};
  }

  std::int64_t Now() {
    if (clock_) {
      // Every access takes a microsecond of simulated time, and bus-ns more: a real bus's
      // cost, kept to the nanosecond across accesses.
      bus_debt_ns_ += options_.bus_ns;
      clock_->Advance(1 + bus_debt_ns_ / 1000);
      bus_debt_ns_ %= 1000;
      return clock_->PeekMicros();
    }
    if (options_.bus_ns > 0) SpendBusTime();
    // The host's monotonic clock counts from the same origin, so the box sees the host's
    // millisecond boundaries where the host sees them.
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  // On the real clock an access takes bus-ns of real time, as an I/O instruction to a real
  // port stalls the processor; spun, since a sleep is far coarser.
  void SpendBusTime() const {
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::nanoseconds(options_.bus_ns);
    while (std::chrono::steady_clock::now() < until) {
    }
  }

  // Everything that happens by itself between two accesses: answers falling due, the
  // closing record after the update, the FIFO draining or filling.
  void Tick() {
    now_ = Now();
    while (event_count_ > 0 && events_[event_head_].at <= now_) FireOldest();
    TakeFromFifo();
    if (now_ >= opening_due_) QueueOpening();
    if (now_ >= closing_due_) QueueClosing();
    if (sending_) FillFifo();
  }

  // --- the box's answers ---------------------------------------------------------------

  // Answers come in the order the steps were made, each at least latency-us after its step
  // and late_ms more where that answer's own key asks for it.
  std::int64_t Answer(std::uint8_t status, std::uint32_t late_ms = 0, std::int64_t not_before = 0,
                      Action action = Action::None) {
    if (event_count_ == kMaxEvents) FireOldest();
    const std::int64_t at = std::max(
        {now_ + static_cast<std::int64_t>(options_.latency_us) + std::int64_t{late_ms} * 1000,
         not_before, last_event_at_});
    events_[(event_head_ + event_count_) % kMaxEvents] = Event{at, status, action};
    ++event_count_;
    last_event_at_ = at;
    return at;
  }

  void FireOldest() {
    const Event& event = events_[event_head_];
    status_ = event.status;
    // An acknowledgement that comes after the host has already withdrawn its request starts
    // nothing.
    if (event.action == Action::StartSending && phase_ == Phase::Reverse) sending_ = true;
    event_head_ = (event_head_ + 1) % kMaxEvents;
    --event_count_;
  }

  static bool IsRequest(std::uint8_t control) {
    return (control & (kSelectInLow | kAutoFdLow | kStrobeLow)) == kAutoFdLow;
  }

  // The host has given up (or finished): what the box was still about to say belongs to the
  // exchange just ended, so it is dropped rather than heard as the answer to the next one.
  void BackToCompatibility() {
    phase_ = Phase::Compatibility;
    event_head_ = event_count_ = 0;
    last_event_at_ = now_;
    Answer(kCompatibilityIdle);
  }

  void Fault(HostFault kind) { ++receipt_.host_faults[static_cast<std::size_t>(kind)]; }

  // The data lines turn only in forward idle (event 38 needs them as inputs first) and turn
  // back only once the box has let go of them (event 49 answered).
  void CheckTurn(std::uint8_t old, std::uint8_t value) {
    const bool was_reverse = old & kReverse;
    const bool now_reverse = value & kReverse;
    if (was_reverse == now_reverse) return;
    const bool ready = now_reverse ? phase_ == Phase::Forward
                                   : !(phase_ == Phase::Reverse ||
                                       (phase_ == Phase::Forward && event_count_ > 0));
    if (!ready) Fault(HostFault::TurnOutOfPhase);
  }

  void OnControl(std::uint8_t old, std::uint8_t value) {
    const bool strobe_low = value & kStrobeLow;
    const bool autofd_low = value & kAutoFdLow;
    const bool init_low = !(value & kInitHigh);
    const bool init_fell = init_low && (old & kInitHigh);
    const bool selectin_low = value & kSelectInLow;
    const bool termination = selectin_low && !autofd_low;

    CheckTurn(old, value);
    // Event 38, the reverse request, belongs to forward idle with the data lines turned.
    if (init_fell && !(phase_ == Phase::Forward && (value & kReverse))) {
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
          latched_ = data_;
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
        } else if (init_low && (value & kReverse)) {  // event 38
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
          // event 49: Busy low and nAck high already, then PError high
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
          Answer(kTerminationAnswer | kNackHigh, options_.terminate_ack_ms);  // event 25
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

  void Confirm() {
    receipt_.extensibility_byte = latched_;
    const std::int64_t nack_delay = std::int64_t{options_.nack_delay_ms} * 1000;
    if (latched_ != kEcpRequestByte) {
      phase_ = Phase::Refused;
      const std::int64_t at = Answer(kModeRefused, options_.confirm_ms);
      Answer(kModeRefused | kNackHigh, 0, at + nack_delay);
      return;
    }
    if (!options_.confirm) {
      phase_ = Phase::Unconfirmed;
      return;
    }
    phase_ = Phase::Confirmed;
    receipt_.terminated = false;
    const std::int64_t at = Answer(kEcpConfirmed, options_.confirm_ms);  // event 5
    Answer(kEcpConfirmed | kNackHigh, 0, at + nack_delay);                  // event 6
  }

  void Terminate() {
    if (!options_.terminate) return;
    phase_ = Phase::Terminating;
    Answer(kTerminationAnswer, options_.terminate_ms);  // event 23
  }

  // --- the port chip -------------------------------------------------------------------

  unsigned Mode() const { return ecr_ >> 5; }

  std::uint8_t ReadEcr() const {
    std::uint8_t value = ecr_;
    if (fifo_count_ == SimulatedBox::kFifoDepth) value |= 0x02;
    if (fifo_count_ == 0) value |= 0x01;
    return value;
  }

  void WriteEcr(std::uint8_t value) {
    const unsigned old_mode = Mode();
    ecr_ = value & 0xFC;  // the full and empty bits are the chip's own
    if (old_mode == kModeEcp && Mode() != kModeEcp) {
      receipt_.fifo_bytes_discarded += fifo_count_;
      fifo_head_ = fifo_count_ = 0;
    }
  }

  void PushFifo(std::uint8_t value) {
    fifo_[(fifo_head_ + fifo_count_) % SimulatedBox::kFifoDepth] = value;
    ++fifo_count_;
  }

  // The chip moves FIFO bytes only in the direction the port faces: a read while forward
  // finds the data lines driven by nobody, a write while reverse goes nowhere.
  std::uint8_t HostReadsFifo() {
    if (!(control_ & kReverse)) {
      Fault(HostFault::FifoReadWhileForward);
      return 0xFF;
    }
    if (fifo_count_ == 0) {
      Fault(HostFault::FifoUnderrun);
      return 0xFF;
    }
    return PopFifo();
  }

  void HostWritesFifo(std::uint8_t value) {
    polls_since_write_ = 0;
    if (control_ & kReverse) {
      Fault(HostFault::FifoWriteWhileReverse);
      return;
    }
    if (fifo_count_ == SimulatedBox::kFifoDepth) {
      Fault(HostFault::FifoOverrun);
      return;
    }
    PushFifo(value);
  }

  std::uint8_t PopFifo() {
    const std::uint8_t value = fifo_[fifo_head_];
    fifo_head_ = (fifo_head_ + 1) % SimulatedBox::kFifoDepth;
    --fifo_count_;
    return value;
  }

  // --- forward: bytes from the host ----------------------------------------------------

  bool Taking() const {
    return phase_ == Phase::Forward && event_count_ == 0 && Mode() == kModeEcp &&
           !(control_ & kReverse) && !dropped_ && !stalled_;
  }

  void TakeFromFifo() {
    if (!Taking()) {
      rate_time_ = now_;
      budget_ = 0;
      return;
    }
    if (options_.rate == 0) {
      while (fifo_count_ > 0 && !dropped_ && !stalled_) TakeByte(PopFifo(), now_);
      return;
    }
    const std::int64_t elapsed = std::clamp<std::int64_t>(now_ - rate_time_, 0, kMaxRateStepUs);
    rate_time_ = now_;
    budget_ += elapsed * options_.rate;
    while (fifo_count_ > 0 && budget_ >= kByteCost && !dropped_ && !stalled_) {
      budget_ -= kByteCost;
      // The byte was due when the budget last covered it, which may lie well before this
      // access (the host pauses without touching the port).
      TakeByte(PopFifo(), now_ - budget_ / options_.rate);
    }
    // An idle box is ready for the next byte, but saves up no more than that.
    if (fifo_count_ == 0) budget_ = std::min(budget_, kByteCost);
  }

  // On the virtual clock a host waiting on a FIFO that only the box's rate can move would
  // spin through every microsecond of a slow byte. Move time on to just before the box
  // takes its next byte: the host's next clock reading sees the time that has passed, and
  // its next poll sees the byte gone, in that order, so its bounds still hold.
  // A host that is writing polls once per byte; one that polls twice with no write between
  // is waiting, as is one facing a full FIFO.
  void SkipToNextTake() {
    ++polls_since_write_;
    if (!clock_ || options_.rate == 0 || fifo_count_ == 0 || !Taking()) return;
    if (fifo_count_ < SimulatedBox::kFifoDepth && polls_since_write_ < 2) return;
    const std::int64_t missing = kByteCost - budget_;
    if (missing <= 0) return;
    const std::int64_t due = rate_time_ + (missing + options_.rate - 1) / options_.rate;
    const std::int64_t until = std::min(due, closing_due_) - 2;
    if (until > now_) clock_->Advance(until - now_);
  }

  void TakeByte(std::uint8_t byte, std::int64_t taken_at) {
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

  void HeaderArrived() {
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

  void ImageArrived(std::int64_t at) {
    parse_ = Parse::Done;
    receipt_.image_complete = true;
    if (options_.closing) closing_due_ = at + std::int64_t{options_.update_ms} * 1000;
    // ready-ms: busy with the image, the box holds PError low and will not turn round yet.
    if (options_.ready_ms > 0) {
      status_ = static_cast<std::uint8_t>(status_ & ~kPError);
      Answer(kForwardIdle, 0, at + std::int64_t{options_.ready_ms} * 1000);
    }
  }

  void CheckLimits() {
    if (options_.drop_select_at && receipt_.image_bytes == *options_.drop_select_at) DropLink();
    if (options_.stall_at && receipt_.image_bytes == *options_.stall_at) {
      stalled_ = true;
      receipt_.stalled = true;
    }
  }

  // The link is lost: the box takes nothing more and sends nothing more.
  void DropLink() {
    dropped_ = true;
    receipt_.link_dropped = true;
    closing_due_ = kNever;
    sending_ = false;
  }

  // --- reverse: bytes to the host ------------------------------------------------------

  void Queue(const Chunk& chunk) {
    if (chunk_count_ == kMaxChunks || chunk.length == 0) return;
    chunks_[(chunk_head_ + chunk_count_) % kMaxChunks] = chunk;
    ++chunk_count_;
  }

  void QueueOpening() {
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

  void QueueClosing() {
    closing_due_ = kNever;
    Chunk record;
    PutWord(&record.record, 0, SimulatedBox::kModelWord);
    PutWord(&record.record, 1, crc_.Value());
    PutWord(&record.record, 2, static_cast<std::uint32_t>(receipt_.image_bytes));
    record.length = 12;
    Queue(record);
    receipt_.closing_queued = true;
  }

  void FillFifo() {
    if (phase_ != Phase::Reverse || Mode() != kModeEcp || !(control_ & kReverse) || dropped_) {
      return;
    }
    while (fifo_count_ < SimulatedBox::kFifoDepth && chunk_count_ > 0) {
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
      PushFifo(byte);
      ++receipt_.bytes_sent;
    }
  }

  const SimOptions options_;
  VirtualClock* const clock_;
  mutable std::mutex mutex_;
  const void* holder_ = nullptr;
  std::int64_t now_ = 0;
  std::int64_t bus_debt_ns_ = 0;  // bus time owed on the virtual clock, under a microsecond

  // The port chip. Power-on: compatibility lines, ECR reading 0x15.
  std::uint8_t data_ = 0;
  std::uint8_t control_ = 0x0C;
  std::uint8_t ecr_ = 0x14;
  std::uint8_t config_b_ = 0;
  std::array<std::uint8_t, SimulatedBox::kFifoDepth> fifo_{};
  std::size_t fifo_head_ = 0;
  std::size_t fifo_count_ = 0;

  // The box's link side.
  Phase phase_ = Phase::Compatibility;
  std::uint8_t status_ = kCompatibilityIdle;
  std::array<Event, kMaxEvents> events_{};
  std::size_t event_head_ = 0;
  std::size_t event_count_ = 0;
  std::int64_t last_event_at_ = 0;
  std::uint8_t latched_ = 0;
  std::int64_t data_written_at_ = kLongAgo;  // event 0: the extensibility byte set up
  std::int64_t strobed_at_ = kLongAgo;       // event 3
  bool sending_ = false;
  bool dropped_ = false;
  bool stalled_ = false;

  // The box's protocol side.
  Parse parse_ = Parse::Header;
  std::array<std::uint8_t, 12> header_{};
  std::size_t header_pos_ = 0;
  std::uint32_t image_length_ = 0;
  Crc32 crc_;
  std::int64_t closing_due_ = kNever;
  std::int64_t opening_due_ = kNever;  // opening-ms after the link is up
  std::array<Chunk, kMaxChunks> chunks_{};
  std::size_t chunk_head_ = 0;
  std::size_t chunk_count_ = 0;
  std::int64_t budget_ = 0;
  int polls_since_write_ = 0;  // ECR reads since the host last wrote the FIFO
  std::int64_t rate_time_ = 0;

  BoxReceipt receipt_;
};

namespace {

class SimulatedPortAccess final : public PortAccess {
 public:
  explicit SimulatedPortAccess(std::shared_ptr<SimulatedBoxState> box) : box_(std::move(box)) {}
  ~SimulatedPortAccess() override { box_->Release(this); }

  ClaimOutcome Claim() override {
    if (box_->TryClaim(this)) return ClaimOutcome::Claimed;
    SetPortErrorText("the simulated port is already claimed by another run\n");
    return ClaimOutcome::Refused;
  }
  void Release() override { box_->Release(this); }
  std::uint8_t Read(PortRange range, unsigned offset) override {
    return box_->Read(this, range, offset);
  }
  void Write(PortRange range, unsigned offset, std::uint8_t value) override {
    box_->Write(this, range, offset, value);
  }

 private:
  std::shared_ptr<SimulatedBoxState> box_;
};

}  // namespace

SimulatedBox::SimulatedBox(const SimOptions& options, VirtualClock* clock)
    : state_(std::make_shared<SimulatedBoxState>(options, clock)) {}

SimulatedBox::~SimulatedBox() = default;

PortAccessFactory SimulatedBox::Factory() const {
  return [box = state_]() -> std::unique_ptr<PortAccess> {
    return std::make_unique<SimulatedPortAccess>(box);
  };
}

std::unique_ptr<PortAccess> SimulatedBox::MakeAccess() const {
  return std::make_unique<SimulatedPortAccess>(state_);
}

const SimOptions& SimulatedBox::Options() const { return state_->options(); }
BoxReceipt SimulatedBox::Receipt() const { return state_->Receipt(); }
std::uint8_t SimulatedBox::LastData() const { return state_->LastData(); }
std::uint8_t SimulatedBox::ConfigB() const { return state_->ConfigB(); }
std::size_t SimulatedBox::FifoLevel() const { return state_->FifoLevel(); }

std::uint64_t BoxReceipt::all_faults() const {
  std::uint64_t total = 0;
  for (const std::uint64_t count : host_faults) total += count;
  return total;
}

std::string HostFaultSummary(const BoxReceipt& receipt) {
  static constexpr const char* kNames[kHostFaultKinds] = {
      "fifo read while forward", "fifo write while reverse", "fifo overrun", "fifo underrun",
      "turn out of phase",       "termination out of phase", "short pause"};
  std::string text;
  for (std::size_t kind = 0; kind < kHostFaultKinds; ++kind) {
    if (receipt.host_faults[kind] == 0) continue;
    if (!text.empty()) text += ", ";
    text += std::to_string(receipt.host_faults[kind]) + " " + kNames[kind];
  }
  return text.empty() ? "none" : text;
}

}  // namespace m4410
