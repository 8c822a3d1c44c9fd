// The "File Transfer Status" window: polls the stage board every 250 ms, shows each stage's
// result, moves the progress bar and writes the one-line progress message.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <functional>
#include <string>

#include "ui/run_notes.h"
#include "board/stage_board.h"

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
  static constexpr int kProgressLower = 1;
  static constexpr int kProgressUpper = 3000;

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
  bool ImageSeenInBox() const { return image_seen_in_box_; }

  QPushButton* m_buttonCancel = nullptr;
  QProgressBar* m_progress = nullptr;
  // Results of stages 1 to 7, then the message line.
  QString m_strResult[kStageCount];
  QString m_strMessage;

 protected:
  void reject() override;

 private:
  // Pushes the eight texts into their controls.
  void UpdateData();
  void SetPos(int position);
  void StepIt();
  void StopTimer();
  void ShowFailure(int stage);
  // Once the worker has ended, adds what the simulated box received to the notes.
  void ShowBoxReportWhenRunEnds();
  // Fills the notes under the message line and makes room for them.
  void ShowNotes();

  QLabel* m_labelResult[kStageCount] = {};
  QLineEdit* m_editMessage = nullptr;
  QTimer m_timer;

  // Beyond the template: the cause of a failed stage 2 or 3 with its help page, and the
  // simulated box's closing line, in a notes area below the message line.
  QLabel* notes_ = nullptr;
  std::string cause_;
  HelpPage cause_page_;
  std::string box_line_;
  std::function<std::string()> box_report_;
  std::function<void(const QString&)> help_action_;
  QTimer end_watch_;
  bool image_seen_in_box_ = false;
  int template_height_ = 0;
  int button_top_ = 0;
};

}  // namespace m4410
