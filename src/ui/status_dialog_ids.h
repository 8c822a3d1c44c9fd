// The status window (template 103) and its controls by ID, as every window finds them.
#pragma once

namespace m4410 {

inline constexpr int kStatusDialogTemplate = 103;

enum StatusDialogControl : int {
  kStatusButton = 2,  // the window's one command, Cancel, whatever its caption
  kStatusProgress = 1003,
  kStageResult = 1052,  // the results of stages 1 to 7: 1052 to 1058
  kStatusMessage = 1059,
};

// The control that shows stage's result (stage 1 to 7).
constexpr int StageResultControl(int stage) { return kStageResult + stage - 1; }

}  // namespace m4410
