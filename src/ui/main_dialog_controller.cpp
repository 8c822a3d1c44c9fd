#include "ui/main_dialog_controller.h"

#include <utility>
#include <vector>

#include "board/stage_board.h"
#include "run/update_worker.h"
#include "ui/dialog_template.h"
#include "ui/main_dialog_ids.h"
#include "ui/run_notes.h"
#include "ui/start_command.h"

namespace m4410 {

namespace {

// The browse buttons' filters, the update images first.
const std::vector<FileFilter> kBrowseFilters = {{"Update Files (*.bin)", "*.bin"},
                                                {"All Files (*.*)", "*.*"}};

int CheckOf(FileRow row) {
  switch (row) {
    case FileRow::Complete: return kCompleteCheck;
    case FileRow::Program: return kProgramCheck;
    case FileRow::Menu: return kMenuCheck;
    case FileRow::Table: return kTableCheck;
  }
  return 0;
}

int EditOf(FileRow row) {
  switch (row) {
    case FileRow::Complete: return kCompleteEdit;
    case FileRow::Program: return kProgramEdit;
    case FileRow::Menu: return kMenuEdit;
    case FileRow::Table: return kTableEdit;
  }
  return 0;
}

}  // namespace

void MainDialogController::OnInitDialog() {
  UpdateData(false);
  if (box_report_) {
    view_.SetTitle(LoadDialogTemplate(kMainDialogTemplate).caption + kSimulatedTitleSuffix);
  }

  m_strSection = "Software Update Section";
  m_strLastPathItem = "Software Update String Item";
  m_strLastPath = profile_.GetString(m_strSection, m_strLastPathItem);
  m_strCompleteFileItem = "Software Update Filename Item";
  m_strCompleteFile = profile_.GetString(m_strSection, m_strCompleteFileItem);
  m_strProgramFileItem = "Software Update ProgramFilename Item";
  m_strProgramFile = profile_.GetString(m_strSection, m_strProgramFileItem);
  m_strMenuFileItem = "Software Update MenuFilename Item";
  m_strMenuFile = profile_.GetString(m_strSection, m_strMenuFileItem);
  m_strTableFileItem = "Software Update TableFilename Item";
  m_strTableFile = profile_.GetString(m_strSection, m_strTableFileItem);
  // A settings file that may not be read (another user's link or folder on the way) is not
  // written either: the choices then last for this run only, and the operator knows it now.
  settings_refused_ = !profile_.why().empty();
  if (settings_refused_) {
    view_.Message("The remembered file choices were not read: " + profile_.why() +
                       ". The choices made now are kept only until the program ends.",
                   MessageKind::Warning);
  }

  SetInitialRowStates(*this);
  ShowRunNote(false, false);
  UpdateData(false);
}

bool MainDialogController::OnClicked(int id) {
  switch (id) {
    case kStart: StartCommand(); break;
    case kBrowseComplete: OnBrowseCompleteFile(); break;
    case kQuit: OnQuit(); break;
    case kBrowseTable: OnBrowseTableFile(); break;
    case kBrowseProgram: OnBrowseProgramFile(); break;
    case kBrowseMenu: OnBrowseMenuFile(); break;
    case kCompleteCheck: OnCompleteFileCheck(); break;
    case kMenuCheck: OnMenuFileCheck(); break;
    case kTableCheck: OnTableFileCheck(); break;
    case kProgramCheck: OnProgramFileCheck(); break;
    case kRunNoteOk: OnRunNoteOk(); break;
    default: return false;
  }
  return true;
}

void MainDialogController::OnEditChange(int id) {
  if (id == kCompleteEdit || id == kTableEdit || id == kMenuEdit || id == kProgramEdit) {
    OnFileEditChange();
  }
}

void MainDialogController::UpdateData(bool save) {
  const std::pair<int, std::string*> pairs[] = {
      {kCompleteEdit, &m_strCompleteFile},
      {kProgramEdit, &m_strProgramFile},
      {kTableEdit, &m_strTableFile},
      {kMenuEdit, &m_strMenuFile},
  };
  for (const auto& [edit, value] : pairs) {
    if (save) {
      *value = view_.Text(edit);
    } else if (view_.Text(edit) != *value) {
      view_.SetText(edit, *value);
    }
  }
}

void MainDialogController::StartCommand() {
  // 1 to 6: the file, its check, the worker.
  const StartOutcome outcome = StartUpdate(
      {view_.Checked(kCompleteCheck), view_.Checked(kMenuCheck), view_.Checked(kProgramCheck),
       view_.Checked(kTableCheck), &m_strCompleteFile, &m_strMenuFile, &m_strProgramFile,
       &m_strTableFile});
  if (!outcome.started) {
    view_.Message(outcome.message, outcome.warning ? MessageKind::Warning : MessageKind::Plain);
    return;
  }
  // A new run: the last one's result has been read.
  follow_.reset();
  view_.StopTimer();
  ShowRunNote(false, false);

  // 7, 8.
  image_seen_in_box_ = view_.RunStatusWindow(box_report_);
  LowerKeepGoing();

  // Closed before the run's end (a second Enter on Start, Escape, the close box), the status
  // window has not shown the result: this window follows the run to its end instead.
  if (!StatusWindowSawEnd()) FollowRun();
}

void MainDialogController::FollowRun() {
  follow_.emplace(image_seen_in_box_);
  OnTimer();
  if (!follow_->ended()) view_.StartTimer(kFollowPeriodMs);
}

void MainDialogController::OnTimer() {
  if (!follow_) return;
  follow_->Poll();
  view_.SetText(kRunNote, follow_->text());
  ShowRunNote(true, follow_->ended());
  if (follow_->ended()) view_.StopTimer();
}

void MainDialogController::OnRunNoteOk() {
  if (follow_ && !follow_->ended()) return;  // a run's end is acknowledged, not its course
  follow_.reset();
  ShowRunNote(false, false);
}

void MainDialogController::ShowRunNote(bool shown, bool ok_shown) {
  view_.Show(kRunNote, shown);
  view_.Show(kRunNoteOk, ok_shown);
}

void MainDialogController::OnQuit() {
  std::string unsaved;  // the first write's failure, if any
  auto write = [&](const std::string& item, const std::string& value) {
    if (!profile_.WriteString(m_strSection, item, value) && unsaved.empty()) {
      unsaved = profile_.why();
    }
  };
  write(m_strLastPathItem, m_strLastPath);
  write(m_strCompleteFileItem, m_strCompleteFile);
  write(m_strProgramFileItem, m_strProgramFile);
  write(m_strMenuFileItem, m_strMenuFile);
  write(m_strTableFileItem, m_strTableFile);
  if (!unsaved.empty() && !settings_refused_) {
    view_.Message("The file choices were not saved: " + unsaved + ".", MessageKind::Warning);
  }
  End(0);
}

void MainDialogController::OnCancel() { End(kIdCancel); }

void MainDialogController::End(int result) {
  if (UpdateWorkerRunning()) view_.WaitForWorker(image_seen_in_box_);
  WaitForUpdateWorker();
  view_.StopTimer();
  view_.EndDialog(result);
}

void MainDialogController::Browse(std::string* target) {
  std::string chosen;
  if (!view_.ChooseFile(m_strLastPath, kBrowseFilters, &chosen)) return;  // cancelled or failed
  *target = chosen;
  UpdateData(false);
  m_strLastPath = chosen;
}

bool MainDialogController::IsChecked(FileRow row) const { return view_.Checked(CheckOf(row)); }

void MainDialogController::SetChecked(FileRow row, bool checked) {
  view_.SetChecked(CheckOf(row), checked);
}

void MainDialogController::SetReadOnly(FileRow row, bool read_only) {
  view_.SetReadOnly(EditOf(row), read_only);
}

}  // namespace m4410
