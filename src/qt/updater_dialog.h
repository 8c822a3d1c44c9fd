// The main dialog in Qt widgets: the complete-file row (and three hidden part-file rows),
// Start, Quit, Help and the browse buttons. It owns the shared controller, which holds the
// dialog's strings and handlers; this window draws what the controller says and turns Qt's
// events into its handlers.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "qt/message_sink.h"
#include "ui/main_dialog_controller.h"

class QCheckBox;
class QLineEdit;

namespace m4410 {

class FileChooser;
class UpdaterApp;

class UpdaterDialog : public QDialog {
  Q_OBJECT

 public:
  explicit UpdaterDialog(UpdaterApp* app, QWidget* parent = nullptr);
  ~UpdaterDialog() override;

  // Opens the dialog (OnInitDialog) and runs it modally.
  int DoModal();
  // Icon, settings, check boxes, read-only states and the remembered paths in the edits.
  void OnInitDialog();

  void OnHelpButton();
  void OnHelpInfo();

  // The dialog's strings (m_strCompleteFile ...) and handlers.
  MainDialogController& controller() { return controller_; }

  // Seams for tests; the defaults show real boxes and dialogs and open the help viewer.
  void SetMessageSink(MessageSink* sink);
  void SetFileChooser(FileChooser* chooser);
  void SetHelpAction(std::function<void()> action);

  // Control members, in the order the main dialog has always declared them.
  QLineEdit* m_editProgramFile = nullptr;
  QLineEdit* m_editTableFile = nullptr;
  QLineEdit* m_editMenuFile = nullptr;
  QLineEdit* m_editCompleteFile = nullptr;
  QCheckBox* m_checkTableFile = nullptr;
  QCheckBox* m_checkProgramFile = nullptr;
  QCheckBox* m_checkMenuFile = nullptr;
  QCheckBox* m_checkCompleteFile = nullptr;
  UpdaterApp* m_pApp = nullptr;
  QIcon m_hIcon;

 public slots:
  void done(int result) override;
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  class Controls;  // the controller's view of these widgets (in the .cpp)

  UpdaterApp* app_;
  std::unique_ptr<MessageSink> own_sink_;
  std::unique_ptr<FileChooser> own_chooser_;
  MessageSink* sink_;
  FileChooser* chooser_;
  std::function<void()> help_action_;
  QTimer run_timer_;
  std::unique_ptr<Controls> controls_;
  MainDialogController controller_;
};

}  // namespace m4410
