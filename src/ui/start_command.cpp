#include "ui/start_command.h"

#include "run/run_start.h"
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
    const std::string remedy = FileRefusalRemedy(check.cause);
    return {false,
            FileErrorText(check.cause, check.named ? *path : std::string()) +
                (remedy.empty() ? "" : "\n\n" + remedy),
            true};
  }

  // 3 to 6: a clean board and a raised flag, then the worker, which copies the path at once.
  // One worker holds the port at a time: an earlier run's worker must end first.
  if (!BeginUpdateRun(path, &StartUpdateWorker)) return {false, kStillFinishingText, false};
  return {true, {}, false};
}

}  // namespace m4410
