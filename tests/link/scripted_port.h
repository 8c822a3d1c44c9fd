// A PortAccess for link-level tests: each register answers from a script (a queue of values,
// or a function of the port's current state) and every access is recorded in order.
//
// Without a script a register reads back the last value written to it (or given to Set), so
// the control register behaves like the real one and the box's side is all a test scripts.
#pragma once

#include <cctype>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "port/port_access.h"
#include "port/port_driver.h"

namespace m4410::test {

inline constexpr unsigned kData = 0, kStatus = 1, kControl = 2;  // standard range
inline constexpr unsigned kFifo = 0, kConfigB = 1, kEcr = 2;     // extended range

struct PortAccessRecord {
  bool write = false;
  PortRange range = PortRange::Standard;
  unsigned offset = 0;
  std::uint8_t value = 0;  // written, or returned by the read
  std::int64_t at = 0;     // the stamp function's reading, 0 without one
};

class ScriptedPort final : public PortAccess {
 public:
  using AnswerFn = std::function<std::uint8_t(ScriptedPort& port)>;

  // Puts a new ScriptedPort into the context and returns it; the context owns it.
  static ScriptedPort& AttachTo(PortDriverContext& context) {
    auto port = std::make_unique<ScriptedPort>();
    ScriptedPort& ref = *port;
    context.access = std::move(port);
    return ref;
  }

  // The value a register holds: what reads give without a script, and what writes change.
  void Set(PortRange range, unsigned offset, std::uint8_t value) { held_[{range, offset}] = value; }
  std::uint8_t Held(PortRange range, unsigned offset) const {
    const auto it = held_.find({range, offset});
    return it == held_.end() ? 0 : it->second;
  }
  // Reads take these values one each, then fall back to the answer function or held value.
  void Queue(PortRange range, unsigned offset, std::deque<std::uint8_t> values) {
    queued_[{range, offset}] = std::move(values);
  }
  // Every read (after the queue) is answered by the function, e.g. from Held(control).
  void Answer(PortRange range, unsigned offset, AnswerFn answer) {
    answers_[{range, offset}] = std::move(answer);
  }
  // Stamps each record, e.g. with a virtual clock's PeekMicros.
  void StampWith(std::function<std::int64_t()> stamp) { stamp_ = std::move(stamp); }

  const std::vector<PortAccessRecord>& log() const { return log_; }
  void ClearLog() { log_.clear(); }
  // The records of one register, in order.
  std::vector<PortAccessRecord> Accesses(PortRange range, unsigned offset, bool write) const {
    std::vector<PortAccessRecord> out;
    for (const auto& r : log_) {
      if (r.range == range && r.offset == offset && r.write == write) out.push_back(r);
    }
    return out;
  }
  // How many times a register has been written; cheap enough to call from an answer.
  std::size_t WriteCount(PortRange range, unsigned offset) const {
    const auto it = write_counts_.find({range, offset});
    return it == write_counts_.end() ? 0 : it->second;
  }
  // The log as one letter per access, lower case for reads and upper case for writes:
  // d data, s status, c control, f FIFO, b configuration B, e ECR, ? anything else.
  std::string Trace() const {
    std::string out;
    for (const auto& r : log_) {
      const char* names = r.range == PortRange::Standard ? "dsc" : "fbe";
      const char letter = r.offset < 3 ? names[r.offset] : '?';
      out += r.write ? static_cast<char>(std::toupper(letter)) : letter;
    }
    return out;
  }
  std::vector<std::uint8_t> Written(PortRange range, unsigned offset) const {
    std::vector<std::uint8_t> out;
    for (const auto& r : Accesses(range, offset, true)) out.push_back(r.value);
    return out;
  }

  ClaimOutcome claim_outcome = ClaimOutcome::Claimed;
  int claims = 0;
  int releases = 0;

  ClaimOutcome Claim() override {
    ++claims;
    return claim_outcome;
  }
  void Release() override { ++releases; }

  std::uint8_t Read(PortRange range, unsigned offset) override {
    const Key key{range, offset};
    std::uint8_t value;
    if (auto q = queued_.find(key); q != queued_.end() && !q->second.empty()) {
      value = q->second.front();
      q->second.pop_front();
    } else if (auto a = answers_.find(key); a != answers_.end()) {
      value = a->second(*this);
    } else {
      value = Held(range, offset);
    }
    Record(false, range, offset, value);
    return value;
  }

  void Write(PortRange range, unsigned offset, std::uint8_t value) override {
    held_[{range, offset}] = value;
    ++write_counts_[{range, offset}];
    Record(true, range, offset, value);
  }

 private:
  using Key = std::pair<PortRange, unsigned>;

  void Record(bool write, PortRange range, unsigned offset, std::uint8_t value) {
    log_.push_back({write, range, offset, value, stamp_ ? stamp_() : 0});
  }

  std::map<Key, std::uint8_t> held_;
  std::map<Key, std::size_t> write_counts_;
  std::map<Key, std::deque<std::uint8_t>> queued_;
  std::map<Key, AnswerFn> answers_;
  std::function<std::int64_t()> stamp_;
  std::vector<PortAccessRecord> log_;
};

}  // namespace m4410::test
