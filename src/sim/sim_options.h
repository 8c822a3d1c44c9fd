// How the simulated box behaves, chosen with --sim key=value,... on both programs' command lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace m4410 {

enum class SimClock { Real, Virtual };

struct SimOptions {
  SimClock clock = SimClock::Real;            // clock=real|virtual
  std::uint32_t latency_us = 100;             // time the box takes to answer a handshake step
  std::uint32_t answer_on_attempt = 1;        // first answered negotiation attempt; 0 = never
  bool confirm = true;                        // no: answers the request, never confirms ECP
  std::uint32_t nack_delay_ms = 0;            // nAck rise after the ECP confirmation
  // Each of the box's answers on its own, this many ms later than latency-us alone makes it.
  std::uint32_t negotiate_ms = 0;             // event 2: the answer to the negotiation request
  std::uint32_t confirm_ms = 0;               // event 5: the ECP confirmation
  std::uint32_t setup_ms = 0;                 // event 31: the answer in the setup phase
  std::uint32_t opening_ms = 0;               // the opening record, counted from the link up
  std::uint32_t reverse_ack_ms = 0;           // event 40: the reverse request acknowledged
  std::uint32_t forward_ack_ms = 0;           // event 49: the return to forward answered
  std::uint32_t ready_ms = 0;                 // PError held low after the image, before a turn
  std::uint32_t terminate_ms = 0;             // events 23-24: the termination request answered
  std::uint32_t terminate_ack_ms = 0;         // event 27: nAck raised in the termination
  bool setup = true;                          // no: silent in the ECP setup phase
  bool reverse = true;                        // no: silent on a reverse request
  bool terminate = true;                      // no: silent on a termination request
  bool opening = true;                        // no: never sends its opening record
  std::uint32_t box_data = 0;                 // bytes of box data after the opening record
  std::uint32_t rate = 2000000;               // bytes per second taken from the FIFO; 0 = at once
  // Image bytes after which the box drops Select, or stops taking bytes; empty = never.
  std::optional<std::uint32_t> drop_select_at;
  std::optional<std::uint32_t> stall_at;
  // Bytes of its opening record and box data after which the box drops Select; empty = never.
  std::optional<std::uint32_t> drop_select_at_sent;
  // Bytes of its records and box data after which the box pauses data-pause-ms before the
  // next; empty = never.
  std::optional<std::uint32_t> data_pause_at;
  std::uint32_t data_pause_ms = 0;
  std::uint32_t update_ms = 2000;             // time spent rewriting itself before closing
  bool closing = true;                        // no: never sends its closing record
  bool ecp = true;  // no: a port without ECP registers (reads 0xFF); the box never answers
  std::uint32_t bus_ns = 0;                   // what one register access costs, as on a real bus
  std::string cable;                          // cable=FILE.vcd: the cable's lines; empty = none

  friend bool operator==(const SimOptions&, const SimOptions&) = default;
};

// Largest value each numeric key takes; larger ones are refused rather than wrapped.
inline constexpr std::uint32_t kMaxLatencyUs = 10'000'000;
inline constexpr std::uint32_t kMaxAnswerOnAttempt = 1'000'000;
inline constexpr std::uint32_t kMaxNackDelayMs = 60'000;
inline constexpr std::uint32_t kMaxAnswerMs = 3'600'000;  // each answer's own delay
inline constexpr std::uint32_t kMaxBoxData = 0xFFFFFFFFu;  // the opening record's 32-bit field
inline constexpr std::uint32_t kMaxRate = 1'000'000'000;
inline constexpr std::uint32_t kMaxImageCount = 0xFFFFFFFFu;  // drop-select-at, stall-at
inline constexpr std::uint32_t kMaxUpdateMs = 3'600'000;
inline constexpr std::uint32_t kMaxBusNs = 1'000'000;

// "key=value,key=value"; empty text gives the defaults and later keys override earlier ones.
// On failure *out is left as it was and *error names the offending key or value.
bool ParseSimOptions(std::string_view text, SimOptions* out, std::string* error);

// The options as text that ParseSimOptions reads back to the same options.
std::string FormatSimOptions(const SimOptions& options);

// One line for --help: every key, its values and its default.
std::string_view SimOptionsHelp();

}  // namespace m4410
