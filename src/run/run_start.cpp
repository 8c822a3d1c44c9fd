#include "run/run_start.h"

#include "board/stage_board.h"
#include "run/update_worker.h"

namespace m4410 {

bool BeginUpdateRun(const std::string* path, WorkerStart start) {
  if (UpdateWorkerRunning()) return false;
  for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
  RaiseKeepGoing();
  if (start(path)) return true;
  LowerKeepGoing();
  return false;
}

}  // namespace m4410
