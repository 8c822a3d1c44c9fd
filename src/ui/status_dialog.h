// The "File Transfer Status" window's behaviour, once for every windowing system: it runs the
// status display model on the window's timer, tells the window what to draw, watches for the
// run's end and assembles the notes below the message line. A window owns its controller and
// implements its view: it only draws what it is told and passes on its toolkit's events
// (OnInitDialog, OnTimer, OnCancel, key presses).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/dialog_template.h"
#include "ui/run_notes.h"
#include "ui/status_display.h"

namespace m4410 {

// The window's two timers: the specified 250 ms poll of the stage board, and a watch for the
// worker's end, which is when what the run left (box data, the simulated box's report, a log
// that could not be written) can be told.
enum class StatusTimer { Poll = 1, EndWatch = 2 };

// One line of the notes. A line with a help page ends in the page's title, which the view
// links to the page where its toolkit can.
struct NoteLine {
  std::string text;
  HelpPage help;
  bool operator==(const NoteLine& other) const {
    return text == other.text && help.page == other.help.page && help.title == other.help.title;
  }
};

// Where the notes go, in the template's dialog units: a room below the message line, taken
// from the start, and how far the button and the window's foot move down to make it.
struct NotesRoom {
  DialogRect notes;
  int shift = 0;
};
NotesRoom StatusNotesRoom();

// What the controller needs of a window, nothing more.
class StatusDialogView {
 public:
  virtual ~StatusDialogView() = default;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void SetResult(int stage, const std::string& text) = 0;  // stage 1 to 7
  virtual void SetMessage(const std::string& text) = 0;
  virtual void SetBarRange(int lower, int upper) = 0;
  virtual void SetBar(int position) = 0;
  virtual void SetButtonText(const std::string& text) = 0;
  // Once, before the window is shown: the room for the notes.
  virtual void ReserveNotes(const NotesRoom& room) = 0;
  // All the notes so far, replacing what was shown; none takes them away. A line with a help
  // page is something to press, which comes back as OnHelp.
  virtual void ShowNotes(const std::vector<NoteLine>& lines) = 0;
  // Opens the help at a page and its anchor ("stages.html#s3").
  virtual void ShowHelp(const std::string& page) = 0;
  virtual void StartTimer(StatusTimer timer, int period_ms) = 0;
  virtual void StopTimer(StatusTimer timer) = 0;
  // Ends the modal run.
  virtual void EndDialog() = 0;
};

// A key press that would press the window's button (Enter, Space), as the view saw it.
struct ButtonKeyPress {
  bool auto_repeat = false;
  // From the window's showing to the press, on the clock the toolkit stamps its events with;
  // negative when the press began before the window was shown.
  std::int64_t ms_since_shown = 0;
  int double_click_ms = 0;  // the system's double-click interval
};
// Whether the press may press the button. A key held on Start repeats into the new window;
// Enter pressed twice on Start lands its second press there within the system's double-click
// interval, the span in which two presses are taken as one gesture. Neither is the operator
// answering this window, and taking it as Cancel would close the window over a running
// update and lose its result. Esc, the close box and the mouse are always taken.
bool KeyPressesButton(const ButtonKeyPress& press);

class StatusDialogController {
 public:
  static constexpr int kPollMs = 250;
  static constexpr int kEndWatchMs = 50;

  explicit StatusDialogController(StatusDialogView& view) : view_(view) {}

  // A report (see SimulatedBoxReport) says the box is simulated: the title says so, and once
  // the run has ended the notes give what the box received. Before OnInitDialog.
  void SetBoxReport(BoxReport report) { box_report_ = std::move(report); }

  // Title, room for the notes, timer, bar range and position, empty texts.
  void OnInitDialog();
  // One tick of the given timer.
  void OnTimer(StatusTimer timer);
  // Ends the window, then lowers KeepGoing: the button whatever its caption, Esc, the close
  // box.
  void OnCancel();
  // F1, or the notes' help line pressed: the page on the cause shown, else the page on
  // running an update.
  void OnHelp();

  bool Polling() const { return model_.shown().polling; }
  // Whether a tick has shown that the whole image went out to the box.
  bool ImageSeenInBox() const { return model_.shown().image_in_box; }
  const StatusShown& shown() const { return model_.shown(); }
  const std::vector<NoteLine>& notes() const { return notes_; }

 private:
  void Draw();
  void WatchForTheEnd();
  void ShowNotes();

  StatusDialogView& view_;
  StatusDisplay model_;
  BoxReport box_report_;
  int drawn_bar_ = -1;
  std::string drawn_button_;
  bool watching_ = false;
  bool run_ended_ = false;
  std::vector<NoteLine> notes_;
  std::vector<NoteLine> run_left_;  // what the run left, once it has ended
  std::string drawn_countdown_;
};

}  // namespace m4410
