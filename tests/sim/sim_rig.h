// Whole exchanges against the simulated box on a virtual clock: every port access the link
// makes is logged in order, hooks let a test act at an exact point of the exchange (lower
// KeepGoing, block a claim, change what the box seems to say), and the run happens in a
// scratch directory of its own, since the box data lands in "0" in the current directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "port/port_access.h"
#include "link/time_source.h"
#include "sim/sim_options.h"
#include "sim/simulated_box.h"

namespace m4410::test {

using Bytes = std::vector<std::uint8_t>;

struct PortEvent {
  enum Kind { Read, Write, Claim, Release };
  Kind kind = Read;
  PortRange range = PortRange::Standard;
  unsigned offset = 0;
  std::uint8_t value = 0;  // written, or as the link saw it read

  bool Fifo() const {
    return (kind == Read || kind == Write) && range == PortRange::Extended && offset == 0;
  }
  bool Is(Kind k, PortRange r, unsigned o) const { return kind == k && range == r && offset == o; }
};

// One BlockRead or BlockWrite as the port saw it: the FIFO bytes between two accesses that
// neither call makes inside its byte loop.
struct Transfer {
  bool in = false;  // box to PC
  Bytes bytes;
};

// Shared by the rig and every access it hands out, so it outlives them all. Hooks run on the
// thread that makes the access; read the log only once that thread is done with the port.
struct PortLog {
  std::vector<PortEvent> events;
  int claims = 0;
  int releases = 0;
  std::size_t fifo_reads = 0;
  std::size_t fifo_writes = 0;

  bool refuse_claim = false;          // Claim gives Refused without reaching the box
  std::function<void()> before_claim;
  std::function<void()> after_claim;
  std::function<void()> before_release;
  std::vector<std::function<void(const PortEvent&)>> watchers;  // after each read and write
  // May change what a read gives the link; the log holds the changed value.
  std::function<std::uint8_t(const PortEvent&)> read_filter;

  void Clear() {
    events.clear();
    fifo_reads = fifo_writes = 0;
  }

  Bytes FifoBytes(bool in) const {
    Bytes out;
    for (const PortEvent& e : events) {
      if (e.Fifo() && (e.kind == PortEvent::Read) == in) out.push_back(e.value);
    }
    return out;
  }

  // The block transfers in order. Inside their byte loops BlockRead reads only the ECR and
  // the FIFO, BlockWrite only the status, the ECR and the FIFO; every call begins with a
  // read of the control register, which ends the transfer before it.
  std::vector<Transfer> Transfers() const {
    std::vector<Transfer> out;
    bool open = false;
    for (const PortEvent& e : events) {
      if (e.Fifo()) {
        const bool in = e.kind == PortEvent::Read;
        if (!open || out.back().in != in) out.push_back({in, {}});
        out.back().bytes.push_back(e.value);
        open = true;
      } else if (!e.Is(PortEvent::Read, PortRange::Extended, 2) &&
                 !e.Is(PortEvent::Read, PortRange::Standard, 1)) {
        open = false;
      }
    }
    return out;
  }

  // The lengths of the transfers, in for positive and out for negative: {12, -12, -1000, 12}.
  std::vector<long> TransferShape() const {
    std::vector<long> out;
    for (const Transfer& t : Transfers()) {
      const auto n = static_cast<long>(t.bytes.size());
      out.push_back(t.in ? n : -n);
    }
    return out;
  }
};

class LoggingAccess final : public PortAccess {
 public:
  LoggingAccess(std::unique_ptr<PortAccess> inner, std::shared_ptr<PortLog> log)
      : inner_(std::move(inner)), log_(std::move(log)) {}

  ClaimOutcome Claim() override {
    ++log_->claims;
    if (log_->before_claim) log_->before_claim();
    if (log_->refuse_claim) return ClaimOutcome::Refused;
    const ClaimOutcome outcome = inner_->Claim();
    log_->events.push_back({PortEvent::Claim});
    if (log_->after_claim) log_->after_claim();
    return outcome;
  }
  void Release() override {
    ++log_->releases;
    if (log_->before_release) log_->before_release();
    log_->events.push_back({PortEvent::Release});
    inner_->Release();
  }
  std::uint8_t Read(PortRange range, unsigned offset) override {
    PortEvent event{PortEvent::Read, range, offset, inner_->Read(range, offset)};
    if (log_->read_filter) event.value = log_->read_filter(event);
    Log(event);
    return event.value;
  }
  void Write(PortRange range, unsigned offset, std::uint8_t value) override {
    inner_->Write(range, offset, value);
    Log({PortEvent::Write, range, offset, value});
  }

