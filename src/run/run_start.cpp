#include "run/run_start.h"

#include "board/stage_board.h"
#include "run/update_worker.h"

namespace m4410 {

bool BeginUpdateRun(const std::string* path, WorkerStart start) {
  if (UpdateWorkerRunning()) return false;
  // The last run's results go too, so that what the board says once a status window has
  // closed is this run's alone.
  for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
  ClearStageResults();
  RaiseKeepGoing();
  if (start(path)) return true;
  LowerKeepGoing();
  return false;
}

}  // namespace m4410
