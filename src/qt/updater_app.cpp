#include "qt/updater_app.h"

#include <QFile>
#include <QStandardPaths>

#include "qt/updater_dialog.h"
#include "run/update_worker.h"

namespace m4410 {

UpdaterApp::UpdaterApp(std::string settings_path) : profile_(std::move(settings_path)) {}

std::string UpdaterApp::DefaultSettingsPath() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (folder.isEmpty()) folder = QStringLiteral(".");
  return QFile::encodeName(folder + QStringLiteral("/") + QString::fromLatin1(kAppName) +
                           QStringLiteral(".ini"))
      .toStdString();
}

int UpdaterApp::InitInstance() {
  {
    UpdaterDialog dialog(this);
    dialog.DoModal();
  }
  // The dialog has already waited, showing that it does; this only makes sure no worker
  // outlives the program whatever ended the dialog.
  WaitForUpdateWorker();
  return 0;
}

}  // namespace m4410
