// The seven stage cells and the keep-going flag: the only state the worker and the display
// share. Plain atomic loads and stores; never a read-modify-write.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

namespace m4410 {

enum UpdateStage : int {
  FileValidated = 1,
  DriverInitialized = 2,
  DatalinkEstablished = 3,
  BoxInformationReceived = 4,
  SoftwareTransmitted = 5,
  BoxUpdated = 6,
  UpdatingCompleted = 7,
};
inline constexpr int kStageCount = 7;

using StageStatus = std::int32_t;
inline constexpr StageStatus NoReport = 0;
inline constexpr StageStatus Okay = 1;
inline constexpr StageStatus Failed = 2;
inline constexpr StageStatus Busy = 3;  // stages 5 and 6 only

void SetStage(int stage, StageStatus status);
StageStatus GetStage(int stage);

// Every cell at one look, index 0 unused so that a stage number is its own index. The last
// stage is read first: the worker writes its reports in stage order, so a report seen on one
// stage means every report written before it is seen too, and a reader that stops on a stage
// never leaves an earlier one behind. read is GetStage unless a test steps a worker between
// the reads.
using StageReader = std::function<StageStatus(int stage)>;
using StageCells = std::array<StageStatus, kStageCount + 1>;
StageCells ReadStages(const StageReader& read = GetStage);

// The last final report (Okay or Failed) written to each stage in the current run, kept for
// the update log after the status window has taken the reports; NoReport where none came.
StageStatus StageResult(int stage);
void ClearStageResults();

void RaiseKeepGoing();
void LowerKeepGoing();
bool KeepGoing();

// True while image bytes are on their way to the box: from stage 5's Busy until the image's
// write has returned. The program never ends inside that window, since a box cut off
// mid-image is worse off than one never started; outside it, leaving is safe.
void SetImageInFlight(bool in_flight);
bool ImageInFlight();

// The caption of a stage as the status display shows it ("File validated:" ...).
const char* StageCaption(int stage);

}  // namespace m4410
