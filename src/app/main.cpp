// marlovine-updater: the operator's program.
#include <QApplication>

#include "app/dialog_template.h"
#include "app/updater_app.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(m4410::UpdaterApp::kAppName));
  QApplication::setWindowIcon(m4410::AppIcon());

  m4410::UpdaterApp app;
  return app.InitInstance();
}
