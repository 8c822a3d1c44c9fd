// The "File Transfer Status" window: polls the stage board every 250 ms, shows each stage's
// result, moves the progress bar and writes the one-line progress message.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>

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

  QLabel* m_labelResult[kStageCount] = {};
  QLineEdit* m_editMessage = nullptr;
  QTimer m_timer;
};

}  // namespace m4410
