#include "run/stage_board.h"

namespace m4410 {

namespace {
// One cell per stage, index 0 unused so that a stage number is its own index.
std::atomic<StageStatus> cells[kStageCount + 1];
std::atomic<std::int32_t> keep_going{1};

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

void SetStage(int stage, StageStatus status) { cells[stage].store(status); }
StageStatus GetStage(int stage) { return cells[stage].load(); }

void RaiseKeepGoing() { keep_going.store(1); }
void LowerKeepGoing() { keep_going.store(0); }
bool KeepGoing() { return keep_going.load() != 0; }

const char* StageCaption(int stage) {
  return stage >= 1 && stage <= kStageCount ? kCaptions[stage] : "";
}

}  // namespace m4410
