// The "File Transfer Status" window in Qt. It owns the status dialog's controller, draws what
// it says and passes on its timers, its button, Esc, the close box, F1, the notes' help link
// and the keys that press the button.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "board/stage_board.h"
#include "ui/status_dialog.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;

namespace m4410 {

class TransferStatusDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kTimerPeriodMs = StatusDialogController::kPollMs;

  explicit TransferStatusDialog(QWidget* parent = nullptr);
  ~TransferStatusDialog() override;

  // Prepares the dialog (timer, bar, texts) and runs it modally.
  int DoModal();
  // Starts the timer, sets the bar's range and position and empties the message line.
  void OnInitDialog() { controller_.OnInitDialog(); }
  // One poll of the stage board. Public so that a caller can drive ticks itself.
  void OnTimer() { controller_.OnTimer(StatusTimer::Poll); }
  // Ends the dialog, then lowers KeepGoing. The button, Esc and the close box all come here.
  void OnCancel() { controller_.OnCancel(); }

  bool TimerRunning() const { return m_timer.isActive(); }

  // The box is simulated: see StatusDialogController::SetBoxReport.
  void SetBoxReport(BoxReport report) { controller_.SetBoxReport(std::move(report)); }
  // Opens a help page ("port-access.html", "stages.html#s3"); the default uses the program's
  // help viewer.
  void SetHelpAction(std::function<void(const QString& page)> action);
  bool ImageSeenInBox() const { return controller_.ImageSeenInBox(); }

  QPushButton* m_buttonCancel = nullptr;
  QProgressBar* m_progress = nullptr;

 protected:
  void reject() override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Controls;  // the controller's view of this window's controls (in the .cpp)

  void ReserveNotes(const NotesRoom& room);
  void ShowNotes(const std::vector<NoteLine>& lines);
  QTimer& Timer(StatusTimer timer) { return timer == StatusTimer::Poll ? m_timer : end_watch_; }

  QLabel* m_labelResult[kStageCount] = {};
  QLineEdit* m_editMessage = nullptr;
  QTimer m_timer;
  QTimer end_watch_;
  QScrollArea* notes_room_ = nullptr;
  QLabel* notes_ = nullptr;
  int template_height_ = 0;
  int button_top_ = 0;
  QElapsedTimer shown_;
  std::function<void(const QString&)> help_action_;
  std::unique_ptr<Controls> controls_;
  StatusDialogController controller_;
};

}  // namespace m4410
