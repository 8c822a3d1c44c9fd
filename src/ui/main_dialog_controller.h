// The main dialog's behaviour, written once for every windowing system: the remembered
// settings in their order, the data exchange between the path strings and the edits, the
// file rows, Start, Quit, the wait for a worker before the program ends, and the account of
// a run whose status window was closed before the run's end. A window (qt/, win32/) owns its
// controller and implements its MainDialogView; the window keeps only drawing and the
// translation of its toolkit's events into the handlers below.
#pragma once

#include <optional>
#include <string>

#include "ui/file_rows.h"
#include "ui/main_dialog_view.h"
#include "ui/profile_store.h"
#include "ui/run_follow.h"
#include "ui/run_notes.h"

namespace m4410 {

class MainDialogController : private FileRowControls {
 public:
  static constexpr int kIdCancel = 2;  // Esc and the close box: settings not saved
  static constexpr int kFollowPeriodMs = 250;  // as often as the status window polls

  // profile: where the remembered settings live. box_report: the simulated box's report
  // (SimulatedBoxReport); none on a real port.
  MainDialogController(MainDialogView& view, ProfileStore& profile, BoxReport box_report = {})
      : view_(view), profile_(profile), box_report_(std::move(box_report)) {}
  ~MainDialogController() override = default;

  // The settings read in order, the check boxes and read-only states, the paths in the edits;
  // the title says when the box is simulated.
  void OnInitDialog();

  // A click on a button or check box of the template, and a change the operator made in an
  // edit: the handler the message map names for it, if any. False for a control it has none
  // for (Help, which each window opens its own way).
  bool OnClicked(int id);
  void OnEditChange(int id);

  // Handlers, one per control and event.
  void StartCommand();
  void OnQuit();
  void OnCancel();  // Esc and the close box
  void OnBrowseCompleteFile() { Browse(&m_strCompleteFile); }
  void OnBrowseProgramFile() { Browse(&m_strProgramFile); }
  void OnBrowseMenuFile() { Browse(&m_strMenuFile); }
  void OnBrowseTableFile() { Browse(&m_strTableFile); }
  void OnFileEditChange() { UpdateData(true); }
  void OnCompleteFileCheck() { OnRowCheck(*this, FileRow::Complete); }
  void OnProgramFileCheck() { OnRowCheck(*this, FileRow::Program); }
  void OnMenuFileCheck() { OnRowCheck(*this, FileRow::Menu); }
  void OnTableFileCheck() { OnRowCheck(*this, FileRow::Table); }
  // The operator has read the last run's result.
  void OnRunNoteOk();
  void OnTimer();

  // Pushes the four path strings into the edits (save false) or pulls the edits' texts into
  // the strings (save true).
  void UpdateData(bool save);

  // Ends the dialog once no worker holds the port: the program never ends under one.
  void End(int result);

  // The dialog's strings, in the order the main dialog has always declared them. Paths are
  // the file system's bytes; the worker is handed the address of one.
  std::string m_strCompleteFile;
  std::string m_strSection;
  std::string m_strLastPathItem;
  std::string m_strCompleteFileItem;
  std::string m_strProgramFileItem;
  std::string m_strTableFileItem;
  std::string m_strMenuFileItem;
  std::string m_strLastPath;
  std::string m_strProgramFile;
  std::string m_strTableFile;
  std::string m_strMenuFile;

 private:
  void Browse(std::string* target);
  void FollowRun();
  void ShowRunNote(bool shown, bool ok_shown);

  bool IsChecked(FileRow row) const override;
  void SetChecked(FileRow row, bool checked) override;
  void SetReadOnly(FileRow row, bool read_only) override;

  MainDialogView& view_;
  ProfileStore& profile_;
  BoxReport box_report_;
  // The last status window saw the whole image go out (it takes reports off the board).
  bool image_seen_in_box_ = false;
  bool settings_refused_ = false;  // told at the start: the settings file is not used
  // The run this window follows to its end, and then shows the result of until it is read.
  std::optional<RunFollow> follow_;
};

}  // namespace m4410
