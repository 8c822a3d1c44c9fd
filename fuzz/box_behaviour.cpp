#include "box_behaviour.h"

#include <algorithm>

namespace m4410::fuzz {

namespace {

class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Next() { return pos_ < size_ ? data_[pos_++] : (++pos_, 0); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Values on both sides of a limit, and some plain ones: at the limit give or take the host's
// clock, well past it, anywhere below it.
std::uint32_t DecodeDelay(std::uint32_t limit, Bytes* in) {
  const std::uint8_t kind = in->Next();
  const std::uint32_t fine = in->Next();
  std::uint64_t ms = 0;
  switch (kind % 8) {
    case 0: ms = 0; break;
    case 1: ms = fine; break;
    case 2: ms = limit > 1 + fine % 8 ? limit - 1 - fine % 8 : 0; break;
    case 3: ms = limit + fine % 8; break;
    case 4: ms = std::uint64_t{limit} * (2 + fine % 9); break;
    case 5: ms = std::uint64_t{limit} * fine / 256; break;
    case 6: ms = fine * 100u; break;
    case 7: ms = limit + fine % 11 > 5 ? limit + fine % 11 - 5 : 0; break;
  }
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(ms, kMaxAnswerMs));
}

// never, a position within `span` (where the bytes are), or the fine byte itself.
std::optional<std::uint32_t> DecodePosition(std::uint32_t span, Bytes* in) {
  const std::uint8_t kind = in->Next();
  const std::uint32_t fine = in->Next();
  switch (kind % 4) {
    case 1: return fine % span;
    case 2: return fine;
    default: return std::nullopt;
  }
}

}  // namespace

BoxBehaviour DecodeBoxBehaviour(const std::uint8_t* data, std::size_t size) {
  static constexpr std::uint32_t kRates[] = {2000000, 0, 1000, 100, 10, 4, 2, 1};
  static constexpr std::uint32_t kLatenciesUs[] = {100, 0, 1000, 10000, 30000, 36000, 50000, 1};
  Bytes in(data, size);
  BoxBehaviour b;
  SimOptions& o = b.sim;
  o.clock = SimClock::Virtual;

  const std::uint8_t withheld = in.Next();
  o.confirm = !(withheld & 1);
  o.setup = !(withheld & 2);
  o.reverse = !(withheld & 4);
  o.opening = !(withheld & 8);
  o.closing = !(withheld & 16);
  o.terminate = !(withheld & 32);
  o.ecp = !(withheld & 64);
  static constexpr std::uint32_t kAttempts[] = {1, 2, 3, 4, 0};
  o.answer_on_attempt = kAttempts[in.Next() % 5];
  const std::uint8_t circumstance = in.Next();
  b.circumstance = circumstance == 1   ? Circumstance::ClaimRefused
                   : circumstance == 2 ? Circumstance::FileMissing
                                       : Circumstance::None;
  const std::uint8_t lower = in.Next();
  b.lower = static_cast<KeepGoingDrop>(lower % 7);
  b.lower_at_access = std::uint32_t{in.Next()} << 8;
  b.lower_at_access |= in.Next();
  b.image_size = (in.Next() + 53u) % 97;  // 53 (three bursts and a remainder) at 0
  o.box_data = in.Next();
  o.rate = kRates[in.Next() % 8];
  o.latency_us = kLatenciesUs[in.Next() % 8];

  o.negotiate_ms = DecodeDelay(limits::kAnswer, &in);
  o.confirm_ms = DecodeDelay(limits::kAnswer, &in);
  o.nack_delay_ms =
      std::min(DecodeDelay(limits::kNackRise + limits::kAnswer, &in), kMaxNackDelayMs);
  o.setup_ms = DecodeDelay(limits::kAnswer, &in);
  o.opening_ms = DecodeDelay(limits::kByte, &in);
  o.reverse_ack_ms = DecodeDelay(limits::kAnswer, &in);
  o.forward_ack_ms = DecodeDelay(limits::kAnswer, &in);
  o.ready_ms = DecodeDelay(limits::kAfterImage, &in);
  o.update_ms = DecodeDelay(limits::kUpdate, &in);
  o.terminate_ms = DecodeDelay(limits::kAnswer, &in);
  o.terminate_ack_ms = DecodeDelay(limits::kAnswer, &in);

  const std::uint32_t sent = 2 * 12 + o.box_data;  // both records and the box data
  o.stall_at = DecodePosition(b.image_size + 2, &in);
  o.drop_select_at = DecodePosition(b.image_size + 2, &in);
  o.drop_select_at_sent = DecodePosition(sent + 1, &in);
  o.data_pause_at = DecodePosition(sent + 1, &in);
  const bool in_closing = o.data_pause_at && *o.data_pause_at >= 12 + o.box_data;
  o.data_pause_ms = DecodeDelay(in_closing ? limits::kClosing : limits::kByte, &in);
  return b;
}

}  // namespace m4410::fuzz
