// A whole behaviour of the simulated box, and what happens around the run, decoded from fuzz
// input. Every input decodes; bytes past its end read as 0, and an input of zeros is a prompt
// box that completes. The layout (one byte each unless said; "delay" is two bytes, a kind and
// a fine value, see DecodeDelay):
//    0  withheld answers: bit 0 confirm, 1 setup, 2 reverse, 3 opening, 4 closing,
//       5 terminate, 6 no ECP registers at all
//    1  first answered negotiation attempt: 1, 2, 3, 4, never
//    2  the run's circumstance: 1 the claim refused, 2 the update file missing, else none
//    3  when KeepGoing is lowered: 0 never, 1 on the claim, 2 with the link up, 3 after the
//       opening record, 4 after the header, 5 half-way through the image, 6 after the port
//       access counted by bytes 4-5 (big-endian)
//    6  image length, 0 to 96 (53 at 0);  7 box-data length, 0 to 255
//    8  rate (bytes/s) from a table;  9 latency-us from a table
//   10  delays of negotiate, confirm, nack-delay, setup, opening, reverse-ack, forward-ack,
//       ready, update, terminate, terminate-ack (22 bytes)
//   32  stall-at, drop-select-at, drop-select-at-sent, data-pause-at: two bytes each, a kind
//       (0 never, 1 a position near the bytes that matter, 2 the fine byte itself) and a fine
//   40  data-pause-ms: a delay against the limit of the wait the pause falls in
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "sim/sim_options.h"

namespace m4410::fuzz {

enum class Circumstance { None, ClaimRefused, FileMissing };

enum class KeepGoingDrop { Never, OnClaim, LinkUp, AfterOpening, AfterHeader, MidImage, AtAccess };

struct BoxBehaviour {
  SimOptions sim;
  Circumstance circumstance = Circumstance::None;
  KeepGoingDrop lower = KeepGoingDrop::Never;
  std::uint32_t lower_at_access = 0;
  std::uint32_t image_size = 0;
};

// The host's limit on the wait each delay is measured against, in ms: a delay kind picks
// values on either side of it.
namespace limits {
inline constexpr std::uint32_t kAnswer = 35;      // each handshake answer
inline constexpr std::uint32_t kNackRise = 2;     // event 6, waited for but not required
inline constexpr std::uint32_t kByte = 10000;     // each byte of a record or the box data
inline constexpr std::uint32_t kClosing = 600000; // each byte of the closing record
inline constexpr std::uint32_t kAfterImage = 500 + 1000;  // ready-ms: waited out, no failure
inline constexpr std::uint32_t kUpdate = 500 + kClosing;   // update-ms, from the image's end
}  // namespace limits

BoxBehaviour DecodeBoxBehaviour(const std::uint8_t* data, std::size_t size);

}  // namespace m4410::fuzz
