#include "ui/start_command.h"

#include "board/stage_board.h"
#include "run/update_file_check.h"
#include "run/update_worker.h"
#include "ui/start_checks.h"

namespace m4410 {

StartOutcome StartUpdate(const FileRows& rows) {
  // 1. Which file.
  const std::string* path = nullptr;
  const FileChoice choice = ChooseUpdateFile(rows.complete, rows.menu, rows.program, rows.table);
  switch (choice) {
    case FileChoice::Complete: path = rows.complete_path; break;
    case FileChoice::Menu: path = rows.menu_path; break;
    case FileChoice::Program: path = rows.program_path; break;
    case FileChoice::Table: path = rows.table_path; break;
    case FileChoice::NotYet: return {false, kNotYetText, false};
    case FileChoice::Nothing: return {false, kNothingChosenText, false};
  }

  // 2. The file must open for reading and writing, and be one the box can take.
  const UpdateFileCheck check =
      CheckUpdateFile(*path, UpdateFileAccess::ReadWrite, SharingWhileChecked(choice));
  if (!check.ok) {
    return {false, FileErrorText(check.cause, check.named ? *path : std::string()), true};
  }

  // One worker holds the port at a time: an earlier run's worker must end first.
  if (UpdateWorkerRunning()) return {false, kStillFinishingText, false};

  // 3, 4. A clean board and a raised flag before the worker starts.
  for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
  RaiseKeepGoing();

  // 5, 6. The worker copies the path it is given at once.
  if (!StartUpdateWorker(path)) {
    LowerKeepGoing();
    return {false, kStillFinishingText, false};
  }
  return {true, {}, false};
}

}  // namespace m4410
