// marlovine-updater: the operator's program.
#include <QApplication>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "qt/dialog_template.h"
#include "qt/help_viewer.h"
#include "qt/help_window.h"
#include "qt/updater_app.h"
#include "qt/updater_options.h"
#include "privilege/start_privilege.h"
#include "run/port_environment.h"
#include "run/update_log.h"
#include "run/standard_descriptors.h"

namespace {

constexpr int kExitUsage = 64;

// Options come from a terminal or a script (the desktop entry passes none), so the reason
// goes to the standard error stream.
int Refuse(const QString& message) {
  std::fprintf(stderr, "marlovine-updater: %s\n%s", qPrintable(message),
               qPrintable(m4410::UpdaterUsage()));
  return kExitUsage;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Before any file is opened, so none takes the place of a closed standard stream.
  m4410::EnsureStandardDescriptors();

  // Before Qt reads its options, environment or plugins: a planted platform plugin or style
  // must find nothing beyond the chosen port's registers.
  const std::optional<std::string> port =
      m4410::PortBeforeToolkit(std::vector<std::string>(argv, argv + argc));
  m4410::TakePortThenDropPrivileges("marlovine-updater", port ? &*port : nullptr);

  // --help and --version answer without a display, so they work over ssh and in scripts.
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--help" || word == "-h") {
      std::fputs(qPrintable(m4410::UpdaterUsage()), stdout);
      return 0;
    }
    if (word == "--version") {
      std::printf("marlovine-updater %s\n", M4410_VERSION);
      return 0;
    }
  }

  // Qt takes its own options (-platform, -style ...) out of the arguments first.
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(m4410::UpdaterApp::kAppName));
  QApplication::setApplicationVersion(QStringLiteral(M4410_VERSION));
  QApplication::setWindowIcon(m4410::AppIcon());

  m4410::UpdaterOptions options;
  QString error;
  if (!m4410::ParseUpdaterOptions(QApplication::arguments(), &options, &error)) {
    return Refuse(error);
  }

  // The port choice holds for the whole program; the application waits for any worker
  // before it returns, so the environment outlives every use of the port.
  std::string why;
  const std::unique_ptr<m4410::PortEnvironment> environment =
      m4410::PortEnvironment::Install(options.port, &why);
  if (!environment) return Refuse(QString::fromStdString(why));
  m4410::ConfigureUpdateLog(m4410::UpdaterApp::kAppName, options.port.port, !options.no_log);

  // Where the desktop cannot open the help pages, the program shows them itself.
  m4410::AppHelpViewer().SetFallback(&m4410::ShowHelpWindow);

  m4410::UpdaterApp app;
  app.SetPortEnvironment(environment.get());
  return app.InitInstance();
}
