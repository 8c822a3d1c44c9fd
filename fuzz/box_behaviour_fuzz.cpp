// Any box, any timing: the input is a whole behaviour of the simulated box (box_behaviour.h),
// and one run of the worker against it, on the virtual clock, must keep the oracle below.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "board/run_cause.h"
#include "board/stage_board.h"
#include "box_behaviour.h"
#include "fuzz_check.h"
#include "link/block_transfer.h"
#include "link/time_source.h"
#include "port/port_access.h"
#include "run/update_worker.h"
#include "sim/box_protocol.h"
#include "sim/crc32.h"
#include "sim/simulated_box.h"

namespace m4410::fuzz {
namespace {

using Stages = std::array<StageStatus, kStageCount>;
constexpr StageStatus O = Okay, F = Failed, N = NoReport;

// The worker's outcome table: how a run may end on the stage board, and no other way.
constexpr Stages kOutcomes[] = {
    {O, F, N, N, N, N, N},  // the port not claimed
    {O, O, N, N, N, N, N},  // KeepGoing lowered after stage 2
    {O, O, F, N, N, N, N},  // no link in three attempts
    {O, O, O, N, N, N, N},  // KeepGoing lowered after stage 3
    {O, O, O, N, N, N, F},  // the file, or KeepGoing lowered after the opening record
    {O, O, O, F, N, N, F},  // no opening record, or the header not sent
    {O, O, O, O, N, N, F},  // KeepGoing lowered after the header
    {O, O, O, O, F, N, F},  // the image not sent
    {O, O, O, O, O, F, F},  // no closing record
    {O, O, O, O, O, O, O},  // completed
};

// Every wait the host can make, each once at its limit, in ms: the bound on a whole run.
// The box pauses once, so one more wait at the longest per-byte limit covers its pause.
std::int64_t RunBoundMs(const BoxBehaviour& b) {
  // request to set-up answered, or given up and the lines let go
  constexpr std::int64_t kAttempt = 10 + 35 + 1 + 35 + 2 + 35 + 35;
  constexpr std::int64_t kDrain = 10000;
  constexpr std::int64_t kTurnReverse = kDrain + 1000 + 35;
  constexpr std::int64_t kTurnForward = 35 + 35 + 50 + 50;
  constexpr std::int64_t kStall = 10000;
  constexpr std::int64_t kTermination = kTurnForward + 35 + 35 + 35;
  const std::int64_t at_rate =
      b.sim.rate == 0 ? 0 : (std::int64_t{12 + 16} + b.image_size) * 1000 / b.sim.rate + 1;
  const std::int64_t waits = 3 * kAttempt + kTurnReverse + limits::kByte  // opening record
                             + limits::kByte                              // a failed data chunk
                             + kTurnForward + at_rate + 2 * kStall + 500 + 500  // header, image
                             + kTurnReverse + limits::kClosing            // closing record
                             + limits::kClosing                           // the one pause
                             + kSettleAfterTransferMs + kTermination;
  return waits + waits / 100 + 100;  // each wait may overrun by a poll step
}

// Every answer within its limit, and nothing withheld, stalled, dropped or paused past one:
// such a run must complete. Answers that share a wait are summed against its limit, with a
// few ms to spare for the host's millisecond clock. Termination answers do not count: the
// result stands however the link ends.
bool WithinLimits(const BoxBehaviour& b) {
  const SimOptions& o = b.sim;
  const std::uint32_t latency = (o.latency_us + 999) / 1000;
  const std::uint32_t handshake = limits::kAnswer - 5;
  const std::uint32_t sent = 12 + o.box_data;  // the opening record and its data
  const std::uint32_t pause = o.data_pause_at && *o.data_pause_at < sent + 12 ? o.data_pause_ms
                                                                               : 0;
  const bool pause_first = o.data_pause_at && *o.data_pause_at == 0;
  const bool pause_in_closing = o.data_pause_at && *o.data_pause_at >= sent;
  const bool pause_before_closing = o.data_pause_at && *o.data_pause_at == sent;
  const std::uint32_t byte_wait = limits::kByte - 1000;
  const std::uint64_t closing_wait = limits::kClosing - 10000;
  return b.circumstance == Circumstance::None && b.lower == KeepGoingDrop::Never &&
         b.image_size > 0 && o.ecp && o.confirm && o.setup && o.reverse && o.opening &&
         o.closing && o.answer_on_attempt >= 1 && o.answer_on_attempt <= LinkAttempts &&
         latency + o.negotiate_ms <= handshake && latency + o.confirm_ms <= handshake &&
         o.nack_delay_ms <= handshake && latency + o.setup_ms <= handshake &&
         latency + o.forward_ack_ms <= handshake && (o.rate == 0 || o.rate >= 4) &&
         (!o.stall_at || *o.stall_at >= b.image_size) &&
         (!o.drop_select_at || *o.drop_select_at > b.image_size) &&
         (!o.drop_select_at_sent || *o.drop_select_at_sent >= sent + 12) &&
         std::uint64_t{latency} + o.opening_ms + o.reverse_ack_ms + (pause_first ? pause : 0) <=
             byte_wait &&
         (pause_in_closing ? pause <= closing_wait : pause <= byte_wait) &&
         std::uint64_t{latency} + o.update_ms + o.ready_ms + o.reverse_ack_ms +
                 (pause_before_closing ? pause : 0) <=
             closing_wait;
}

// The host's port: the box behind a watch that counts claims and releases, keeps the bytes
// the host read from the FIFO, lowers KeepGoing where the behaviour says, and stops a run
// whose virtual time has passed its bound.
struct Watch {
  const BoxBehaviour* behaviour = nullptr;
  VirtualClock* clock = nullptr;
  std::int64_t deadline = 0;
  int claims = 0;
  int releases = 0;
  std::uint32_t accesses = 0;
  std::uint32_t fifo_writes = 0;
  std::vector<std::uint8_t> fifo_read;

