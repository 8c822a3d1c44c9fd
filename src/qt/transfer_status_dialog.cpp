#include "qt/transfer_status_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "qt/dialog_template.h"
#include "qt/help_viewer.h"
#include "ui/run_notes.h"
#include "run/update_log.h"
#include "run/update_worker.h"

namespace m4410 {

namespace {

constexpr int kResultControl = 1052;  // results of stages 1 to 7: 1052 to 1058
constexpr int kMessageControl = 1059;
constexpr int kButtonControl = 2;
constexpr int kProgressControl = 1003;

constexpr int kEndWatchMs = 50;

QString Escaped(const std::string& text) { return QString::fromStdString(text).toHtmlEscaped(); }

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
  connect(&end_watch_, &QTimer::timeout, this, &TransferStatusDialog::ShowWhatTheRunLeft);
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
  model_ = StatusDisplay();
  drawn_bar_ = -1;
  drawn_button_.clear();
  m_timer.start();
  if (m_progress != nullptr) m_progress->setRange(StatusView::kLower, StatusView::kUpper);
  Draw();
}

void TransferStatusDialog::OnTimer() {
  model_.Tick();
  Draw();
}

// Shows what the model says; the progress bar and the button follow it at once, as the
// platform's controls do when the tick sets them.
void TransferStatusDialog::Draw() {
  const StatusView& view = model_.view();
  for (int i = 0; i < kStageCount; ++i) {
    if (m_labelResult[i] != nullptr) {
      m_labelResult[i]->setText(QString::fromStdString(view.results[static_cast<std::size_t>(i)]));
    }
  }
  if (m_editMessage != nullptr) m_editMessage->setText(QString::fromStdString(view.message));
  // The bar and the button are set when the model moves them, as the tick always set them,
  // not pushed on every tick.
  if (m_progress != nullptr && view.bar != drawn_bar_) m_progress->setValue(view.bar);
  drawn_bar_ = view.bar;
  if (m_buttonCancel != nullptr && view.button != drawn_button_) {
    m_buttonCancel->setText(QString::fromStdString(view.button));
  }
  drawn_button_ = view.button;
  if (!view.polling && m_timer.isActive()) StopTimer();
}

void TransferStatusDialog::ShowWhatTheRunLeft() {
  if (run_ended_ || UpdateWorkerRunning()) return;
  end_watch_.stop();
  run_ended_ = true;
  if (box_report_) box_line_ = box_report_();
  const std::string warning = UpdateLogWarning();
  if (!warning.empty()) log_line_ = "The run is not in the update log: " + warning;
  ShowNotes();
}

void TransferStatusDialog::ShowNotes() {
  QStringList lines;
  const StatusView& view = model_.view();
  if (!view.cause.empty()) {
    lines << Escaped(view.cause);
    if (!view.cause_page.page.empty()) {
      lines << QStringLiteral("More in the help: <a href=\"%1\">%2</a>")
                   .arg(Escaped(view.cause_page.page), Escaped(view.cause_page.title));
    }
  }
  if (!box_line_.empty()) lines << Escaped(box_line_);
  if (!log_line_.empty()) lines << Escaped(log_line_);
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

void TransferStatusDialog::StopTimer() {
  m_timer.stop();
  ShowNotes();
  // What a simulated box received, and whether the run made it into the update log, are
  // known once the worker has let go of the port.
  if (!run_ended_) {
    end_watch_.start();
    ShowWhatTheRunLeft();
  }
}

}  // namespace m4410

#include "moc_transfer_status_dialog.cpp"
