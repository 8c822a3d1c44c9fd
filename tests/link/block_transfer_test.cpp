#include "link/block_transfer.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "link/link_limits.h"
#include "link/link_rig.h"

namespace m4410 {
namespace {

using test::kControl;
using test::kEcr;
using test::kExt;
using test::kFifo;
using test::kStatus;
using test::kStd;
using test::LinkRig;
using test::ScriptedPort;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kMs = 1000;  // virtual microseconds

Bytes Counting(std::size_t n) {
  Bytes bytes(n);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{1});
  return bytes;
}

std::string Repeat(const std::string& part, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += part;
  return out;
}

std::size_t FifoWrites(const ScriptedPort& port) { return port.WriteCount(kExt, kFifo); }

class BlockTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BytesWritten.store(0);
    BytesToWrite.store(0);
  }
  LinkRig rig;
};

TEST_F(BlockTransferTest, SeventeenBytesIntoAnEmptyFifoGoAsOneBurstAndOneByte) {
  const Bytes data = Counting(17);
  EXPECT_EQ(BlockWrite(&rig.context, data.data(), 17), 0);
  EXPECT_EQ(rig.port.Trace(), "c" "se" + Repeat("F", 16) + "se" "F");
  EXPECT_EQ(rig.port.Written(kExt, kFifo), data);
  EXPECT_EQ(BytesWritten.load(), 17);
  EXPECT_EQ(WriteProgressPercent(), 100);
}

TEST_F(BlockTransferTest, SixteenBytesGoOneByOneEachAfterACheck) {
  const Bytes data = Counting(16);
  EXPECT_EQ(BlockWrite(&rig.context, data.data(), 16), 0);
  EXPECT_EQ(rig.port.Trace(), "c" + Repeat("seF", 16));
  EXPECT_EQ(rig.port.Written(kExt, kFifo), data);
}

TEST_F(BlockTransferTest, AFifoHoldingDataTakesSingleBytes) {
  rig.port.Answer(kExt, kEcr, [](ScriptedPort&) -> std::uint8_t { return 0x74; });
  const Bytes data = Counting(40);
  EXPECT_EQ(BlockWrite(&rig.context, data.data(), 40), 0);
  EXPECT_EQ(rig.port.Trace(), "c" + Repeat("seF", 40));
}

TEST_F(BlockTransferTest, WriteWhileReverseTurnsForwardFirst) {
  rig.port.Set(kStd, kControl, 0x20);
  const Bytes data = Counting(5);
  EXPECT_EQ(BlockWrite(&rig.context, data.data(), 5), 0);
  EXPECT_EQ(rig.port.Written(kStd, kControl), (Bytes{0x24, 0x04}));
  const std::string trace = rig.port.Trace();
  EXPECT_LT(trace.rfind('C'), trace.find('F'));
  EXPECT_EQ(rig.port.Written(kExt, kFifo), data);
}

// Select drops once the box has taken `taken` bytes; the FIFO always holds data, so every
// byte is checked.
int WriteUntilSelectDrops(LinkRig& rig, std::int32_t n, std::size_t taken) {
  rig.port.Answer(kExt, kEcr, [](ScriptedPort&) -> std::uint8_t { return 0x74; });
  rig.port.Answer(kStd, kStatus, [taken](ScriptedPort& port) -> std::uint8_t {
    return FifoWrites(port) < taken ? 0xF8 : 0xE8;
  });
  const Bytes data = Counting(static_cast<std::size_t>(n));
  return BlockWrite(&rig.context, data.data(), n);
}

TEST_F(BlockTransferTest, LinkLostMidWriteReportsTheCountAndKeepsIt) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(WriteUntilSelectDrops(rig, 5000, 1000), -1);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Write error -1, byte written 1000\n");
  EXPECT_EQ(FifoWrites(rig.port), 1000u);
  EXPECT_EQ(BytesWritten.load(), 1000);
  EXPECT_EQ(BytesToWrite.load(), 5000);
  EXPECT_EQ(WriteProgressPercent(), 20);
  EXPECT_EQ(WriteProgressPercent(), 20);
}

TEST_F(BlockTransferTest, ProgressTruncatesTowardZero) {
  for (const auto& [taken, percent] : {std::pair{1u, 33}, std::pair{2u, 66}}) {
    LinkRig local;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(WriteUntilSelectDrops(local, 3, taken), -1);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(WriteProgressPercent(), percent) << taken << " of 3";
  }
}

