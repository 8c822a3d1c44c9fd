// The "File Transfer Status" window: on its 250 ms timer it lets the status display model poll
// the stage board, and draws the stage results, the progress bar, the message line and the
// button as the model says.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <functional>
#include <string>

#include "board/stage_board.h"
#include "ui/status_display.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace m4410 {

class TransferStatusDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kTemplateId = 103;
  static constexpr int kTimerPeriodMs = 250;

  explicit TransferStatusDialog(QWidget* parent = nullptr);
  ~TransferStatusDialog() override;

  // Prepares the dialog (timer, bar, texts) and runs it modally.
  int DoModal();
  // Starts the timer, sets the bar's range and position and empties the message line.
  void OnInitDialog();
  // One poll of the stage board. Public so that a caller can drive ticks itself.
  void OnTimer();
  // Ends the dialog, then lowers KeepGoing. The button, Esc and the close box all come here.
  void OnCancel();

  bool TimerRunning() const { return m_timer.isActive(); }

  // The box is simulated: the title says so, and once the run has ended the window shows what
  // the box received (report gives the line, as m4410 prints it).
  void SetBoxReport(std::function<std::string()> report);
  // Opens a help page ("port-access.html", "stages.html#s3"); the default uses the program's
  // help viewer.
  void SetHelpAction(std::function<void(const QString& page)> action);
  // Whether a tick has shown that the whole image went out to the box.
  bool ImageSeenInBox() const { return model_.view().image_in_box; }

  QPushButton* m_buttonCancel = nullptr;
  QProgressBar* m_progress = nullptr;

 protected:
  void reject() override;

 private:
  // Draws the model's view into the controls.
  void Draw();
  void StopTimer();
  // Once the worker has ended, adds what the simulated box received, and a log that could not
  // be written, to the notes.
  void ShowWhatTheRunLeft();
  // Fills the notes under the message line and makes room for them.
  void ShowNotes();

  QLabel* m_labelResult[kStageCount] = {};
  QLineEdit* m_editMessage = nullptr;
  QTimer m_timer;
  StatusDisplay model_;
  int drawn_bar_ = -1;
  std::string drawn_button_;

  // Beyond the template: the cause of a failed stage 2 or 3 with its help page, and the
  // simulated box's closing line, in a notes area below the message line.
  QLabel* notes_ = nullptr;
  std::string box_line_;
  std::string log_line_;
  bool run_ended_ = false;
  std::function<std::string()> box_report_;
  std::function<void(const QString&)> help_action_;
  QTimer end_watch_;
  int template_height_ = 0;
  int button_top_ = 0;
};

}  // namespace m4410