  void Check() {
    if (clock->PeekMicros() > deadline) {
      std::fprintf(stderr, "property broken: the run outlasted its bound (a hang)\n");
      std::abort();
    }
  }
  void Lower(KeepGoingDrop point) {
    if (behaviour->lower == point) m4410::LowerKeepGoing();
  }
  void Accessed() {
    ++accesses;
    if (behaviour->lower == KeepGoingDrop::AtAccess && accesses == behaviour->lower_at_access) {
      m4410::LowerKeepGoing();
    }
    Check();
  }
};

class WatchedAccess final : public PortAccess {
 public:
  WatchedAccess(std::unique_ptr<PortAccess> box, Watch* watch)
      : box_(std::move(box)), watch_(watch) {}

  ClaimOutcome Claim() override {
    if (watch_->behaviour->circumstance == Circumstance::ClaimRefused) {
      return ClaimOutcome::Refused;
    }
    const ClaimOutcome outcome = box_->Claim();
    if (outcome == ClaimOutcome::Claimed) ++watch_->claims;
    watch_->Lower(KeepGoingDrop::OnClaim);
    return outcome;
  }
  void Release() override {
    ++watch_->releases;
    box_->Release();
  }
  std::uint8_t Read(PortRange range, unsigned offset) override {
    const std::uint8_t value = box_->Read(range, offset);
    if (range == PortRange::Extended && offset == 0) {
      watch_->fifo_read.push_back(value);
      if (watch_->fifo_read.size() == 12) watch_->Lower(KeepGoingDrop::AfterOpening);
    }
    watch_->Accessed();
    return value;
  }
  void Write(PortRange range, unsigned offset, std::uint8_t value) override {
    box_->Write(range, offset, value);
    if (range == PortRange::Extended && offset == 2 && value == 0x74) {
      watch_->Lower(KeepGoingDrop::LinkUp);  // the last step of the ECP set-up
    }
    if (range == PortRange::Extended && offset == 0) {
      ++watch_->fifo_writes;
      if (watch_->fifo_writes == 12) watch_->Lower(KeepGoingDrop::AfterHeader);
      if (watch_->fifo_writes == 12 + watch_->behaviour->image_size / 2) {
        watch_->Lower(KeepGoingDrop::MidImage);
      }
    }
    watch_->Accessed();
  }

 private:
  std::unique_ptr<PortAccess> box_;
  Watch* watch_;
};

// Distinct bytes with no short period, so a shifted or lost byte shows.
std::vector<std::uint8_t> ImageBytes(std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  std::uint32_t x = 0x12345678;
  for (auto& byte : bytes) {
    x = x * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(x >> 16);
  }
  return bytes;
}

std::vector<std::uint8_t> Record(std::uint32_t w0, std::uint32_t w1, std::uint32_t w2) {
  std::vector<std::uint8_t> bytes;
  for (const std::uint32_t w : {w0, w1, w2}) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      bytes.push_back(static_cast<std::uint8_t>(w >> shift));
    }
  }
  return bytes;
}