TEST_F(BlockTransferTest, BadArgumentsTouchNoPort) {
  const Bytes data = Counting(8);
  std::uint8_t buffer[8] = {};

  BytesWritten.store(5);
  EXPECT_EQ(BlockWrite(&rig.context, data.data(), 0), -1);
  EXPECT_EQ(BytesWritten.load(), 0);
  EXPECT_EQ(BytesToWrite.load(), 0);
  EXPECT_EQ(WriteProgressPercent(), 0);
  EXPECT_EQ(BlockWrite(&rig.context, data.data(), -4), -1);
  EXPECT_EQ(WriteProgressPercent(), 0);
  EXPECT_EQ(BlockWrite(&rig.context, nullptr, 7), -1);
  EXPECT_EQ(BytesToWrite.load(), 7);  // set before the checks
  EXPECT_EQ(BlockWrite(nullptr, data.data(), 7), -1);

  EXPECT_EQ(BlockRead(&rig.context, buffer, 0), -1);
  EXPECT_EQ(BlockRead(&rig.context, nullptr, 8), -1);
  EXPECT_EQ(BlockRead(nullptr, buffer, 8), -1);
  EXPECT_EQ(BlockRead(&rig.context, buffer, 8, 0), -1);
  EXPECT_TRUE(rig.port.log().empty());
}

TEST_F(BlockTransferTest, ReadFromForwardTurnsReverseThenReadsEachByteWhenShown) {
  const Bytes record = Counting(12);
  rig.port.Queue(kExt, kFifo, {record.begin(), record.end()});
  int polls = 0;
  rig.port.Answer(kExt, kEcr, [&polls](ScriptedPort& port) -> std::uint8_t {
    const std::uint8_t mode_bits = port.Held(kExt, kEcr) & 0xFC;
    const bool reverse = (port.Held(kStd, kControl) & 0x20) != 0;
    const bool shows_data = reverse && ++polls % 3 == 0;  // two empty polls before each byte
    return static_cast<std::uint8_t>(mode_bits | (shows_data ? 0x00 : 0x01));
  });
  Bytes buffer(12);
  EXPECT_EQ(BlockRead(&rig.context, buffer.data(), 12), 0);
  EXPECT_EQ(buffer, record);

  EXPECT_EQ(rig.port.Written(kStd, kControl), (Bytes{0x24, 0x20}));
  const auto& log = rig.port.log();
  const std::string trace = rig.port.Trace();
  EXPECT_LT(trace.rfind('C'), trace.find('f'));
  int fifo_reads = 0;
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (log[i].write || log[i].range != kExt || log[i].offset != kFifo) continue;
    ++fifo_reads;
    ASSERT_GT(i, 0u);
    EXPECT_EQ(log[i - 1].offset, kEcr);
    EXPECT_EQ(log[i - 1].value & 0x01, 0) << "FIFO read " << fifo_reads << " before data";
  }
  EXPECT_EQ(fifo_reads, 12);
  EXPECT_TRUE(rig.clock.sleeps().empty());
}

TEST_F(BlockTransferTest, ReadGivesUpOnAByteThatNeverComesPausingAfter100Ms) {
  rig.port.Set(kStd, kControl, 0x20);
  rig.port.Queue(kExt, kEcr, {0x74, 0x74});  // two bytes, then silence
  rig.port.Queue(kExt, kFifo, {0xAA, 0xBB});
  rig.port.Answer(kExt, kEcr, [](ScriptedPort&) -> std::uint8_t { return 0x75; });
  Bytes buffer(4);
  const std::int64_t start = rig.clock.PeekMicros();
  EXPECT_EQ(BlockRead(&rig.context, buffer.data(), 4), -1);
  const std::int64_t took = rig.clock.PeekMicros() - start;
  EXPECT_GE(took, kByteReadTimeoutMs * kMs);
  EXPECT_LT(took, (kByteReadTimeoutMs + 10) * kMs);
  EXPECT_EQ(buffer, (Bytes{0xAA, 0xBB, 0, 0}));

  const auto& sleeps = rig.clock.sleeps();
  ASSERT_FALSE(sleeps.empty());
  EXPECT_GE(sleeps.front().at - start, kPollPauseAfterMs * kMs);
  EXPECT_GT(sleeps.size(), 9800u);  // one per pass after the first 100 ms
  EXPECT_LE(sleeps.size(), 9900u);
  for (const auto& sleep : sleeps) EXPECT_EQ(sleep.ms, 1);
}

