// Cost of the simulated box per port access: a whole image sent the way the link's block
// write sends it (a state check before each byte, bursts of 16 into an empty FIFO), to a
// prompt box and to one that takes a byte a second, where virtual time should jump ahead.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "port/parport_bits.h"
#include "sim/simulated_box.h"

namespace m4410 {
namespace {

// Brings the box to forward idle with the same register steps as the link layer.
void Link(PortAccess& port, VirtualClock& clock) {
  auto wait = [&](std::uint8_t ones, std::uint8_t zeros) {
    for (int i = 0; i < 100000; ++i) {
      const std::uint8_t s = port.Read(PortRange::Standard, 1);
      if ((s & ones) == ones && (~s & zeros) == zeros) return;
    }
  };
  // Negotiation: events 0 to 6.
  port.Write(PortRange::Standard, 2, kControlCompatibilityIdle);
  port.Write(PortRange::Standard, 0, kExtensibilityEcp);
  clock.Advance(10000);
  port.Write(PortRange::Standard, 2, kControlInit | kControlAutoFd);
  wait(kStatusNFault | kStatusSelect | kStatusPError, kStatusNAck);
  port.Write(PortRange::Standard, 2, kControlInit | kControlAutoFd | kControlStrobe);
  clock.Advance(1000);
  port.Write(PortRange::Standard, 2, kControlInit);
  wait(kStatusNotBusy | kStatusNAck | kStatusSelect, kStatusPError);
  // ECP set-up: events 30 and 31, then the chip in ECP mode.
  port.Write(PortRange::Standard, 2, kControlInit | kControlAutoFd);
  wait(kStatusPError, 0);
  port.Write(PortRange::Standard, 2, kControlInit);
  port.Write(PortRange::Extended, 2,
             EcrModeBits(kEcrModeEcp) | kEcrErrorIrqOff | kEcrServiceIrqOff);
}

void BM_ImageThroughSimulatedBox(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const auto rate = static_cast<std::uint32_t>(state.range(1));
  std::vector<std::uint8_t> image(size, 0xA5);
  std::uint64_t accesses = 0;
  for (auto _ : state) {
    VirtualClock clock;
    SimOptions options;
    options.opening = false;
    options.rate = rate;
    SimulatedBox box(options, &clock);
    auto port = box.MakeAccess();
    port->Claim();
    Link(*port, clock);
    const std::uint8_t header[12] = {0, 0, 0, 1, 0x40, 0x20, 0, 0,
                                     static_cast<std::uint8_t>(size >> 24),
                                     static_cast<std::uint8_t>(size >> 16),
                                     static_cast<std::uint8_t>(size >> 8),
                                     static_cast<std::uint8_t>(size)};
    auto send = [&](const std::uint8_t* data, std::size_t n) {
      std::size_t i = 0;
      while (i < n) {
        ++accesses;
        if (!(port->Read(PortRange::Standard, 1) & kStatusSelect)) return;
        ++accesses;
        const std::uint8_t ecr = port->Read(PortRange::Extended, 2);
        if (ecr & kEcrFifoFull) continue;
        const std::size_t burst = (ecr & kEcrFifoEmpty) && i + 16 < n ? 16 : 1;
        for (std::size_t k = 0; k < burst; ++k, ++accesses) {
          port->Write(PortRange::Extended, 0, data[i++]);
        }
      }
    };
    send(header, sizeof header);
    send(image.data(), image.size());
    while (!(port->Read(PortRange::Extended, 2) & kEcrFifoEmpty)) ++accesses;
    if (box.Receipt().image_bytes != size) {
      state.SkipWithError("the box did not take the whole image");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
  state.counters["accesses/s"] =
      benchmark::Counter(static_cast<double>(accesses), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ImageThroughSimulatedBox)
    ->Args({64 * 1024, 2000000})
    ->Args({4 * 1024 * 1024, 2000000})
    ->Args({256, 1})  // over four simulated minutes
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace m4410

BENCHMARK_MAIN();
