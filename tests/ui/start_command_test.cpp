// Start refuses a file that is no update before anything reaches the port, and still runs the
// smallest one that is.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "board/stage_board.h"
#include "run/update_worker.h"
#include "sim/sim_rig.h"
#include "ui/start_command.h"

namespace m4410 {
namespace {

TEST(StartCommandTest, EmptyFileIsRefusedBeforeThePortAndAOneByteFileRuns) {
  test::ScratchDir dir;
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}}) {
    SCOPED_TRACE("a file of " + std::to_string(size) + " bytes");
    const std::string path = dir.Put("update.bin", test::ImageBytes(size));
    test::SimRig rig("");
    FileRows rows;
    rows.complete = true;
    rows.complete_path = &path;
    for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);

    const StartOutcome outcome = StartUpdate(rows);
    WaitForUpdateWorker();
    EXPECT_EQ(outcome.started, size > 0);
    if (size == 0) {
      EXPECT_EQ(outcome.message, path + " is empty. An empty file is not an update.");
      EXPECT_TRUE(outcome.warning);
      EXPECT_EQ(rig.log().claims, 0);
      EXPECT_EQ(GetStage(FileValidated), NoReport);
    } else {
      EXPECT_EQ(GetStage(UpdatingCompleted), Okay);
      EXPECT_EQ(rig.receipt().image_bytes, size);
    }
  }
}

}  // namespace
}  // namespace m4410
