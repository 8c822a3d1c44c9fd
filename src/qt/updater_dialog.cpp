#include "qt/updater_dialog.h"

#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "qt/dialog_template.h"
#include "qt/file_chooser.h"
#include "qt/help_viewer.h"
#include "qt/updater_app.h"
#include "run/port_environment.h"
#include "ui/run_notes.h"
#include "board/stage_board.h"
#include "ui/file_rows.h"
#include "ui/main_dialog_ids.h"
#include "ui/start_command.h"
#include "qt/transfer_status_dialog.h"
#include "run/update_worker.h"

namespace m4410 {

namespace {

const QStringList& BrowseFilters() {
  static const QStringList filters = {QStringLiteral("Update Files (*.bin)"),
                                      QStringLiteral("All Files (*.*)")};
  return filters;
}

QString ToDisplay(const std::string& path) { return QFile::decodeName(path.c_str()); }
std::string FromDisplay(const QString& text) { return QFile::encodeName(text).toStdString(); }

bool BoxChecked(const QCheckBox* box) { return box != nullptr && box->checkState() == Qt::Checked; }

// The window shown while the program waits for a worker before it ends. It has no way out
// while the image goes out; at any other moment it offers to leave at once.
class WorkerWaitDialog : public QDialog {
 public:
  WorkerWaitDialog(QWidget* parent, bool image_seen_in_box)
      : QDialog(parent), watch_(image_seen_in_box) {
    setWindowTitle(parent != nullptr ? parent->windowTitle()
                                     : QString::fromLatin1(UpdaterApp::kAppName));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowModality(Qt::ApplicationModal);
    setObjectName(QStringLiteral("workerWaitDialog"));
    auto* layout = new QVBoxLayout(this);
    text_ = new QLabel(this);
    text_->setObjectName(QStringLiteral("waitText"));
    text_->setWordWrap(true);
    text_->setMinimumWidth(360);
    layout->addWidget(text_);
    auto* bar = new QProgressBar(this);
    bar->setRange(0, 0);  // busy: the remaining time is not known
    bar->setTextVisible(false);
    layout->addWidget(bar);
    leave_ = new QPushButton(QStringLiteral("&Leave now"), this);
    leave_->setObjectName(QStringLiteral("leaveNowButton"));
    layout->addWidget(leave_, 0, Qt::AlignRight);
    connect(leave_, &QPushButton::clicked, this, [this] {
      // The worker stops waiting for the box, ends the link and releases the port; an image
      // that has just begun to go out still goes out whole, and this window waits for it.
      leaving_ = true;
      LeaveUpdate();
      Refresh();
    });
    Refresh();
  }

  // Follows the run: called on every poll until the worker has ended.
  void Refresh() {
    const WaitPhase phase = watch_.Poll();
    const bool may_leave = phase != WaitPhase::ImageGoingOut;
    text_->setText(leaving_ && may_leave ? QStringLiteral("Releasing the port...")
                                         : QString::fromLatin1(WaitText(phase)));
    leave_->setVisible(may_leave);
    leave_->setEnabled(!leaving_);
    if (may_leave && !leaving_ && !leave_->hasFocus()) leave_->setFocus();
    adjustSize();
  }

 protected:
  void reject() override {}  // Esc and the close box do not end the wait; Leave now does
  void closeEvent(QCloseEvent* event) override { event->ignore(); }

