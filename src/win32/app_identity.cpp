#include "win32/app_identity.h"

#include <windows.h>

namespace m4410 {

namespace {

std::string ExecutablePath() {
  char path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, length);
}

}  // namespace

std::string AppName() {
  std::string name = ExecutablePath();
  name = name.substr(name.find_last_of("\\/") + 1);
  return name.substr(0, name.rfind('.'));
}

std::string SettingsFileName() { return AppName() + ".INI"; }

std::string BesideExecutable(const char* name) {
  const std::string path = ExecutablePath();
  const std::size_t slash = path.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + name;
}

std::string HelpFile() { return BesideExecutable("Help2QRB.chm"); }

std::string ExecutablePathWithExtension(const char* extension) {
  const std::string path = ExecutablePath();
  const std::size_t slash = path.find_last_of("\\/");
  const std::size_t dot = path.rfind('.');
  const bool has_extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (has_extension ? path.substr(0, dot) : path) + extension;
}

}  // namespace m4410
