#include "ui/status_dialog.h"

#include "board/stage_board.h"
#include "protocol/update_protocol.h"
#include "run/update_log.h"
#include "run/update_worker.h"
#include "ui/status_dialog_ids.h"

namespace m4410 {

NotesRoom StatusNotesRoom() {
  // Room for six lines of notes: a cause that wraps, its help page, the box-data file, the
  // simulated box's report and a log warning. A character is 8 vertical dialog units high.
  constexpr int kNoteRows = 6;
  constexpr int kRowUnits = 8;
  constexpr int kGapUnits = 4;
  const DialogTemplate layout = LoadDialogTemplate(kStatusDialogTemplate);
  const ControlTemplate* message = layout.Control(kStatusMessage);
  if (message == nullptr) return {};
  NotesRoom room;
  room.notes = {message->rect.x, message->rect.y + message->rect.height + kGapUnits,
                message->rect.width, kNoteRows * kRowUnits};
  room.shift = room.notes.height + kGapUnits;
  return room;
}

bool KeyPressesButton(const ButtonKeyPress& press) {
  if (press.auto_repeat || press.ms_since_shown < 0) return false;
  return press.ms_since_shown >= press.double_click_ms;
}

void StatusDialogController::OnInitDialog() {
  model_ = StatusDisplay();
  drawn_bar_ = -1;
  drawn_button_.clear();
  std::string title = LoadDialogTemplate(kStatusDialogTemplate).caption;
  if (box_report_) title += kSimulatedTitleSuffix;
  view_.SetTitle(title);
  // The room is there from the start, so nothing moves when a note comes.
  view_.ReserveNotes(StatusNotesRoom());
  view_.StartTimer(StatusTimer::Poll, kPollMs);
  view_.SetBarRange(StatusShown::kLower, StatusShown::kUpper);
  Draw();
}

void StatusDialogController::OnTimer(StatusTimer timer) {
  if (timer == StatusTimer::EndWatch) {
    WatchForTheEnd();
    return;
  }
  if (!Polling()) {
    WatchForTheEnd();
    return;
  }
  model_.Tick();
  Draw();
  if (!Polling()) {
    view_.StopTimer(StatusTimer::Poll);
    // The cause now; what the run left joins it once the run has ended.
    WatchForTheEnd();
    if (!run_ended_) ShowNotes();
  } else if (model_.shown().countdown != drawn_countdown_) {
    ShowNotes();
  }
}

void StatusDialogController::OnHelp() {
  const HelpPage& cause = model_.shown().cause_page;
  view_.ShowHelp(cause.page.empty() ? kRunningHelpPage : cause.page);
}

void StatusDialogController::OnCancel() {
  view_.StopTimer(StatusTimer::Poll);
  view_.StopTimer(StatusTimer::EndWatch);
  view_.EndDialog();
  LowerKeepGoing();
}

// Every text is pushed on each tick, as the dialog's data exchange does; the bar and the button
// are set when the model moves them, as the tick always set them.
void StatusDialogController::Draw() {
  const StatusShown& shown = model_.shown();
  for (int stage = 1; stage <= kStageCount; ++stage) {
    view_.SetResult(stage, shown.results[static_cast<std::size_t>(stage - 1)]);
  }
  view_.SetMessage(shown.message);
  if (shown.bar != drawn_bar_) view_.SetBar(shown.bar);
  drawn_bar_ = shown.bar;
  if (shown.button != drawn_button_) view_.SetButtonText(shown.button);
  drawn_button_ = shown.button;
}

// What the run left is known once the worker has let go of the port and the files.
void StatusDialogController::WatchForTheEnd() {
  if (run_ended_) return;
  if (UpdateWorkerRunning()) {
    if (!watching_) view_.StartTimer(StatusTimer::EndWatch, kEndWatchMs);
    watching_ = true;
    return;
  }
  if (watching_) view_.StopTimer(StatusTimer::EndWatch);
  watching_ = false;
  run_ended_ = true;
  const std::string box_data = LastBoxDataFile();
  if (!box_data.empty()) run_left_.push_back({"Box data written to " + box_data, {}});
  if (box_report_) run_left_.push_back({box_report_(), {}});
  const std::string warning = UpdateLogWarning();
  if (!warning.empty()) run_left_.push_back({"The run is not in the update log: " + warning, {}});
  ShowNotes();
}

void StatusDialogController::ShowNotes() {
  const StatusShown& shown = model_.shown();
  const bool shown_before = !notes_.empty();
  notes_.clear();
  // The box's time left on a line of its own, so the message line keeps its text.
  if (!shown.countdown.empty()) notes_.push_back({shown.countdown, {}});
  drawn_countdown_ = shown.countdown;
  if (!shown.cause.empty()) {
    notes_.push_back({shown.cause, {}});
    if (!shown.cause_page.page.empty()) notes_.push_back({"More in the help: ", shown.cause_page});
  }
  notes_.insert(notes_.end(), run_left_.begin(), run_left_.end());
  if (shown_before || !notes_.empty()) view_.ShowNotes(notes_);
}

}  // namespace m4410
