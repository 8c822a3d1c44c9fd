// A worker's reports stepped between a reader's looks at the stage board, so a test can put
// them between any two reads of a display's poll.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "board/stage_board.h"

namespace m4410 {

using StageReport = std::pair<int, StageStatus>;

// The reports a run writes, in the worker's order: a completed run (failed 0), or one whose
// first failure is at stage failed, which ends with stage 7's failure.
inline std::vector<StageReport> WorkerReports(int failed) {
  std::vector<StageReport> reports;
  const int last = failed == 0 ? UpdatingCompleted : failed;
  for (int stage = 1; stage <= last; ++stage) {
    if (stage == SoftwareTransmitted || stage == BoxUpdated) reports.emplace_back(stage, Busy);
    reports.emplace_back(stage, stage == failed ? Failed : Okay);
  }
  if (failed != 0 && failed != UpdatingCompleted) reports.emplace_back(UpdatingCompleted, Failed);
  return reports;
}

class SteppedWorker {
 public:
  // Empties the board and writes the first `written` reports; the rest land at once right
  // after the reader's read number land_after_read (from 1).
  SteppedWorker(std::vector<StageReport> reports, std::size_t written, int land_after_read)
      : reports_(std::move(reports)), land_after_read_(land_after_read) {
    for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
    while (next_ < written && next_ < reports_.size()) Write();
  }

  StageReader Reader() {
    return [this](int stage) {
      const StageStatus status = GetStage(stage);
      if (++reads_ == land_after_read_) {
        while (next_ < reports_.size()) Write();
      }
      return status;
    };
  }

 private:
  void Write() {
    SetStage(reports_[next_].first, reports_[next_].second);
    ++next_;
  }

  std::vector<StageReport> reports_;
  std::size_t next_ = 0;
  int land_after_read_;
  int reads_ = 0;
};

}  // namespace m4410
