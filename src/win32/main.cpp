// marlovine-updater: the operator's program on Windows.
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "os/library_search.h"
#include "os/running_copy.h"
#include "run/port_environment.h"
#include "run/update_log.h"
#include "run/update_worker.h"
#include "ui/profile_store.h"
#include "ui/updater_options.h"
#include "win32/app_identity.h"
#include "win32/system_libraries.h"
#include "win32/updater_dialog.h"

namespace {

constexpr int kExitUsage = 64;

// A window program has no console to print to: usage, version and refusals come in a box.
int Tell(const std::string& text, UINT icon, int status) {
  ::MessageBoxA(nullptr, text.c_str(), m4410::AppName().c_str(), MB_OK | icon);
  return status;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  m4410::LoadLibrariesFromTheSystemOnly();
  std::vector<std::string> arguments(__argv, __argv + __argc);
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == "--help" || arguments[i] == "-h") {
      return Tell(m4410::UpdaterUsageText(), MB_ICONINFORMATION, 0);
    }
    if (arguments[i] == "--version") {
      return Tell("marlovine-updater " M4410_VERSION, MB_ICONINFORMATION, 0);
    }
  }
  m4410::UpdaterOptions options;
  std::string error;
  if (!m4410::ParseUpdaterOptions(arguments, &options, &error)) {
    return Tell(error + "\n\n" + m4410::UpdaterUsageText(), MB_ICONEXCLAMATION, kExitUsage);
  }
  const std::unique_ptr<m4410::PortEnvironment> environment =
      m4410::PortEnvironment::Install(options.port, &error);
  if (!environment) {
    return Tell(error + "\n\n" + m4410::UpdaterUsageText(), MB_ICONEXCLAMATION, kExitUsage);
  }
  m4410::ConfigureUpdateLog("marlovine-updater", options.port.port, !options.no_log);
  m4410::AnnounceRunningCopy();

  if (!m4410::StartCommonControls()) {
    return Tell("Windows' common controls (comctl32.dll) cannot be loaded.", MB_ICONSTOP, 1);
  }

  // The result of the main dialog (Quit, Esc, or no template) is not the program's concern;
  // the program never ends while a worker holds the port.
  m4410::ProfileStore profile(m4410::SettingsFileName());
  m4410::UpdaterDialog dialog(&profile, environment.get());
  dialog.DoModal();
  m4410::WaitForUpdateWorker();
  return 0;
}