TEST_F(BlockTransferTest, ReadWithItsOwnBoundWaitsThatLong) {
  rig.port.Set(kStd, kControl, 0x20);
  std::uint8_t byte = 0;
  const std::int64_t start = rig.clock.PeekMicros();
  EXPECT_EQ(BlockRead(&rig.context, &byte, 1, 25000), -1);
  const std::int64_t took = rig.clock.PeekMicros() - start;
  EXPECT_GE(took, 25000 * kMs);
  EXPECT_LT(took, 25010 * kMs);
}

// The FIFO fills after `taken` bytes and stays full for `full_ms`, Select high throughout.
int WriteIntoStalledFifo(LinkRig& rig, std::int32_t n, std::size_t taken, std::int64_t full_ms) {
  std::int64_t full_since = -1;
  rig.port.Answer(kExt, kEcr, [&](ScriptedPort& port) -> std::uint8_t {
    if (FifoWrites(port) < taken) return 0x74;
    if (full_since < 0) full_since = rig.clock.PeekMicros();
    return rig.clock.PeekMicros() - full_since < full_ms * kMs ? 0x76 : 0x74;
  });
  const Bytes data = Counting(static_cast<std::size_t>(n));
  return BlockWrite(&rig.context, data.data(), n);
}

TEST_F(BlockTransferTest, FifoStuckFullWithSelectHighFailsAfterItsBound) {
  ::testing::internal::CaptureStdout();
  const std::int64_t start = rig.clock.PeekMicros();
  EXPECT_EQ(WriteIntoStalledFifo(rig, 20, 5, 1000000), -1);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Write error -1, byte written 5\n");
  const std::int64_t took = rig.clock.PeekMicros() - start;
  EXPECT_GE(took, kFifoStallTimeoutMs * kMs);
  EXPECT_LT(took, (kFifoStallTimeoutMs + 10) * kMs);
  EXPECT_EQ(BytesWritten.load(), 5);
  EXPECT_EQ(WriteProgressPercent(), 25);
  ASSERT_FALSE(rig.clock.sleeps().empty());
  EXPECT_GE(rig.clock.sleeps().front().at - start, kPollPauseAfterMs * kMs);
}

TEST_F(BlockTransferTest, FifoFullForAWhileOnlyDelaysTheWrite) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(WriteIntoStalledFifo(rig, 20, 5, kFifoStallTimeoutMs - 1000), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(FifoWrites(rig.port), 20u);
}

// Every way a turn round can fail: the box keeps our last bytes (Select high), drops the link
// with them in the FIFO, or never acknowledges the request. The transfer fails and the FIFO
// is not touched: a read would take our own bytes back, a write would put them nowhere.
TEST_F(BlockTransferTest, FailedTurnFailsTheTransferWithoutTouchingTheFifo) {
  struct Case {
    const char* name;
    std::uint8_t control;  // the direction the port starts in
    std::uint8_t status;   // what the box shows throughout
    std::uint8_t fifo;     // ECR bits 1-0: 0 holds data, 1 empty
  };
  const Case cases[] = {
      {"read: our bytes never drain", 0x04, 0xF8, 0x00},
      {"read: link lost with our bytes in the FIFO", 0x04, 0xE8, 0x00},
      {"read: reverse request never acknowledged", 0x04, 0xF8, 0x01},
      {"write: reverse not withdrawn", 0x20, 0xD8, 0x01},
  };
  for (const Case& c : cases) {
    LinkRig local;
    local.port.Set(kStd, kControl, c.control);
    local.port.Answer(kStd, kStatus, [&c](ScriptedPort&) { return c.status; });
    local.port.Answer(kExt, kEcr, [&c](ScriptedPort& p) {
      return static_cast<std::uint8_t>((p.Held(kExt, kEcr) & 0xFC) | c.fifo);
    });
    Bytes buffer(12, 0x5A);
    const int result = c.control & 0x20 ? BlockWrite(&local.context, buffer.data(), 12)
                                        : BlockRead(&local.context, buffer.data(), 12);
    EXPECT_EQ(result, -1) << c.name;
    EXPECT_TRUE(local.port.Accesses(kExt, kFifo, false).empty()) << c.name;
    EXPECT_TRUE(local.port.Accesses(kExt, kFifo, true).empty()) << c.name;
    EXPECT_EQ(buffer, Bytes(12, 0x5A)) << c.name;
  }
}

}  // namespace
}  // namespace m4410
