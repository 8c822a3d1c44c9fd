#include "qt/transfer_status_dialog.h"

#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStyleHints>

#include "qt/dialog_template.h"
#include "qt/help_viewer.h"
#include "ui/status_dialog_ids.h"

namespace m4410 {

namespace {

QString Escaped(const std::string& text) { return QString::fromStdString(text).toHtmlEscaped(); }

bool PressesButton(const QKeyEvent& key) {
  return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter || key.key() == Qt::Key_Space;
}

}  // namespace

class TransferStatusDialog::Controls : public StatusDialogView {
 public:
  explicit Controls(TransferStatusDialog& dialog) : d_(dialog) {}

  void SetTitle(const std::string& title) override {
    d_.setWindowTitle(QString::fromStdString(title));
  }
  void SetResult(int stage, const std::string& text) override {
    if (QLabel* label = d_.m_labelResult[stage - 1]) label->setText(QString::fromStdString(text));
  }
  void SetMessage(const std::string& text) override {
    if (d_.m_editMessage != nullptr) d_.m_editMessage->setText(QString::fromStdString(text));
  }
  void SetBarRange(int lower, int upper) override {
    if (d_.m_progress != nullptr) d_.m_progress->setRange(lower, upper);
  }
  void SetBar(int position) override {
    if (d_.m_progress != nullptr) d_.m_progress->setValue(position);
  }
  void SetButtonText(const std::string& text) override {
    if (d_.m_buttonCancel != nullptr) d_.m_buttonCancel->setText(QString::fromStdString(text));
  }
  void ReserveNotes(const NotesRoom& room) override { d_.ReserveNotes(room); }
  void ShowNotes(const std::vector<NoteLine>& lines) override { d_.ShowNotes(lines); }
  void ShowHelp(const std::string& page) override {
    if (d_.help_action_) d_.help_action_(QString::fromStdString(page));
  }
  void StartTimer(StatusTimer timer, int period_ms) override { d_.Timer(timer).start(period_ms); }
  void StopTimer(StatusTimer timer) override { d_.Timer(timer).stop(); }
  void EndDialog() override { d_.QDialog::reject(); }

 private:
  TransferStatusDialog& d_;
};

TransferStatusDialog::TransferStatusDialog(QWidget* parent)
    : QDialog(parent), controls_(std::make_unique<Controls>(*this)), controller_(*controls_) {
  BuildDialog(this, LoadDialogTemplate(kStatusDialogTemplate));
  m_buttonCancel = FindControlAs<QPushButton>(this, kStatusButton);
  m_progress = FindControlAs<QProgressBar>(this, kStatusProgress);
  for (int stage = 1; stage <= kStageCount; ++stage) {
    m_labelResult[stage - 1] = FindControlAs<QLabel>(this, StageResultControl(stage));
  }
  m_editMessage = FindControlAs<QLineEdit>(this, kStatusMessage);
  if (m_buttonCancel != nullptr) {
    connect(m_buttonCancel, &QPushButton::clicked, this, &TransferStatusDialog::OnCancel);
  }
  connect(&m_timer, &QTimer::timeout, this, [this] { controller_.OnTimer(StatusTimer::Poll); });
  connect(&end_watch_, &QTimer::timeout, this,
          [this] { controller_.OnTimer(StatusTimer::EndWatch); });

  template_height_ = height();
  if (m_buttonCancel != nullptr) button_top_ = m_buttonCancel->y();
  notes_room_ = new QScrollArea(this);
  notes_room_->setFrameShape(QFrame::NoFrame);
  notes_room_->setWidgetResizable(true);
  notes_room_->viewport()->setAutoFillBackground(false);
  notes_ = new QLabel;
  notes_->setObjectName(QStringLiteral("runNotes"));
  notes_->setTextFormat(Qt::RichText);
  notes_->setWordWrap(true);
  notes_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // Selectable, so the operator can copy a remedy such as a setcap command into a terminal.
  notes_->setTextInteractionFlags(Qt::TextBrowserInteraction);
  notes_->setOpenExternalLinks(false);
  notes_room_->setWidget(notes_);
  notes_->hide();
  connect(notes_, &QLabel::linkActivated, this, [this] { controller_.OnHelp(); });
  help_action_ = [](const QString& page) { AppHelpViewer().ShowHelp(page); };

  // Keys reach the focused control first, the dialog after it.
  installEventFilter(this);
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

TransferStatusDialog::~TransferStatusDialog() = default;

void TransferStatusDialog::SetHelpAction(std::function<void(const QString& page)> action) {
  help_action_ = std::move(action);
}

int TransferStatusDialog::DoModal() {
  OnInitDialog();
  return exec();
}

void TransferStatusDialog::reject() { OnCancel(); }

void TransferStatusDialog::showEvent(QShowEvent* event) {
  shown_.start();
  QDialog::showEvent(event);
}

// Qt stamps key events on a clock of its own, so the time since showing is taken as each
// press is received: a press queued before the window came up is received just after it.
bool TransferStatusDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier) {
      controller_.OnHelp();
      return true;
    }
  }
  if (event->type() == QEvent::KeyPress && PressesButton(*static_cast<QKeyEvent*>(event))) {
    ButtonKeyPress press;
    press.auto_repeat = static_cast<QKeyEvent*>(event)->isAutoRepeat();
    press.ms_since_shown = shown_.isValid() ? shown_.elapsed() : -1;
    press.double_click_ms = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    if (!KeyPressesButton(press)) return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TransferStatusDialog::ReserveNotes(const NotesRoom& room) {
  const QSize units = DialogBaseUnits(DialogFont(LoadDialogTemplate(kStatusDialogTemplate)));
  const DialogRect& r = room.notes;
  notes_room_->setGeometry(MapDialogRect(QRect(r.x, r.y, r.width, r.height), units));
  const int shift = MapDialogRect(QRect(0, 0, 0, room.shift), units).height();
  if (m_buttonCancel != nullptr) m_buttonCancel->move(m_buttonCancel->x(), button_top_ + shift);
  setFixedHeight(template_height_ + shift);
}

void TransferStatusDialog::ShowNotes(const std::vector<NoteLine>& lines) {
  QStringList html;
  for (const NoteLine& line : lines) {
    QString text = Escaped(line.text);
    if (!line.help.page.empty()) {
      text += QStringLiteral("<a href=\"%1\">%2</a>")
                  .arg(Escaped(line.help.page), Escaped(line.help.title));
    }
    html << text;
  }
  notes_->setText(html.join(QStringLiteral("<br>")));
  notes_->setVisible(!lines.empty());
}

}  // namespace m4410

#include "moc_transfer_status_dialog.cpp"
