// The application object: runs the main dialog once and owns the remembered settings.
#pragma once

#include <QString>
#include <string>

#include "ui/profile_store.h"

namespace m4410 {

class PortEnvironment;

class UpdaterApp {
 public:
  // The program's name: the caption of its message boxes and the name of its settings file.
  static constexpr char kAppName[] = "marlovine-updater";

  // Settings live in settings_path, by default DefaultSettingsPath().
  explicit UpdaterApp(std::string settings_path = DefaultSettingsPath());

  // "marlovine-updater.ini" in the user's configuration folder ($XDG_CONFIG_HOME, ~/.config).
  static std::string DefaultSettingsPath();

  // Runs the main dialog modally, then waits for an update worker that is still running.
  // Returns the process's exit status.
  int InitInstance();

  QString AppName() const { return QString::fromLatin1(kAppName); }

  // The remembered settings (the main dialog reads and writes them).
  ProfileStore& profile() { return profile_; }

  // The port the program was started on (--port, --sim); null in tests that install none.
  void SetPortEnvironment(const PortEnvironment* environment) { environment_ = environment; }
  const PortEnvironment* port_environment() const { return environment_; }

 private:
  ProfileStore profile_;
  const PortEnvironment* environment_ = nullptr;
};

}  // namespace m4410
