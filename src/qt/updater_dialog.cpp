#include "qt/updater_dialog.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "qt/dialog_template.h"
#include "qt/file_chooser.h"
#include "qt/help_viewer.h"
#include "qt/transfer_status_dialog.h"
#include "qt/updater_app.h"
#include "qt/worker_wait_dialog.h"
#include "ui/main_dialog_ids.h"

namespace m4410 {

namespace {

QString ToDisplay(const std::string& path) { return QFile::decodeName(path.c_str()); }
std::string FromDisplay(const QString& text) { return QFile::encodeName(text).toStdString(); }

}  // namespace

// The controller's calls on these widgets, found by their template IDs.
class UpdaterDialog::Controls : public MainDialogView {
 public:
  explicit Controls(UpdaterDialog* dialog) : d_(dialog) {}

  std::string Text(int id) const override {
    if (const auto* edit = FindControlAs<QLineEdit>(d_, id)) return FromDisplay(edit->text());
    const auto* label = FindControlAs<QLabel>(d_, id);
    return label != nullptr ? label->text().toStdString() : std::string();
  }
  // setText raises no textEdited, so a push is no edit change.
  void SetText(int id, const std::string& text) override {
    if (auto* edit = FindControlAs<QLineEdit>(d_, id)) edit->setText(ToDisplay(text));
    if (auto* label = FindControlAs<QLabel>(d_, id)) label->setText(QString::fromStdString(text));
  }
  bool Checked(int id) const override {
    const auto* box = FindControlAs<QCheckBox>(d_, id);
    return box != nullptr && box->checkState() == Qt::Checked;
  }
  void SetChecked(int id, bool checked) override {
    if (auto* box = FindControlAs<QCheckBox>(d_, id)) box->setChecked(checked);  // no click
  }
  void SetReadOnly(int id, bool read_only) override {
    SetEditReadOnly(FindControlAs<QLineEdit>(d_, id), read_only);
  }
  void Show(int id, bool shown) override {
    if (QWidget* control = FindControl(d_, id)) control->setVisible(shown);
  }
  void SetTitle(const std::string& title) override {
    d_->setWindowTitle(QString::fromStdString(title));
  }
  void Message(const std::string& text, MessageKind kind) override {
    const QString caption = d_->m_pApp != nullptr ? d_->m_pApp->AppName()
                                                  : QString::fromLatin1(UpdaterApp::kAppName);
    d_->sink_->Show(d_, caption, ToDisplay(text),
                    kind == MessageKind::Warning ? QMessageBox::Warning : QMessageBox::NoIcon);
  }
  // Qt reads a filter's names from its own parentheses.
  bool ChooseFile(const std::string& last_path, const std::vector<FileFilter>& filters,
                  std::string* chosen) override {
    const QString initial = last_path.empty() ? QDir::homePath() : ToDisplay(last_path);
    QStringList offered;
    for (const FileFilter& filter : filters) offered << QString::fromStdString(filter.name);
    QString path;
    if (!d_->chooser_->ChooseFile(d_, initial, offered, &path)) return false;
    *chosen = FromDisplay(path);
    return true;
  }
  bool RunStatusWindow(const BoxReport& box_report) override {
    TransferStatusDialog status(d_);
    status.SetBoxReport(box_report);
    status.DoModal();
    return status.ImageSeenInBox();
  }
  void WaitForWorker(bool image_seen_in_box) override {
    WaitForWorkerToFinish(d_, image_seen_in_box);
  }
  void StartTimer(int period_ms) override { d_->run_timer_.start(period_ms); }
  void StopTimer() override { d_->run_timer_.stop(); }
  void EndDialog(int result) override { d_->QDialog::done(result); }

 private:
  UpdaterDialog* d_;
};

UpdaterDialog::UpdaterDialog(UpdaterApp* app, QWidget* parent)
    : QDialog(parent),
      app_(app),
      own_sink_(std::make_unique<ScreenMessageSink>()),
      own_chooser_(std::make_unique<ScreenFileChooser>()),
      sink_(own_sink_.get()),
      chooser_(own_chooser_.get()),
      help_action_([] { AppHelpViewer().ShowHelp(); }),
      controls_(std::make_unique<Controls>(this)),
      // Every settings call goes through the application object.
      controller_(*controls_, app->profile(), SimulatedBoxReport(app->port_environment())) {
  BuildDialog(this, LoadDialogTemplate(kMainDialogTemplate));
  m_hIcon = AppIcon();
  connect(&run_timer_, &QTimer::timeout, this, [this] { controller_.OnTimer(); });

  // Control binding, in the order of the data exchange.
  m_editProgramFile = FindControlAs<QLineEdit>(this, kProgramEdit);
  m_editTableFile = FindControlAs<QLineEdit>(this, kTableEdit);
  m_editMenuFile = FindControlAs<QLineEdit>(this, kMenuEdit);
  m_editCompleteFile = FindControlAs<QLineEdit>(this, kCompleteEdit);
  m_checkTableFile = FindControlAs<QCheckBox>(this, kTableCheck);
  m_checkProgramFile = FindControlAs<QCheckBox>(this, kProgramCheck);
  m_checkMenuFile = FindControlAs<QCheckBox>(this, kMenuCheck);
  m_checkCompleteFile = FindControlAs<QCheckBox>(this, kCompleteCheck);

  // Every button and check box of the template reaches the controller; Help is this window's.
  for (QAbstractButton* button : findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly)) {
    const int id = button->property(kControlIdProperty).toInt();
    connect(button, &QAbstractButton::clicked, this, [this, id] {
      if (id == kHelp) {
        OnHelpButton();
      } else {
        controller_.OnClicked(id);
      }
    });
  }
  // Only the operator's own typing counts as a change; the dialog's pushes do not.
  for (QLineEdit* edit : findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly)) {
    const int id = edit->property(kControlIdProperty).toInt();
    connect(edit, &QLineEdit::textEdited, this, [this, id] { controller_.OnEditChange(id); });
  }
}

UpdaterDialog::~UpdaterDialog() = default;

void UpdaterDialog::SetMessageSink(MessageSink* sink) { sink_ = sink != nullptr ? sink : own_sink_.get(); }

void UpdaterDialog::SetFileChooser(FileChooser* chooser) {
  chooser_ = chooser != nullptr ? chooser : own_chooser_.get();
}

void UpdaterDialog::SetHelpAction(std::function<void()> action) { help_action_ = std::move(action); }

int UpdaterDialog::DoModal() {
  OnInitDialog();
  return exec();
}

void UpdaterDialog::OnInitDialog() {
  setWindowIcon(m_hIcon);
  m_pApp = app_;
  controller_.OnInitDialog();
  if (auto* start = FindControl(this, kStart)) start->setFocus();
}

void UpdaterDialog::OnHelpButton() {
  if (help_action_) help_action_();
}

void UpdaterDialog::OnHelpInfo() {
  if (help_action_) help_action_();
}

void UpdaterDialog::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers held =
      event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  if (event->key() == Qt::Key_F1 && held == Qt::NoModifier) {
    OnHelpInfo();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void UpdaterDialog::reject() { controller_.OnCancel(); }

void UpdaterDialog::done(int result) { controller_.End(result); }

}  // namespace m4410

#include "moc_updater_dialog.cpp"
