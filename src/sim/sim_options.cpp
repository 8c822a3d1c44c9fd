#include "sim/sim_options.h"

#include <array>

namespace m4410 {

namespace {

enum class Kind { Clock, Flag, Number, NumberOrNever, Path };

struct Key {
  std::string_view name;
  Kind kind;
  bool SimOptions::*flag = nullptr;
  std::uint32_t SimOptions::*number = nullptr;
  std::optional<std::uint32_t> SimOptions::*count = nullptr;
  std::uint32_t max = 0;  // numbers and counts
};

constexpr Key Flag(std::string_view name, bool SimOptions::*member) {
  return {name, Kind::Flag, member, nullptr, nullptr, 0};
}
constexpr Key Number(std::string_view name, std::uint32_t SimOptions::*member,
                     std::uint32_t max) {
  return {name, Kind::Number, nullptr, member, nullptr, max};
}
constexpr Key Count(std::string_view name, std::optional<std::uint32_t> SimOptions::*member) {
  return {name, Kind::NumberOrNever, nullptr, nullptr, member, kMaxImageCount};
}

const std::array<Key, 30> kKeys{{
    {"clock", Kind::Clock},
    Number("latency-us", &SimOptions::latency_us, kMaxLatencyUs),
    Number("answer-on-attempt", &SimOptions::answer_on_attempt, kMaxAnswerOnAttempt),
    Flag("confirm", &SimOptions::confirm),
    Number("nack-delay-ms", &SimOptions::nack_delay_ms, kMaxNackDelayMs),
    Number("negotiate-ms", &SimOptions::negotiate_ms, kMaxAnswerMs),
    Number("confirm-ms", &SimOptions::confirm_ms, kMaxAnswerMs),
    Number("setup-ms", &SimOptions::setup_ms, kMaxAnswerMs),
    Number("opening-ms", &SimOptions::opening_ms, kMaxAnswerMs),
    Number("reverse-ack-ms", &SimOptions::reverse_ack_ms, kMaxAnswerMs),
    Number("forward-ack-ms", &SimOptions::forward_ack_ms, kMaxAnswerMs),
    Number("ready-ms", &SimOptions::ready_ms, kMaxAnswerMs),
    Number("terminate-ms", &SimOptions::terminate_ms, kMaxAnswerMs),
    Number("terminate-ack-ms", &SimOptions::terminate_ack_ms, kMaxAnswerMs),
    Flag("setup", &SimOptions::setup),
    Flag("reverse", &SimOptions::reverse),
    Flag("terminate", &SimOptions::terminate),
    Flag("opening", &SimOptions::opening),
    Number("box-data", &SimOptions::box_data, kMaxBoxData),
    Number("rate", &SimOptions::rate, kMaxRate),
    Count("drop-select-at", &SimOptions::drop_select_at),
    Count("stall-at", &SimOptions::stall_at),
    Count("drop-select-at-sent", &SimOptions::drop_select_at_sent),
    Count("data-pause-at", &SimOptions::data_pause_at),
    Number("data-pause-ms", &SimOptions::data_pause_ms, kMaxAnswerMs),
    Number("update-ms", &SimOptions::update_ms, kMaxUpdateMs),
    Flag("closing", &SimOptions::closing),
    Flag("ecp", &SimOptions::ecp),
    Number("bus-ns", &SimOptions::bus_ns, kMaxBusNs),
    {"cable", Kind::Path},
}};

std::string Quoted(std::string_view text) {
  std::string quoted = "'";
  quoted.append(text);
  quoted += '\'';
  return quoted;
}

std::string BadValue(std::string_view value, std::string_view key) {
  return "bad value " + Quoted(value) + " for --sim key " + Quoted(key);
}

// Plain decimal digits only: no sign, no spaces, no hex. Checked against max before each
// step so nothing wraps.
bool ParseNumber(std::string_view text, std::uint32_t max, std::uint32_t* value, bool* too_big) {
  *too_big = false;
  if (text.empty()) return false;
  std::uint64_t n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<unsigned>(c - '0');
    if (n > max) {
      *too_big = true;
      return false;
    }
  }
  *value = static_cast<std::uint32_t>(n);
  return true;
}

bool ApplyItem(std::string_view item, SimOptions* o, std::string* error) {
  const std::size_t eq = item.find('=');
  if (eq == std::string_view::npos) {
    *error = "--sim item " + Quoted(item) + " is not key=value";
    return false;
  }
  const std::string_view name = item.substr(0, eq);
  const std::string_view value = item.substr(eq + 1);
  const Key* key = nullptr;
  for (const Key& k : kKeys) {
    if (k.name == name) key = &k;
  }
  if (!key) {
    *error = "unknown --sim key " + Quoted(name);
    return false;
  }
  switch (key->kind) {
    case Kind::Path:
      if (value.empty()) {
        *error = BadValue(value, name) + " (a file name)";
        return false;
      }
      o->cable = value;
      return true;
    case Kind::Clock:
      if (value == "real") {
        o->clock = SimClock::Real;
      } else if (value == "virtual") {
        o->clock = SimClock::Virtual;
      } else {
        *error = BadValue(value, name) + " (real or virtual)";
        return false;
      }
      return true;
    case Kind::Flag:
      if (value != "yes" && value != "no") {
        *error = BadValue(value, name) + " (yes or no)";
        return false;
      }
      o->*key->flag = value == "yes";
      return true;
    case Kind::Number:
    case Kind::NumberOrNever: {
      if (key->kind == Kind::NumberOrNever && value == "never") {
        (o->*key->count).reset();
        return true;
      }
      std::uint32_t n = 0;
      bool too_big = false;
      if (!ParseNumber(value, key->max, &n, &too_big)) {
        *error = BadValue(value, name);
        *error += too_big ? " (largest is " + std::to_string(key->max) + ")"
                          : key->kind == Kind::Number ? " (a whole number)"
                                                      : " (a whole number or never)";
        return false;
      }
      if (key->kind == Kind::Number) {
        o->*key->number = n;
      } else {
        o->*key->count = n;
      }
      return true;
    }
  }
  return false;
}

}  // namespace