 private:
  void Log(const PortEvent& event) {
    if (event.Fifo()) ++(event.kind == PortEvent::Read ? log_->fifo_reads : log_->fifo_writes);
    log_->events.push_back(event);
    for (const auto& watch : log_->watchers) watch(event);
  }

  std::unique_ptr<PortAccess> inner_;
  std::shared_ptr<PortLog> log_;
};

// The link's time source: the box's virtual clock, with every sleep noted.
class SleepNotingClock final : public TimeSource {
 public:
  explicit SleepNotingClock(VirtualClock& clock) : clock_(clock) {}
  std::int64_t NowMicros() override { return clock_.NowMicros(); }
  void SleepMs(std::int32_t ms) override {
    if (on_sleep) on_sleep(ms);
    sleeps.push_back(ms);
    clock_.SleepMs(ms);
  }
  std::vector<std::int32_t> sleeps;
  std::function<void(std::int32_t)> on_sleep;

 private:
  VirtualClock& clock_;
};

inline SimOptions VirtualBoxOptions(std::string_view text) {
  SimOptions options;
  std::string error;
  std::string full = "clock=virtual";
  if (!text.empty()) full += "," + std::string(text);
  EXPECT_TRUE(ParseSimOptions(full, &options, &error)) << error;
  return options;
}

// A simulated box on a virtual clock, installed as the process's port and time source for
// the rig's lifetime; every access handed out is a LoggingAccess onto the shared log.
class SimRig {
 public:
  // reading_step_us: how far each clock reading moves the virtual clock. Coarser steps make
  // the link's busy-waits (500 ms pauses, 10 s bounds) cheaper for runs repeated by the
  // hundred; a step well under the box's latency keeps every handshake as it is.
  explicit SimRig(std::string_view sim_text, std::int64_t reading_step_us = 1)
      : clock_(1'000'000'000, reading_step_us),
        box_(VirtualBoxOptions(sim_text), &clock_),
        time_(clock_) {
    SetTimeSource(&time_);
    SetProcessPortFactory([box = box_.Factory(), log = log_]() -> std::unique_ptr<PortAccess> {
      return std::make_unique<LoggingAccess>(box(), log);
    });
  }
  ~SimRig() {
    SetProcessPortFactory({});
    SetTimeSource(nullptr);
  }
  SimRig(const SimRig&) = delete;
  SimRig& operator=(const SimRig&) = delete;

  SimulatedBox& box() { return box_; }
  BoxReceipt receipt() const { return box_.Receipt(); }
  PortLog& log() { return *log_; }
  VirtualClock& clock() { return clock_; }
  SleepNotingClock& time() { return time_; }

 private:
  VirtualClock clock_;
  SimulatedBox box_;
  SleepNotingClock time_;
  std::shared_ptr<PortLog> log_ = std::make_shared<PortLog>();
};

// A scratch directory with a subdirectory "cwd" made the current directory for its lifetime;
// update files go beside "cwd", so "cwd" holds only what the run writes there.
class ScratchDir {
 public:
  ScratchDir() {
    // A fresh name each time; create_directory says whether it was free.
    std::random_device entropy;
    for (int attempt = 0; attempt < 100 && root_.empty(); ++attempt) {
      const std::filesystem::path candidate =
          std::filesystem::temp_directory_path() / ("m4410-test-" + std::to_string(entropy()));
      if (std::filesystem::create_directory(candidate)) root_ = candidate;
    }
    if (root_.empty()) ADD_FAILURE() << "no scratch directory";
    std::filesystem::create_directory(cwd());
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(cwd());
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::current_path(old_cwd_, ignored);
    std::filesystem::remove_all(root_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::filesystem::path root() const { return root_; }
  std::filesystem::path cwd() const { return root_ / "cwd"; }

  // Writes bytes to name under the root and returns its path.
  std::string Put(const std::string& name, const Bytes& bytes) const {
    const std::filesystem::path path = root_ / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  // The names in "cwd", to check what a run left there.
  std::vector<std::string> CwdEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(cwd())) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

 private:
  std::filesystem::path root_;
  std::filesystem::path old_cwd_;
};

inline Bytes ReadWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Distinct bytes with no short period, so a shifted or dropped byte shows.
inline Bytes ImageBytes(std::size_t n) {
  Bytes bytes(n);
  std::uint32_t x = 0x12345678;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 16);
  }
  return bytes;
}

// What the box sends as data after its opening record: byte i is i mod 251.
inline Bytes BoxDataBytes(std::size_t n) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
  return bytes;
}

inline Bytes RecordBytes(std::uint32_t w0, std::uint32_t w1, std::uint32_t w2) {
  Bytes bytes;
  for (const std::uint32_t w : {w0, w1, w2}) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      bytes.push_back(static_cast<std::uint8_t>(w >> shift));
    }
  }
  return bytes;
}

}  // namespace m4410::test
