// Leaving while an update runs: never inside the image, at once after it.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "board/run_cause.h"
#include "link/block_transfer.h"
#include "board/stage_board.h"
#include "run/update_worker.h"
#include "sim/crc32.h"
#include "sim/sim_rig.h"

namespace m4410 {
namespace {

using test::PortEvent;

constexpr std::size_t kImageSize = 1000;
constexpr std::size_t kHeaderSize = 12;
constexpr std::int64_t kOneSecondUs = 1'000'000;

struct Outcome {
  bool safe_when_asked = true;
  std::int64_t left_at_us = -1;
  std::int64_t released_at_us = -1;
  BoxReceipt receipt;
};

// Runs a whole update on a box that never sends its closing record, and asks to leave once
// `leave_after` FIFO writes have gone out (the header is the first 12).
Outcome RunAndLeave(std::size_t leave_after) {
  for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
  RaiseKeepGoing();
  SetStopWaitingForBox(false);
  test::ScratchDir dir;
  const test::Bytes image = test::ImageBytes(kImageSize);
  std::string path = dir.Put("update.bin", image);

  test::SimRig rig("closing=no,update-ms=10");
  Outcome outcome;
  rig.log().watchers.push_back([&](const PortEvent& e) {
    if (outcome.left_at_us < 0 && e.Fifo() && e.kind == PortEvent::Write &&
        rig.log().fifo_writes == leave_after) {
      outcome.safe_when_asked = UpdateSafeToLeave();
      outcome.left_at_us = rig.clock().PeekMicros();
      LeaveUpdate();
    }
  });
  rig.log().before_release = [&] { outcome.released_at_us = rig.clock().PeekMicros(); };
  UpdateWorker(&path);
  outcome.receipt = rig.receipt();
  EXPECT_EQ(outcome.receipt.image_crc32, Crc32Extend(0, image.data(), image.size()));
  SetStopWaitingForBox(false);
  return outcome;
}

TEST(LeaveUpdateTest, NeverCutsTheImageAndEndsPromptlyOnceItIsIn) {
  // The header's last byte, the first image byte, bytes at and around a burst edge, the last.
  for (const std::size_t at : {kHeaderSize, kHeaderSize + 1, kHeaderSize + 16, kHeaderSize + 17,
                               kHeaderSize + kImageSize / 2, kHeaderSize + kImageSize}) {
    SCOPED_TRACE(at);
    const Outcome o = RunAndLeave(at);
    ASSERT_GE(o.left_at_us, 0);
    EXPECT_EQ(o.safe_when_asked, at <= kHeaderSize) << "only the image is unsafe to leave";
    EXPECT_TRUE(o.receipt.image_complete);
    EXPECT_EQ(o.receipt.image_bytes, kImageSize);
    // No closing record ever comes; leaving must not wait out its ten-minute bound, and with
    // the image in the box it is no failure: stage 6 stays under way, stage 7 unreported.
    EXPECT_TRUE(LeftBeforeConfirmation());
    EXPECT_EQ(GetStage(BoxUpdated), Busy);
    EXPECT_EQ(GetStage(UpdatingCompleted), NoReport);
    EXPECT_EQ(RunCause(), "");
    EXPECT_TRUE(o.receipt.terminated) << "the link is ended before the port is released";
    EXPECT_LT(o.released_at_us - o.left_at_us, 2 * kOneSecondUs);
  }
}

}  // namespace
}  // namespace m4410
