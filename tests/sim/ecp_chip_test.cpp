// The simulated port chip on its own, through CablePeer with a stub box that records what the
// chip tells it: registers, FIFO, the host's misuses and the bus time of each access.
#include "sim/ecp_chip.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "port/parport_bits.h"

namespace m4410 {
namespace {

constexpr PortRange kStd = PortRange::Standard;
constexpr PortRange kExt = PortRange::Extended;
constexpr unsigned kData = 0, kStatus = 1, kControl = 2;
constexpr unsigned kFifo = 0, kConfigB = 1, kEcr = 2;

struct StubBox final : CablePeer {
  void Tick(std::int64_t now) override { ticks.push_back(now); }
  std::uint8_t StatusLines() override { return status; }
  void DataWritten() override { ++data_writes; }
  void ControlWritten(std::uint8_t old, std::uint8_t value) override {
    controls.push_back({old, value});
  }
  void EcrPolled() override { ++ecr_polls; }
  void FifoWritten() override { ++fifo_writes; }
  void Refused(HostFault fault) override { refused.push_back(fault); }
  void FifoEmptied(std::size_t bytes) override { emptied += bytes; }

  std::uint8_t status = 0xD8;
  std::vector<std::int64_t> ticks;
  int data_writes = 0;
  std::vector<std::pair<std::uint8_t, std::uint8_t>> controls;
  int ecr_polls = 0;
  int fifo_writes = 0;
  std::vector<HostFault> refused;
  std::size_t emptied = 0;
};

struct ChipRig {
  explicit ChipRig(std::uint32_t bus_ns = 0, bool has_ecr = true)
      : chip(bus_ns, has_ecr, &clock, &box) {}
  void Mode(unsigned mode) {
    chip.Write(kExt, kEcr, static_cast<std::uint8_t>((chip.Read(kExt, kEcr) & ~kEcrModeMask) |
                                                     EcrModeBits(mode)));
  }
  VirtualClock clock{1'000'000};
  StubBox box;
  EcpChip chip;
};

TEST(EcpChipTest, RegistersReachTheBoxAndReadBackAsAPortsDo) {
  ChipRig rig;
  EXPECT_EQ(rig.chip.Read(kStd, kStatus), 0xD8);  // the box's lines
  rig.box.status = 0x28;
  EXPECT_EQ(rig.chip.Read(kStd, kStatus), 0x28);
  EXPECT_EQ(rig.chip.Read(kStd, kControl), kControlCompatibilityIdle);  // power-on
  EXPECT_EQ(rig.chip.Read(kExt, kEcr), 0x15);  // standard mode, FIFO empty
  rig.chip.Write(kStd, kData, 0x42);
  rig.chip.Write(kStd, kControl, 0xC4);
  EXPECT_EQ(rig.chip.data(), 0x42);
  EXPECT_EQ(rig.chip.Read(kStd, kControl), 0xC4);
  EXPECT_EQ(rig.box.data_writes, 1);
  ASSERT_EQ(rig.box.controls.size(), 1u);
  EXPECT_EQ(rig.box.controls[0], std::make_pair(std::uint8_t{0x0C}, std::uint8_t{0xC4}));
  // Configuration registers only in mode 111: A reads 8-bit, B keeps what is written.
  rig.chip.Write(kExt, kConfigB, 0x0B);
  EXPECT_EQ(rig.chip.config_b(), 0x00);
  rig.Mode(kEcrModeConfig);
  rig.chip.Write(kExt, kConfigB, 0x0B);
  EXPECT_EQ(rig.chip.config_b(), 0x0B);
  EXPECT_EQ(rig.chip.Read(kExt, kConfigB), 0x0B);
  EXPECT_EQ(rig.chip.Read(kExt, kFifo), 0x10);
  rig.chip.Write(kExt, kFifo, 0x55);  // read-only, and no FIFO in this mode
  EXPECT_EQ(rig.chip.fifo_level(), 0u);
  EXPECT_TRUE(rig.box.refused.empty());
  EXPECT_GE(rig.box.ecr_polls, 2);
}

TEST(EcpChipTest, EcrShowsFifoFullAndEmptyAndLeavingEcpModeEmptiesIt) {
  ChipRig rig;
  rig.chip.Write(kExt, kEcr, 0x74);
  EXPECT_EQ(rig.chip.Read(kExt, kEcr), 0x75);
  for (int i = 0; i < 15; ++i) rig.chip.Write(kExt, kFifo, static_cast<std::uint8_t>(i));
  EXPECT_EQ(rig.chip.Read(kExt, kEcr), 0x74);  // neither full nor empty
  rig.chip.Write(kExt, kFifo, 15);
  EXPECT_EQ(rig.chip.Read(kExt, kEcr), 0x76);
  EXPECT_EQ(rig.box.fifo_writes, 16);
  EXPECT_EQ(rig.chip.Pop(), 0);  // the box's end, in order
  rig.Mode(kEcrModeByte);
  EXPECT_EQ(rig.chip.Read(kExt, kEcr), 0x35);
  EXPECT_EQ(rig.box.emptied, 15u);
  // The interrupt and DMA bits read back as written; written full/empty bits do not stick.
  rig.chip.Write(kExt, kEcr, 0x63);
  EXPECT_EQ(rig.chip.Read(kExt, kEcr), 0x61);
  EXPECT_TRUE(rig.box.refused.empty());
}

// What a real chip would not do for the host: each misuse reported to the box, the FIFO
// left as it was.
TEST(EcpChipTest, ReportsEachFifoMisuseAndKeepsTheFifo) {
  struct Case {
    bool reverse;
    int preload;  // bytes in the FIFO first
    bool write;
    HostFault fault;
  };
  const Case cases[] = {
      {false, 3, false, HostFault::FifoReadWhileForward},
      {true, 0, true, HostFault::FifoWriteWhileReverse},
      {false, 16, true, HostFault::FifoOverrun},
      {true, 0, false, HostFault::FifoUnderrun},
  };
  for (const Case& c : cases) {
    ChipRig rig;
    rig.chip.Write(kExt, kEcr, 0x74);
    for (int i = 0; i < c.preload; ++i) rig.chip.Push(static_cast<std::uint8_t>(i));
    if (c.reverse) rig.chip.Write(kStd, kControl, kControlReverse);
    if (c.write) {
      rig.chip.Write(kExt, kFifo, 0x42);
    } else {
      EXPECT_EQ(rig.chip.Read(kExt, kFifo), 0xFF);  // the bus floats
    }
    ASSERT_EQ(rig.box.refused.size(), 1u) << static_cast<int>(c.fault);
    EXPECT_EQ(rig.box.refused[0], c.fault);
    EXPECT_EQ(rig.chip.fifo_level(), static_cast<std::size_t>(c.preload));
  }
}

TEST(EcpChipTest, WithoutEcpRegistersTheExtendedRangeFloats) {
  ChipRig rig(0, false);
  rig.chip.Write(kExt, kEcr, 0x74);
  rig.chip.Write(kExt, kFifo, 0x42);
  EXPECT_EQ(rig.chip.Read(kExt, kEcr), 0xFF);
  EXPECT_EQ(rig.chip.Read(kExt, kFifo), 0xFF);
  EXPECT_EQ(rig.chip.fifo_level(), 0u);
  EXPECT_EQ(rig.box.ecr_polls, 0);
}

// A microsecond per access, and bus-ns more, owed to the nanosecond across accesses; the box
// sees each access at its time.
TEST(EcpChipTest, EveryAccessMovesTheVirtualClockByItsBusCost) {
  for (const std::int64_t bus_ns : {0, 400, 1000, 2500}) {
    ChipRig rig(static_cast<std::uint32_t>(bus_ns));
    const std::int64_t before = rig.clock.PeekMicros();
    for (int i = 0; i < 1000; ++i) rig.chip.Read(kStd, kStatus);
    EXPECT_NEAR(rig.clock.PeekMicros() - before, 1000 + bus_ns, 1) << bus_ns;
    EXPECT_EQ(rig.box.ticks.back(), rig.clock.PeekMicros());
  }
}

TEST(EcpChipTest, BusCostIsRealTimeOnTheRealClock) {
  StubBox box;
  EcpChip chip(200'000, true, nullptr, &box);
  // Each access holds the bus for its time: the eleventh starts once the tenth has let go.
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 11; ++i) chip.Read(kStd, kStatus);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2));
}

}  // namespace
}  // namespace m4410
