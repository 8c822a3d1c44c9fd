#include "cli/update_display.h"

#include <algorithm>
#include <string>
#include <utility>

#include "board/run_cause.h"
#include "link/block_transfer.h"
#include "protocol/transfer_cause.h"

namespace m4410 {

namespace {

// The window's estimate of the box's self-update climbs from 0 to 99 % in about 44.5 s
// (one bar step every 250 ms); the command keeps the same pace.
constexpr long kBoxUpdateEstimateMs = 44500;

// Without a terminal, progress goes out only every tenth percent, and the box's time left
// once a minute.
constexpr int kLogStepPercent = 10;
constexpr long kLogStepCountdownMs = 60000;

std::string Percent(const char* format, int percent) {
  char text[48];
  std::snprintf(text, sizeof text, format, percent);
  return text;
}

bool IsFinal(int stage, StageStatus status) {
  return status != NoReport &&
         !(status == Busy && (stage == SoftwareTransmitted || stage == BoxUpdated));
}

}  // namespace

UpdateDisplay::UpdateDisplay(std::FILE* out, Redraw redraw, bool quiet,
                             std::function<Clock::time_point()> now, StageReader read)
    : now_(std::move(now)), read_(std::move(read)), out_(out), redraw_(redraw), quiet_(quiet) {}

void UpdateDisplay::Poll() {
  // The whole board at one look: a later stage's report is never printed, or taken as the
  // first failure, before an earlier one that was already written.
  const StageCells cells = ReadStages(read_);
  for (int stage = 1; stage <= kStageCount; ++stage) {
    const StageStatus status = cells[static_cast<std::size_t>(stage)];
    if (status == seen_[stage]) {
      if (status == Busy && !quiet_) ShowProgress(stage);
      continue;
    }
    seen_[stage] = status;
    if (IsFinal(stage, status)) {
      ShowFinal(stage, status);
    } else if (status == Busy) {
      if (stage == BoxUpdated) box_update_started_ = now_();
      if (!quiet_) ShowProgress(stage);
    }
  }
}

void UpdateDisplay::ShowFinal(int stage, StageStatus status) {
  const bool okay = status == Okay;
  if (!okay && first_failed_ == 0) first_failed_ = stage;
  if (okay && stage == UpdatingCompleted) completed_ = true;
  if (quiet_) return;
  EndProgressLine();
  std::fprintf(out_, "%s %s\n", StageCaption(stage), okay ? "Okay" : "Failed");
  std::fflush(out_);
}

void UpdateDisplay::ShowProgress(int stage) {
  if (first_failed_ != 0 || LeftBeforeConfirmation()) return;
  if (stage == SoftwareTransmitted) {
    // The counters are read one after the other while the worker writes them, so for one
    // poll they can pair the image's count with the header's length.
    const int percent = WriteProgressPercent();
    ProgressLine(Percent("Sending data. %d%% complete.", percent), percent / kLogStepPercent);
  } else if (stage == BoxUpdated) {
    const long elapsed = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               now_() - box_update_started_)
                                               .count());
    if (elapsed < kBoxUpdateEstimateMs) {
      const int percent = static_cast<int>(elapsed * 100 / kBoxUpdateEstimateMs);
      ProgressLine(Percent("Updating box. %d%% complete.", percent), percent / kLogStepPercent);
    } else {
      // Past the estimate the held line stands as it is, once; how long the box has left to
      // confirm follows on a line of its own.
      if (!estimate_held_) {
        EndProgressLine();
        std::fprintf(out_, "Updating box. 99%% complete.\n");
        estimate_held_ = true;
      }
      ProgressLine(ConfirmationCountdown(elapsed),
                   static_cast<int>(elapsed / kLogStepCountdownMs));
    }
  }
}

void UpdateDisplay::ProgressLine(const std::string& text, int step) {
  if (redraw_ != Redraw::Lines) {
    if (text == last_progress_text_ && progress_open_) return;
    std::fputs(RedrawnLine(redraw_, text, shown_).c_str(), out_);
    shown_ = std::max(shown_, text.size());
    progress_open_ = true;
  } else {
    if (step == last_printed_step_) return;
    last_printed_step_ = step;
    std::fprintf(out_, "%s\n", text.c_str());
  }
  last_progress_text_ = text;
  std::fflush(out_);
}

void UpdateDisplay::EndProgressLine() {
  if (progress_open_) {
    std::fputs(ClearedLine(redraw_, shown_).c_str(), out_);
    progress_open_ = false;
    shown_ = 0;
  }
  last_printed_step_ = -1;
  last_progress_text_.clear();
}

void UpdateDisplay::NoteInterrupt() {
  if (first_failed_ == 0 && !completed_) interrupted_ = true;
}

void UpdateDisplay::Finish() {
  Poll();
  EndProgressLine();
  if (first_failed_ != 0 && quiet_) {
    std::fprintf(out_, "%s Failed\n", StageCaption(first_failed_));
  } else if (completed_ && quiet_) {
    std::fprintf(out_, "%s Okay\n", StageCaption(UpdatingCompleted));
  }
  if (LeftBeforeConfirmation()) {
    // The box has the whole image and finishes without us: not a failure.
    std::fprintf(out_, "%s %s\n", StageCaption(BoxUpdated), kNotConfirmedText);
  }
  if (completed_) {
    // An interrupt that came too late to stop anything.
  } else if (interrupted_) {
    std::fprintf(out_, "update interrupted; the port has been released\n");
  } else if (first_failed_ == 0) {
    std::fprintf(out_, "update ended without a result\n");
  }
  std::fflush(out_);
}

int UpdateDisplay::ExitStatus() const {
  if (completed_) return 0;
  if (interrupted_ || LeftBeforeConfirmation()) return 130;
  if (first_failed_ != 0) return first_failed_;
  return 1;
}

}  // namespace m4410
