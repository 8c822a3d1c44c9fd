// Figures for the update path: one register access through the seam, a whole 4 MiB update
// on the simulated box, the same at the speed a real port and the box set, and the peak
// memory of the m4410 command for a 64 MiB image.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "link/parallel_link.h"
#include "port/port_driver.h"
#include "protocol/update_protocol.h"
#include "board/stage_board.h"
#include "sim/simulated_box.h"

extern char** environ;

namespace m4410 {
namespace {

namespace fs = std::filesystem;

// Counts the accesses that reach the box, to report accesses per image byte.
class CountingAccess final : public PortAccess {
 public:
  CountingAccess(std::unique_ptr<PortAccess> inner, std::uint64_t* count)
      : inner_(std::move(inner)), count_(count) {}
  ClaimOutcome Claim() override { return inner_->Claim(); }
  void Release() override { inner_->Release(); }
  std::uint8_t Read(PortRange r, unsigned o) override {
    ++*count_;
    return inner_->Read(r, o);
  }
  void Write(PortRange r, unsigned o, std::uint8_t v) override {
    ++*count_;
    inner_->Write(r, o, v);
  }

 private:
  std::unique_ptr<PortAccess> inner_;
  std::uint64_t* count_;
};

fs::path ImageFile(std::size_t size) {
  const fs::path path = fs::temp_directory_path() / ("m4410-bench-" + std::to_string(size) + ".bin");
  if (!fs::exists(path) || fs::file_size(path) != size) {
    std::vector<char> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 + 7);
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
  }
  return path;
}

// One whole update of image on box: the link, the transfer and the release. Counts the
// accesses of the transfer alone into *accesses and its time into *seconds; the error that
// stops the benchmark, or null.
const char* UpdateOnce(SimulatedBox& box, const fs::path& image, std::size_t size,
                       std::uint64_t* accesses, double* seconds) {
  std::uint64_t count = 0;
  SetProcessPortFactory([&box, &count] {
    return std::make_unique<CountingAccess>(box.MakeAccess(), &count);
  });
  RaiseKeepGoing();
  std::unique_ptr<PortDriverContext> context;
  if (OpenPortDriver(&context) != 0 || EstablishLink(context.get()) != 0) {
    SetProcessPortFactory({});
    return "no link with the simulated box";
  }
  count = 0;
  const auto start = std::chrono::steady_clock::now();
  const int result = SendUpdate(context.get(), image.c_str(), "");
  *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  *accesses = count;
  TerminateLink(context.get());
  ClosePortDriver(std::move(context));
  SetProcessPortFactory({});
  if (result != 0 || box.Receipt().image_bytes != size) return "update did not complete";
  return nullptr;
}

void BM_RegisterAccessThroughSeam(benchmark::State& state) {
  VirtualClock clock;
  SetTimeSource(&clock);
  SimulatedBox box(SimOptions{}, &clock);
  SetProcessPortFactory(box.Factory());
  std::unique_ptr<PortDriverContext> context;
  OpenPortDriver(&context);
  for (auto _ : state) benchmark::DoNotOptimize(ReadStatus(context.get()));
  ClosePortDriver(std::move(context));
  SetProcessPortFactory({});
  SetTimeSource(nullptr);
}
BENCHMARK(BM_RegisterAccessThroughSeam);

// args: rate (bytes/s, 0 = at once), virtual clock (1) or real clock (0).
void BM_WholeUpdate4MiB(benchmark::State& state) {
  constexpr std::size_t kSize = 4 << 20;
  const fs::path image = ImageFile(kSize);
  const bool virtual_clock = state.range(1) != 0;
  SimOptions options;
  options.rate = static_cast<std::uint32_t>(state.range(0));
  options.update_ms = 0;
  std::uint64_t accesses = 0;
  for (auto _ : state) {
    VirtualClock clock;
    if (virtual_clock) SetTimeSource(&clock);
    SimulatedBox box(options, virtual_clock ? &clock : nullptr);
    double seconds = 0;
    const char* error = UpdateOnce(box, image, kSize, &accesses, &seconds);
    SetTimeSource(nullptr);
    if (error != nullptr) {
      state.SkipWithError(error);
      break;
    }
  }
  state.counters["accesses_per_byte"] = static_cast<double>(accesses) / kSize;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}
BENCHMARK(BM_WholeUpdate4MiB)
    ->ArgNames({"rate", "virtual"})
    ->Args({0, 1})
    ->Args({2000000, 1})
    ->Args({0, 0})
    ->Args({2000000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// A 4 MiB update at the speed the hardware sets, on the real clock: every register access
// costs what it costs on a motherboard port (bus-ns=1000), with a box that takes bytes at once
// and with the box's own 2 MB/s. Each is reported against its bound: the accesses at 1 us
// each (or the box's rate, if slower) plus the two fixed 500 ms pauses around the image. The
// simulated chip and box do their work within each access's bus time, so what a run takes
// beyond its bound is the host's: the link's own settling waits, and any step whose work
// outlasts a bus cycle.
// args: rate (bytes/s, 0 = at once).
void BM_UpdateAtHardwareSpeed4MiB(benchmark::State& state) {
  constexpr std::size_t kSize = 4 << 20;
  constexpr double kAccessSeconds = 1e-6;
  constexpr double kPausesSeconds = 1.0;
  const fs::path image = ImageFile(kSize);
  SimOptions options;
  options.rate = static_cast<std::uint32_t>(state.range(0));
  options.update_ms = 0;
  options.bus_ns = 1000;
  std::uint64_t accesses = 0;
  double seconds = 0;
  for (auto _ : state) {
    SimulatedBox box(options, nullptr);
    if (const char* error = UpdateOnce(box, image, kSize, &accesses, &seconds)) {
      state.SkipWithError(error);
      break;
    }
    state.SetIterationTime(seconds);
  }
  const double by_bus = static_cast<double>(accesses) * kAccessSeconds;
  const double by_box = options.rate > 0 ? static_cast<double>(kSize) / options.rate : 0.0;
  const double bound = std::max(by_bus, by_box) + kPausesSeconds;
  state.counters["accesses_per_byte"] = static_cast<double>(accesses) / kSize;
  state.counters["bound_s"] = bound;
  state.counters["ratio_to_bound"] = seconds / bound;
  state.counters["MB_per_s"] = static_cast<double>(kSize) / seconds / 1e6;
}
BENCHMARK(BM_UpdateAtHardwareSpeed4MiB)
    ->ArgNames({"rate"})
    ->Args({0})
    ->Args({2000000})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Peak resident memory of "m4410 update" with a 64 MiB image on the simulated box.
void BM_CommandPeakMemory64MiB(benchmark::State& state) {
  const fs::path image = ImageFile(64 << 20);
  long peak_kib = 0;
  for (auto _ : state) {
    std::string binary = M4410_BINARY;
    std::string command = "update", file = image.string(), sim = "--sim",
                options = "clock=virtual,update-ms=0", quiet = "--quiet";
    char* argv[] = {binary.data(), command.data(), file.data(), sim.data(), options.data(),
                    quiet.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("m4410 update failed");
      break;
    }
    peak_kib = usage.ru_maxrss;
  }
  state.counters["peak_MiB"] = static_cast<double>(peak_kib) / 1024.0;
}
BENCHMARK(BM_CommandPeakMemory64MiB)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace m4410

BENCHMARK_MAIN();
