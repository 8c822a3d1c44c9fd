#include "qt/transfer_status_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "qt/dialog_template.h"
#include "link/block_transfer.h"

namespace m4410 {

namespace {

constexpr int kResultControl = 1052;  // results of stages 1 to 7: 1052 to 1058
constexpr int kMessageControl = 1059;
constexpr int kButtonControl = 2;
constexpr int kProgressControl = 1003;
constexpr int kProgressStep = 10;  // the bar's default step, never changed

// Share of the span that stages 1 to 4 set the bar to when they complete.
constexpr float kStageShare[5] = {0.0f, 0.01f, 0.02f, 0.03f, 0.04f};
constexpr float kSendShare = 0.0031f;
constexpr float kSendBase = 0.04f;
constexpr float kEstimateBase = 35.0f;
constexpr float kEstimateScale = 1.6949153f;  // 100 / 59

int Truncate(double value) {
  if (!(value > -2147483648.0 && value < 2147483648.0)) return 0;
  return static_cast<int>(value);
}

}  // namespace

TransferStatusDialog::TransferStatusDialog(QWidget* parent) : QDialog(parent) {
  BuildDialog(this, LoadDialogTemplate(kTemplateId));
  m_buttonCancel = FindControlAs<QPushButton>(this, kButtonControl);
  m_progress = FindControlAs<QProgressBar>(this, kProgressControl);
  for (int i = 0; i < kStageCount; ++i) {
    m_labelResult[i] = FindControlAs<QLabel>(this, kResultControl + i);
  }
  m_editMessage = FindControlAs<QLineEdit>(this, kMessageControl);
  if (m_buttonCancel != nullptr) {
    connect(m_buttonCancel, &QPushButton::clicked, this, &TransferStatusDialog::OnCancel);
  }
  m_timer.setInterval(kTimerPeriodMs);
  connect(&m_timer, &QTimer::timeout, this, &TransferStatusDialog::OnTimer);
}

TransferStatusDialog::~TransferStatusDialog() = default;

int TransferStatusDialog::DoModal() {
  OnInitDialog();
  return exec();
}

void TransferStatusDialog::OnInitDialog() {
  m_timer.start();
  if (m_progress != nullptr) {
    m_progress->setRange(kProgressLower, kProgressUpper);
    m_progress->setValue(kProgressLower);
  }
  m_strMessage.clear();
  UpdateData();
}

void TransferStatusDialog::OnTimer() {
  const int lower = m_progress != nullptr ? m_progress->minimum() : kProgressLower;
  const int upper = m_progress != nullptr ? m_progress->maximum() : kProgressUpper;
  const int span = upper - lower;

  for (int stage = 1; stage <= kStageCount; ++stage) {
    const StageStatus status = GetStage(stage);
    if (status == NoReport) continue;
    QString& result = m_strResult[stage - 1];

    if (stage <= BoxInformationReceived) {
      if (status == Okay) {
        result = QStringLiteral("Okay");
        SetPos(Truncate(static_cast<double>(span) * kStageShare[stage]));
      } else {
        ShowFailure(stage);
      }
      SetStage(stage, NoReport);
    } else if (stage == SoftwareTransmitted) {
      if (status == Busy) {
        const double s = static_cast<float>(span);
        SetPos(Truncate(WriteProgressPercent() * s * kSendShare + s * kSendBase));
        m_strMessage = QString::asprintf("Sending data. %d%% complete.", WriteProgressPercent());
        continue;
      }
      if (status == Okay) {
        result = QStringLiteral("Okay");
      } else {
        ShowFailure(stage);
      }
      m_strMessage.clear();
      SetStage(stage, NoReport);
    } else if (stage == BoxUpdated) {
      if (status == Busy) {
        const int position = m_progress != nullptr ? m_progress->value() : lower;
        const double share = span > 0 ? static_cast<double>(position - lower) / span : 0.0;
        const int c = Truncate(share * 100 - kEstimateBase);
        const int estimate = Truncate(c * static_cast<double>(kEstimateScale));
        if (estimate >= 100) {
          m_strMessage = QStringLiteral("Updating box. 99% complete.");
        } else {
          StepIt();
          // Below 35 % of the bar (stage 5 went by between two ticks) the estimate is
          // negative; the operator is shown 0 rather than a negative share.
          m_strMessage = QString::asprintf("Updating box. %d%% complete.", qMax(0, estimate));
        }
        continue;
      }
      if (status == Okay) {
        result = QStringLiteral("Okay");
        m_strMessage = QStringLiteral("Updating box. 100% complete.");
      } else {
        ShowFailure(stage);
        m_strMessage.clear();
      }
      SetStage(stage, NoReport);
    } else {  // UpdatingCompleted
      if (status == Okay) {
        result = QStringLiteral("Okay");
        SetPos(span);
        m_strMessage = QStringLiteral("Box updated");
        StopTimer();
        if (m_buttonCancel != nullptr) m_buttonCancel->setText(QStringLiteral("OK"));
      } else {
        // The button keeps "&Cancel" after a failure here.
        result = QStringLiteral("Failed");
        m_strMessage = QStringLiteral("Box update failed");
        StopTimer();
      }
      SetStage(stage, NoReport);
    }
  }
  UpdateData();
}

void TransferStatusDialog::ShowFailure(int stage) {
  m_strResult[stage - 1] = QStringLiteral("Failed");
  StopTimer();
  if (m_buttonCancel != nullptr) m_buttonCancel->setText(QStringLiteral("OK"));
}

void TransferStatusDialog::OnCancel() {
  QDialog::reject();
  LowerKeepGoing();
}

void TransferStatusDialog::reject() { OnCancel(); }

void TransferStatusDialog::UpdateData() {
  for (int i = 0; i < kStageCount; ++i) {
    if (m_labelResult[i] != nullptr) m_labelResult[i]->setText(m_strResult[i]);
  }
  if (m_editMessage != nullptr) m_editMessage->setText(m_strMessage);
}

void TransferStatusDialog::SetPos(int position) {
  // The bar holds its position inside its range, as the platform's control does.
  if (m_progress == nullptr) return;
  m_progress->setValue(qBound(m_progress->minimum(), position, m_progress->maximum()));
}

void TransferStatusDialog::StepIt() {
  if (m_progress == nullptr) return;
  int position = m_progress->value() + kProgressStep;
  // Past the top the platform's bar starts again from the bottom.
  if (position > m_progress->maximum()) {
    position = m_progress->minimum() + (position - m_progress->maximum());
  }
  SetPos(position);
}

void TransferStatusDialog::StopTimer() { m_timer.stop(); }

}  // namespace m4410

#include "moc_transfer_status_dialog.cpp"
