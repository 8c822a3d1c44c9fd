#include "qt/transfer_status_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "qt/dialog_template.h"
#include "qt/help_viewer.h"
#include "link/block_transfer.h"
#include "board/run_cause.h"
#include "ui/run_notes.h"
#include "run/update_worker.h"

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
constexpr int kEndWatchMs = 50;

QString Escaped(const std::string& text) { return QString::fromStdString(text).toHtmlEscaped(); }

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

  template_height_ = height();
  if (m_buttonCancel != nullptr) button_top_ = m_buttonCancel->y();
  notes_ = new QLabel(this);
  notes_->setObjectName(QStringLiteral("runNotes"));
  notes_->setTextFormat(Qt::RichText);
  notes_->setWordWrap(true);
  notes_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // Selectable, so the operator can copy a remedy such as a setcap command into a terminal.
  notes_->setTextInteractionFlags(Qt::TextBrowserInteraction);
  notes_->setOpenExternalLinks(false);
  notes_->hide();
  connect(notes_, &QLabel::linkActivated, this, [this](const QString& page) {
    if (help_action_) help_action_(page);
  });
  help_action_ = [](const QString& page) { AppHelpViewer().ShowHelp(page); };

  end_watch_.setInterval(kEndWatchMs);
  connect(&end_watch_, &QTimer::timeout, this, &TransferStatusDialog::ShowBoxReportWhenRunEnds);
}

void TransferStatusDialog::SetBoxReport(std::function<std::string()> report) {
  box_report_ = std::move(report);
  const QString caption = QString::fromStdString(LoadDialogTemplate(kTemplateId).caption);
  setWindowTitle(box_report_ ? caption + QString::fromLatin1(kSimulatedTitleSuffix) : caption);
}

void TransferStatusDialog::SetHelpAction(std::function<void(const QString& page)> action) {
  help_action_ = std::move(action);
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
        image_seen_in_box_ = true;
      } else {
        ShowFailure(stage);
      }
      m_strMessage.clear();
      SetStage(stage, NoReport);
    } else if (stage == BoxUpdated) {
      image_seen_in_box_ = true;  // stage 6 is only ever reported after the image went out
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
  // The worker records the cause before it reports the failure, so it is there to be read.
  if (cause_.empty()) {
    cause_ = CauseLine(stage, RunCause());
    if (!cause_.empty()) cause_page_ = CauseHelpPage(stage);
  }
  StopTimer();
  if (m_buttonCancel != nullptr) m_buttonCancel->setText(QStringLiteral("OK"));
}

void TransferStatusDialog::ShowBoxReportWhenRunEnds() {
  if (!box_report_ || !box_line_.empty() || UpdateWorkerRunning()) return;
  end_watch_.stop();
  box_line_ = box_report_();
  ShowNotes();
}

void TransferStatusDialog::ShowNotes() {
  QStringList lines;
  if (!cause_.empty()) {
    lines << Escaped(cause_);
    if (!cause_page_.page.empty()) {
      lines << QStringLiteral("More in the help: <a href=\"%1\">%2</a>")
                   .arg(Escaped(cause_page_.page), Escaped(cause_page_.title));
    }
  }
  if (!box_line_.empty()) lines << Escaped(box_line_);
  if (lines.isEmpty() || m_editMessage == nullptr) return;

  notes_->setText(lines.join(QStringLiteral("<br>")));
  const QRect message = m_editMessage->geometry();
  const int gap = message.height() / 2;
  const int height = notes_->heightForWidth(message.width());
  notes_->setGeometry(message.left(), message.bottom() + 1 + gap, message.width(), height);
  notes_->show();
  // The button and the foot of the window move down by what the notes take.
  const int added = height + gap;
  if (m_buttonCancel != nullptr) m_buttonCancel->move(m_buttonCancel->x(), button_top_ + added);
  setFixedHeight(template_height_ + added);
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

void TransferStatusDialog::StopTimer() {
  m_timer.stop();
  ShowNotes();
  // What a simulated box received is known once the worker has let go of the port.
  if (box_report_ && box_line_.empty()) {
    end_watch_.start();
    ShowBoxReportWhenRunEnds();
  }
}

}  // namespace m4410

#include "moc_transfer_status_dialog.cpp"
