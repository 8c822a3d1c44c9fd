#include "ui/status_display.h"

#include <algorithm>
#include <cstdio>

#include "board/run_cause.h"
#include "link/block_transfer.h"
#include "protocol/transfer_cause.h"

namespace m4410 {

namespace {

constexpr int kProgressStep = 10;  // the bar's default step, never changed
constexpr int kTickMs = 250;

// Share of the span that stages 1 to 4 set the bar to when they complete. The constants are
// single precision, the products double, as the window has always computed them.
constexpr float kStageShare[5] = {0.0f, 0.01f, 0.02f, 0.03f, 0.04f};
constexpr float kSendShare = 0.0031f;
constexpr float kSendBase = 0.04f;
constexpr float kEstimateBase = 35.0f;
constexpr float kEstimateScale = 1.6949153f;  // 100 / 59: 35 % to 94 % of the bar is 0 to 100

int Truncate(double value) {
  if (!(value > -2147483648.0 && value < 2147483648.0)) return 0;
  return static_cast<int>(value);
}

std::string Percent(const char* format, int percent) {
  char text[48];
  std::snprintf(text, sizeof text, format, percent);
  return text;
}

}  // namespace

void StatusDisplay::Tick() {
  if (!shown_.polling) return;
  const int span = StatusShown::kUpper - StatusShown::kLower;
  // Stage 6's progress, left in its cell, sets it again on every tick that it still holds.
  shown_.countdown.clear();

  // The whole board at one look, so the report that stops polling never leaves an earlier
  // one unshown. Then every stage once, in order; the rest of the tick still runs after the
  // timer is stopped.
  const StageCells cells = ReadStages(read_);
  for (int stage = 1; stage <= kStageCount; ++stage) {
    const StageStatus status = cells[static_cast<std::size_t>(stage)];
    if (status == NoReport) continue;
    std::string& result = shown_.results[static_cast<std::size_t>(stage - 1)];

    if (stage <= BoxInformationReceived) {
      if (status == Okay) {
        result = "Okay";
        SetPos(Truncate(static_cast<double>(span) * kStageShare[stage]));
      } else {
        ShowFailure(stage);
      }
      SetStage(stage, NoReport);
    } else if (stage == SoftwareTransmitted) {
      if (status == Busy) {
        // Read twice, as the window always has: once for the bar, once for the text.
        const double s = static_cast<float>(span);
        SetPos(Truncate(WriteProgressPercent() * s * kSendShare + s * kSendBase));
        shown_.message = Percent("Sending data. %d%% complete.", WriteProgressPercent());
        continue;
      }
      if (status == Okay) {
        result = "Okay";
        shown_.image_in_box = true;
      } else {
        ShowFailure(stage);
      }
      shown_.message.clear();
      SetStage(stage, NoReport);
    } else if (stage == BoxUpdated) {
      shown_.image_in_box = true;  // stage 6 is only ever reported after the image went out
      if (status == Busy) {
        // The window's own clock, as for its estimate: the ticks since it first saw the wait.
        const long long waited_ms = static_cast<long long>(box_wait_ticks_++) * kTickMs;
        const double share = static_cast<double>(shown_.bar - StatusShown::kLower) / span;
        const int c = Truncate(share * 100 - kEstimateBase);
        const int estimate = Truncate(c * static_cast<double>(kEstimateScale));
        if (estimate >= 100) {
          // Past the estimate the bar rests; how long the box has left goes beside the line.
          shown_.message = "Updating box. 99% complete.";
          shown_.countdown = ConfirmationCountdown(waited_ms);
        } else {
          StepIt();
          // Below 35 % of the bar (stage 5 went by between two ticks) the estimate is
          // negative; the operator is shown 0 rather than a negative share.
          shown_.message = Percent("Updating box. %d%% complete.", std::max(0, estimate));
        }
        continue;
      }
      if (status == Okay) {
        result = "Okay";
        shown_.message = "Updating box. 100% complete.";
      } else {
        ShowFailure(stage);
        shown_.message.clear();
      }
      SetStage(stage, NoReport);
    } else {  // UpdatingCompleted
      if (status == Okay) {
        result = "Okay";
        SetPos(span);
        shown_.message = "Box updated";
        shown_.polling = false;
        shown_.button = "OK";
      } else {
        // The button keeps "&Cancel" after a failure here.
        result = "Failed";
        NoteCause(stage);
        shown_.message = "Box update failed";
        shown_.polling = false;
      }
      SetStage(stage, NoReport);
    }
  }
}

void StatusDisplay::ShowFailure(int stage) {
  shown_.results[static_cast<std::size_t>(stage - 1)] = "Failed";
  NoteCause(stage);
  shown_.polling = false;
  shown_.button = "OK";
}

void StatusDisplay::NoteCause(int stage) {
  // The worker records the cause before it reports the failure, so it is there to be read.
  if (shown_.cause.empty()) {
    shown_.cause = CauseLine(stage, RunCause());
    if (!shown_.cause.empty()) shown_.cause_page = CauseHelpPage(stage);
  }
}

void StatusDisplay::SetPos(int position) {
  // The bar holds its position inside its range, as the platform's control does.
  shown_.bar = std::clamp(position, StatusShown::kLower, StatusShown::kUpper);
}

void StatusDisplay::StepIt() {
  int position = shown_.bar + kProgressStep;
  // Past the top the platform's bar starts again from the bottom.
  if (position > StatusShown::kUpper) {
    position = StatusShown::kLower + (position - StatusShown::kUpper);
  }
  SetPos(position);
}

}  // namespace m4410
