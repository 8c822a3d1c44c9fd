// marlovine-updater: the operator's program on Windows.
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "run/program_start.h"
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
  const std::vector<std::string> arguments(__argv, __argv + __argc);
  const m4410::UpdaterAnswer answer = m4410::AnswerAskedFor(arguments);
  bool parsed = false;
  m4410::RunOptions options;
  std::string error;

  m4410::ProgramStartSteps steps;
  steps.program = "marlovine-updater";
  steps.read_command_line = [&]() -> const m4410::RunOptions* {
    if (answer != m4410::UpdaterAnswer::None) return nullptr;
    parsed = m4410::ParseUpdaterOptions(arguments, &options, &error);
    return parsed ? &options : nullptr;
  };
  steps.own_first_steps = [&]() -> std::optional<int> {
    if (answer == m4410::UpdaterAnswer::Help) {
      return Tell(m4410::UpdaterUsageText(), MB_ICONINFORMATION, 0);
    }
    if (answer == m4410::UpdaterAnswer::Version) {
      return Tell("marlovine-updater " M4410_VERSION, MB_ICONINFORMATION, 0);
    }
    if (!parsed) {
      return Tell(error + "\n\n" + m4410::UpdaterUsageText(), MB_ICONEXCLAMATION, kExitUsage);
    }
    return std::nullopt;
  };
  const m4410::ProgramStarted started = m4410::StartProgram(steps);
  if (started.exit_status) return *started.exit_status;
  if (!started.environment) {
    return Tell(started.refusal + "\n\n" + m4410::UpdaterUsageText(), MB_ICONEXCLAMATION,
                kExitUsage);
  }

  if (!m4410::StartCommonControls()) {
    return Tell("Windows' common controls (comctl32.dll) cannot be loaded.", MB_ICONSTOP, 1);
  }

  // The result of the main dialog (Quit, Esc, or no template) is not the program's concern;
  // the program never ends while a worker holds the port.
  m4410::ProfileStore profile(m4410::SettingsFileName());
  m4410::UpdaterDialog dialog(&profile, started.environment.get());
  dialog.DoModal();
  m4410::WaitForUpdateWorker();
  return 0;
}
