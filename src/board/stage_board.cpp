#include "board/stage_board.h"

namespace m4410 {

namespace {
// One cell per stage, index 0 unused so that a stage number is its own index.
std::atomic<StageStatus> cells[kStageCount + 1];
std::atomic<StageStatus> results[kStageCount + 1];
std::atomic<std::int32_t> keep_going{1};
std::atomic<bool> image_in_flight{false};

constexpr const char* kCaptions[kStageCount + 1] = {
    "",
    "File validated:",
    "Driver initialized:",
    "Datalink established:",
    "Box informaition received:",
    "New software transmitted:",
    "Box updated:",
    "Software updating completed:",
};
}  // namespace

void SetStage(int stage, StageStatus status) {
  cells[stage].store(status);
  if (status == Okay || status == Failed) results[stage].store(status);
}

StageStatus StageResult(int stage) { return results[stage].load(); }

void ClearStageResults() {
  for (auto& result : results) result.store(NoReport);
}
StageStatus GetStage(int stage) { return cells[stage].load(); }

StageCells ReadStages(const StageReader& read) {
  StageCells seen{};
  for (int stage = kStageCount; stage >= 1; --stage) {
    seen[static_cast<std::size_t>(stage)] = read(stage);
  }
  return seen;
}

void RaiseKeepGoing() { keep_going.store(1); }
void LowerKeepGoing() { keep_going.store(0); }
bool KeepGoing() { return keep_going.load() != 0; }

void SetImageInFlight(bool in_flight) { image_in_flight.store(in_flight); }
bool ImageInFlight() { return image_in_flight.load(); }

const char* StageCaption(int stage) {
  return stage >= 1 && stage <= kStageCount ? kCaptions[stage] : "";
}

}  // namespace m4410