std::filesystem::path scratch;  // where the run's files go, its current directory
std::filesystem::path home;     // the fuzzer's own, where its corpus paths lead

}  // namespace
}  // namespace m4410::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  namespace fs = std::filesystem;
  // The worker writes the box data to "0" in the current directory: during a run, a
  // directory of our own.
  std::string dir = (fs::temp_directory_path() / "m4410-boxfuzz-XXXXXX").string();
  if (!mkdtemp(dir.data())) std::abort();
  m4410::fuzz::scratch = dir;
  m4410::fuzz::home = fs::current_path();
  std::atexit([] {
    std::error_code ignored;
    fs::remove_all(m4410::fuzz::scratch, ignored);
  });
  // The run's diagnostic lines would drown the fuzzer's own.
  if (!std::freopen("/dev/null", "w", stdout)) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace m4410;
  using namespace m4410::fuzz;
  const BoxBehaviour b = DecodeBoxBehaviour(data, size);

  const std::vector<std::uint8_t> image = ImageBytes(b.image_size);
  const std::filesystem::path path = scratch / "update.bin";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
  }
  std::string job = b.circumstance == Circumstance::FileMissing ? (scratch / "gone.bin").string()
                                                                : path.string();

  // Coarse clock readings keep a 600 s wait cheap; they stay far under every limit.
  VirtualClock clock(1'000'000'000, 25);
  SimulatedBox box(b.sim, &clock);
  Watch watch;
  watch.behaviour = &b;
  watch.clock = &clock;
  const std::int64_t start = clock.PeekMicros();
  watch.deadline = start + RunBoundMs(b) * 1000;
  SetTimeSource(&clock);
  SetProcessPortFactory([&box, &watch]() -> std::unique_ptr<PortAccess> {
    return std::make_unique<WatchedAccess>(box.MakeAccess(), &watch);
  });
  for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
  ClearRunCause();
  RaiseKeepGoing();
  SetStopWaitingForBox(false);

  std::filesystem::current_path(scratch);
  UpdateWorker(&job);
  std::filesystem::current_path(home);

  SetProcessPortFactory({});
  SetTimeSource(nullptr);
  const BoxReceipt r = box.Receipt();
  Stages stages;
  for (int stage = 1; stage <= kStageCount; ++stage) stages[stage - 1] = GetStage(stage);

  // The run ended within its bound (Watch::Check on every access, and here for the end) and
  // released the port: the box takes a fresh claim.
  watch.Check();
  FUZZ_CHECK(watch.releases == watch.claims);
  const std::unique_ptr<PortAccess> after = box.MakeAccess();
  FUZZ_CHECK(after->Claim() == ClaimOutcome::Claimed);
  after->Release();

  // It ended as a row of the outcome table.
  FUZZ_CHECK(std::find(std::begin(kOutcomes), std::end(kOutcomes), stages) != std::end(kOutcomes));

  // The strict box counted no host action as a fault.
  if (r.all_faults() != 0) std::fprintf(stderr, "host faults: %s\n", HostFaultSummary(r).c_str());
  FUZZ_CHECK(r.all_faults() == 0);

  // Completed: the box holds exactly the image, and what the host took for its confirmation is
  // the box's own closing record (its model, the image's CRC and length), last of all it read.
  // The edge left open, a box that resumes its data after the host gave up on it, is decided
  // here: the host's turn to forward ends the box's sending and it drops what it had not sent
  // (data-pause-at), since the host takes any 12 bytes after the image for the closing record
  // and stale box data there would pass for a confirmation. A box-data chunk that did not come
  // is no failure, so such a run may still complete, and is held to the real record.
  const bool completed = stages[UpdatingCompleted - 1] == Okay;
  if (completed) {
    const std::uint32_t crc = Crc32Extend(0, image.data(), image.size());
    FUZZ_CHECK(r.image_complete && r.image_bytes == image.size() && r.image_crc32 == crc);
    FUZZ_CHECK(r.closing_queued);
    const std::vector<std::uint8_t> closing =
        Record(BoxProtocol::kModelWord, crc, static_cast<std::uint32_t>(image.size()));
    FUZZ_CHECK(watch.fifo_read.size() >= 12 &&
               std::equal(closing.begin(), closing.end(), watch.fifo_read.end() - 12));
  }

  // A box that keeps within every limit is updated.
  if (WithinLimits(b)) FUZZ_CHECK(completed);

  return 0;
}