bool ParseSimOptions(std::string_view text, SimOptions* out, std::string* error) {
  SimOptions options;
  std::string message;
  bool ok = true;
  if (!text.empty()) {
    std::size_t start = 0;
    while (ok) {
      const std::size_t comma = text.find(',', start);
      const std::string_view item =
          text.substr(start, comma == std::string_view::npos ? std::string_view::npos
                                                             : comma - start);
      if (item.empty()) {
        message = "empty item in --sim options " + Quoted(text);
        ok = false;
      } else {
        ok = ApplyItem(item, &options, &message);
      }
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
  }
  if (!ok) {
    if (error) *error = message;
    return false;
  }
  if (out) *out = options;
  return true;
}

std::string FormatSimOptions(const SimOptions& o) {
  const auto flag = [](bool on) { return on ? "yes" : "no"; };
  const auto count = [](const std::optional<std::uint32_t>& n) {
    return n ? std::to_string(*n) : std::string("never");
  };
  std::string text;
  text += "clock=";
  text += o.clock == SimClock::Virtual ? "virtual" : "real";
  text += ",latency-us=" + std::to_string(o.latency_us);
  text += ",answer-on-attempt=" + std::to_string(o.answer_on_attempt);
  text += std::string(",confirm=") + flag(o.confirm);
  text += ",nack-delay-ms=" + std::to_string(o.nack_delay_ms);
  text += ",negotiate-ms=" + std::to_string(o.negotiate_ms);
  text += ",confirm-ms=" + std::to_string(o.confirm_ms);
  text += ",setup-ms=" + std::to_string(o.setup_ms);
  text += ",opening-ms=" + std::to_string(o.opening_ms);
  text += ",reverse-ack-ms=" + std::to_string(o.reverse_ack_ms);
  text += ",forward-ack-ms=" + std::to_string(o.forward_ack_ms);
  text += ",ready-ms=" + std::to_string(o.ready_ms);
  text += ",terminate-ms=" + std::to_string(o.terminate_ms);
  text += ",terminate-ack-ms=" + std::to_string(o.terminate_ack_ms);
  text += std::string(",setup=") + flag(o.setup);
  text += std::string(",reverse=") + flag(o.reverse);
  text += std::string(",terminate=") + flag(o.terminate);
  text += std::string(",opening=") + flag(o.opening);
  text += ",box-data=" + std::to_string(o.box_data);
  text += ",rate=" + std::to_string(o.rate);
  text += ",drop-select-at=" + count(o.drop_select_at);
  text += ",stall-at=" + count(o.stall_at);
  text += ",drop-select-at-sent=" + count(o.drop_select_at_sent);
  text += ",data-pause-at=" + count(o.data_pause_at);
  text += ",data-pause-ms=" + std::to_string(o.data_pause_ms);
  text += ",update-ms=" + std::to_string(o.update_ms);
  text += std::string(",closing=") + flag(o.closing);
  text += std::string(",ecp=") + flag(o.ecp);
  text += ",bus-ns=" + std::to_string(o.bus_ns);
  if (!o.cable.empty()) text += ",cable=" + o.cable;
  return text;
}

std::string_view SimOptionsHelp() {
  return "--sim KEY=VALUE,...  simulated box: clock=real|virtual, latency-us=N (100), "
         "answer-on-attempt=N (1, 0 never), confirm=yes|no, nack-delay-ms=N (0), "
         "each answer N ms late (0): negotiate-ms=N, confirm-ms=N, setup-ms=N, opening-ms=N, "
         "reverse-ack-ms=N, forward-ack-ms=N, ready-ms=N, terminate-ms=N, terminate-ack-ms=N; "
         "setup=yes|no, reverse=yes|no, terminate=yes|no, opening=yes|no, box-data=N (0), "
         "rate=N bytes/s (2000000, 0 at once), drop-select-at=N|never, stall-at=N|never, "
         "drop-select-at-sent=N|never, "
         "data-pause-at=N|never with data-pause-ms=N (0): a pause after N bytes sent, "
         "update-ms=N (2000), closing=yes|no, ecp=yes|no (no: the port has no ECP registers), "
         "bus-ns=N (0: the cost of one register access), "
         "cable=FILE.vcd (the cable's lines as a probe on it sees them)";
}

}  // namespace m4410