 private:
  WaitWatch watch_;
  bool leaving_ = false;
  QLabel* text_ = nullptr;
  QPushButton* leave_ = nullptr;
};

}  // namespace

UpdaterDialog::UpdaterDialog(UpdaterApp* app, QWidget* parent)
    : QDialog(parent),
      app_(app),
      own_sink_(std::make_unique<ScreenMessageSink>()),
      own_chooser_(std::make_unique<ScreenFileChooser>()),
      sink_(own_sink_.get()),
      chooser_(own_chooser_.get()),
      help_action_([] { AppHelpViewer().ShowHelp(); }) {
  BuildDialog(this, LoadDialogTemplate(kTemplateId));
  m_hIcon = AppIcon();

  // Control binding, in the order of the data exchange.
  m_editProgramFile = FindControlAs<QLineEdit>(this, kProgramEdit);
  m_editTableFile = FindControlAs<QLineEdit>(this, kTableEdit);
  m_editMenuFile = FindControlAs<QLineEdit>(this, kMenuEdit);
  m_editCompleteFile = FindControlAs<QLineEdit>(this, kCompleteEdit);
  m_checkTableFile = FindControlAs<QCheckBox>(this, kTableCheck);
  m_checkProgramFile = FindControlAs<QCheckBox>(this, kProgramCheck);
  m_checkMenuFile = FindControlAs<QCheckBox>(this, kMenuCheck);
  m_checkCompleteFile = FindControlAs<QCheckBox>(this, kCompleteCheck);

  const auto on_click = [this](int id, void (UpdaterDialog::*handler)()) {
    if (auto* button = FindControlAs<QAbstractButton>(this, id)) {
      connect(button, &QAbstractButton::clicked, this, handler);
    }
  };
  on_click(kStart, &UpdaterDialog::StartCommand);
  on_click(kBrowseComplete, &UpdaterDialog::OnBrowseCompleteFile);
  on_click(kQuit, &UpdaterDialog::OnQuit);
  on_click(kHelp, &UpdaterDialog::OnHelpButton);
  on_click(kBrowseTable, &UpdaterDialog::OnBrowseTableFile);
  on_click(kBrowseProgram, &UpdaterDialog::OnBrowseProgramFile);
  on_click(kBrowseMenu, &UpdaterDialog::OnBrowseMenuFile);
  on_click(kCompleteCheck, &UpdaterDialog::OnCompleteFileCheck);
  on_click(kMenuCheck, &UpdaterDialog::OnMenuFileCheck);
  on_click(kTableCheck, &UpdaterDialog::OnTableFileCheck);
  on_click(kProgramCheck, &UpdaterDialog::OnProgramFileCheck);
  // Only the operator's own typing counts as a change; the dialog's pushes do not.
  for (QLineEdit* edit : {m_editCompleteFile, m_editTableFile, m_editMenuFile, m_editProgramFile}) {
    if (edit != nullptr) connect(edit, &QLineEdit::textEdited, this, &UpdaterDialog::OnFileEditChange);
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
  UpdateData(false);
  setWindowIcon(m_hIcon);
  m_pApp = app_;
  if (Simulated()) {
    setWindowTitle(QString::fromStdString(LoadDialogTemplate(kTemplateId).caption + kSimulatedTitleSuffix));
  }

  m_strSection = "Software Update Section";
  m_strLastPathItem = "Software Update String Item";
  m_strLastPath = m_pApp->GetProfileString(m_strSection, m_strLastPathItem);
  m_strCompleteFileItem = "Software Update Filename Item";
  m_strCompleteFile = m_pApp->GetProfileString(m_strSection, m_strCompleteFileItem);
  m_strProgramFileItem = "Software Update ProgramFilename Item";
  m_strProgramFile = m_pApp->GetProfileString(m_strSection, m_strProgramFileItem);
  m_strMenuFileItem = "Software Update MenuFilename Item";
  m_strMenuFile = m_pApp->GetProfileString(m_strSection, m_strMenuFileItem);
  m_strTableFileItem = "Software Update TableFilename Item";
  m_strTableFile = m_pApp->GetProfileString(m_strSection, m_strTableFileItem);

  SetInitialRowStates(*this);

  UpdateData(false);
  if (auto* start = FindControl(this, kStart)) start->setFocus();
}

void UpdaterDialog::UpdateData(bool save) {
  const std::pair<QLineEdit*, std::string*> pairs[] = {
      {m_editCompleteFile, &m_strCompleteFile},
      {m_editProgramFile, &m_strProgramFile},
      {m_editTableFile, &m_strTableFile},
      {m_editMenuFile, &m_strMenuFile},
  };
  for (const auto& [edit, value] : pairs) {
    if (edit == nullptr) continue;
    if (save) {
      *value = FromDisplay(edit->text());
    } else {
      const QString text = ToDisplay(*value);
      if (edit->text() != text) edit->setText(text);
    }
  }
}

void UpdaterDialog::StartCommand() {
  // 1 to 6: the file, its check, the worker.
  const StartOutcome outcome = StartUpdate(
      {BoxChecked(m_checkCompleteFile), BoxChecked(m_checkMenuFile),
       BoxChecked(m_checkProgramFile), BoxChecked(m_checkTableFile), &m_strCompleteFile, &m_strMenuFile, &m_strProgramFile,
       &m_strTableFile});
  if (!outcome.started) {
    Message(ToDisplay(outcome.message), outcome.warning ? QMessageBox::Warning : QMessageBox::NoIcon);
    return;
  }

  // 7, 8.
  {
    TransferStatusDialog status(this);
    if (Simulated()) {
      const PortEnvironment* environment = app_->port_environment();
      status.SetBoxReport([environment] { return environment->BoxReport(); });
    }
    status.DoModal();
    image_seen_in_box_ = status.ImageSeenInBox();
  }
  LowerKeepGoing();
}

bool UpdaterDialog::Simulated() const {
  return app_ != nullptr && app_->port_environment() != nullptr &&
         app_->port_environment()->simulated();
}

void UpdaterDialog::OnQuit() {
  m_pApp->WriteProfileString(m_strSection, m_strLastPathItem, m_strLastPath);
  m_pApp->WriteProfileString(m_strSection, m_strCompleteFileItem, m_strCompleteFile);
  m_pApp->WriteProfileString(m_strSection, m_strProgramFileItem, m_strProgramFile);
  m_pApp->WriteProfileString(m_strSection, m_strMenuFileItem, m_strMenuFile);
  m_pApp->WriteProfileString(m_strSection, m_strTableFileItem, m_strTableFile);
  done(0);
}

void UpdaterDialog::Browse(std::string* target) {
  const QString initial = m_strLastPath.empty() ? QDir::homePath() : ToDisplay(m_strLastPath);
  QString chosen;
  if (!chooser_->ChooseFile(this, initial, BrowseFilters(), &chosen)) return;
  *target = FromDisplay(chosen);
  UpdateData(false);
  m_strLastPath = FromDisplay(chosen);
}

void UpdaterDialog::OnBrowseCompleteFile() { Browse(&m_strCompleteFile); }
void UpdaterDialog::OnBrowseProgramFile() { Browse(&m_strProgramFile); }
void UpdaterDialog::OnBrowseMenuFile() { Browse(&m_strMenuFile); }
void UpdaterDialog::OnBrowseTableFile() { Browse(&m_strTableFile); }

void UpdaterDialog::OnFileEditChange() { UpdateData(true); }

void UpdaterDialog::OnCompleteFileCheck() { OnRowCheck(*this, FileRow::Complete); }
void UpdaterDialog::OnMenuFileCheck() { OnRowCheck(*this, FileRow::Menu); }
void UpdaterDialog::OnTableFileCheck() { OnRowCheck(*this, FileRow::Table); }
void UpdaterDialog::OnProgramFileCheck() { OnRowCheck(*this, FileRow::Program); }

QCheckBox* UpdaterDialog::BoxOf(FileRow row) const {
  switch (row) {
    case FileRow::Complete: return m_checkCompleteFile;
    case FileRow::Program: return m_checkProgramFile;
    case FileRow::Menu: return m_checkMenuFile;
    case FileRow::Table: return m_checkTableFile;
  }
  return nullptr;
}

QLineEdit* UpdaterDialog::EditOf(FileRow row) const {
  switch (row) {
    case FileRow::Complete: return m_editCompleteFile;
    case FileRow::Program: return m_editProgramFile;
    case FileRow::Menu: return m_editMenuFile;
    case FileRow::Table: return m_editTableFile;
  }
  return nullptr;
}

bool UpdaterDialog::IsChecked(FileRow row) const { return BoxChecked(BoxOf(row)); }

void UpdaterDialog::SetChecked(FileRow row, bool checked) {
  if (QCheckBox* box = BoxOf(row)) box->setChecked(checked);  // emits no click
}

void UpdaterDialog::SetReadOnly(FileRow row, bool read_only) {
  SetEditReadOnly(EditOf(row), read_only);
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

void UpdaterDialog::reject() { done(kIdCancel); }

void UpdaterDialog::done(int result) {
  WaitForWorkerToFinish();
  QDialog::done(result);
}

void UpdaterDialog::WaitForWorkerToFinish() {
  if (UpdateWorkerRunning()) {
    WorkerWaitDialog wait(this, image_seen_in_box_);
    wait.show();
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&loop, &wait] {
      if (!UpdateWorkerRunning()) {
        loop.quit();
      } else {
        wait.Refresh();
      }
    });
    poll.start(50);
    if (UpdateWorkerRunning()) loop.exec();
  }
  WaitForUpdateWorker();
}

void UpdaterDialog::Message(const QString& text, QMessageBox::Icon icon) {
  sink_->Show(this, m_pApp != nullptr ? m_pApp->AppName() : QString::fromLatin1(UpdaterApp::kAppName),
              text, icon);
}

}  // namespace m4410

#include "moc_updater_dialog.cpp"
