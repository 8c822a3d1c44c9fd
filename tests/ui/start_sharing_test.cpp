// Start, and the command, while another program holds the chosen file: a file still being
// written is refused for every choice; one that is only being read may be sent whole
// (Complete, Menu, the command), not as a part file (Program, Table), which the check holds to
// itself.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "board/stage_board.h"
#include "run/update_worker.h"
#include "sim/sim_rig.h"
#include "support/child_process.h"
#include "ui/start_checks.h"  // FileChoice
#include "ui/start_command.h"

namespace m4410 {
namespace {

namespace fs = std::filesystem;

// Another program with the file open until the object goes.
class Holder {
 public:
  Holder(const fs::path& dir, const std::string& file, const char* mode)
      : ready_(dir / (std::string(mode) + ".ready")) {
    started_ = child_.Start(M4410_HOLD_FILE, {file, mode, ready_.string()}, dir,
                            dir / "holder.out", dir / "holder.err");
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (started_ && !fs::exists(ready_) && std::chrono::steady_clock::now() < limit) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~Holder() {
    std::error_code ignored;
    fs::remove(ready_, ignored);
    int status = 0;
    child_.Wait(std::chrono::seconds(60), &status);
  }
  bool Holding() const { return fs::exists(ready_); }

 private:
  fs::path ready_;
  ChildProcess child_;
  bool started_ = false;
};

TEST(StartSharingTest, HeldForWritingRefusedForEveryChoiceHeldForReadingOnlyTheWholeImageRuns) {
  test::ScratchDir dir;
  const std::string path = dir.Put("update.bin", test::ImageBytes(300));
  const std::string remedy =
      "Close the program that is still writing the file, or wait until the copy ends, then "
      "try again.";
  const std::string violation =
      "A sharing violation occurred while accessing " + path + ".\n\n" + remedy;
  for (const char* mode : {"write", "read"}) {
    Holder holder(dir.root(), path, mode);
    ASSERT_TRUE(holder.Holding()) << mode;
    {
      SCOPED_TRACE(std::string(mode) + ", the command");
      ChildProcess command;
      ASSERT_TRUE(command.Start(M4410_BINARY,
                                {"update", path, "--port", "sim", "--sim", "clock=virtual"},
                                dir.root(), dir.root() / "m4410.out", dir.root() / "m4410.err"));
      int status = -1;
      ASSERT_TRUE(command.Wait(std::chrono::seconds(60), &status));
      std::ifstream err_file(dir.root() / "m4410.err", std::ios::binary);
      std::stringstream err;
      err << err_file.rdbuf();
      if (std::string(mode) == "read") {
        EXPECT_EQ(status, 0) << err.str();
      } else {
        EXPECT_EQ(status, 66) << err.str();
        EXPECT_NE(err.str().find("m4410: " + remedy), std::string::npos) << err.str();
      }
    }
    for (const FileChoice choice :
         {FileChoice::Complete, FileChoice::Menu, FileChoice::Program, FileChoice::Table}) {
      SCOPED_TRACE(std::string(mode) + ", choice " + std::to_string(static_cast<int>(choice)));
      // Others may read while the check holds the whole image (Complete, Menu); nobody may
      // touch a part file (Program, Table).
      const bool runs = std::string(mode) == "read" &&
                        (choice == FileChoice::Complete || choice == FileChoice::Menu);
      test::SimRig rig("");
      FileRows rows;
      rows.complete = choice == FileChoice::Complete;
      rows.menu = choice == FileChoice::Menu;
      rows.program = choice == FileChoice::Program;
      rows.table = choice == FileChoice::Table;
      rows.complete_path = rows.menu_path = rows.program_path = rows.table_path = &path;
      for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);

      const StartOutcome outcome = StartUpdate(rows);
      WaitForUpdateWorker();
      EXPECT_EQ(outcome.started, runs);
      if (runs) {
        EXPECT_EQ(GetStage(UpdatingCompleted), Okay);
        EXPECT_EQ(rig.receipt().image_bytes, 300u);
      } else {
        EXPECT_EQ(outcome.message, violation);
        EXPECT_TRUE(outcome.warning);
        EXPECT_EQ(rig.log().claims, 0);
      }
    }
  }
}

}  // namespace
}  // namespace m4410
