#include "win32/help_loader.h"

#include <cstring>
#include <string>

#include "win32/app_identity.h"

namespace m4410 {

namespace {

using HtmlHelpEntry = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

// Only the main thread asks for help, so the loader keeps its state without a lock.
struct HelpViewerLoader {
  HMODULE viewer = nullptr;
  bool failed = false;
  HtmlHelpEntry entry = nullptr;
};

HelpViewerLoader loader;

constexpr char kViewerKey[] =
    "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";

// The viewer's registered location; false when the key or its value cannot be had: a value
// that is not a string (or an expandable one), or that does not fit the buffer with its
// terminating NUL, whether as stored or once expanded.
bool RegisteredViewer(char (&path)[MAX_PATH]) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, kViewerKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  char value[MAX_PATH] = {};
  DWORD type = REG_NONE;
  DWORD size = sizeof value - 1;  // room kept for a NUL the value may lack
  const bool read = ::RegQueryValueExA(key, nullptr, nullptr, &type,
                                       reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS;
  ::RegCloseKey(key);
  if (!read || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  value[size] = '\0';
  if (type == REG_SZ) {
    std::memcpy(path, value, sizeof value);
    return true;
  }
  const DWORD expanded = ::ExpandEnvironmentStringsA(value, path, MAX_PATH);
  return expanded != 0 && expanded <= MAX_PATH;
}

// The control from the system folder only: a bare name is never looked for beside the
// program or in the current folder, where a planted library would run with the program.
HMODULE LoadFromSystem(const char* name) {
  return ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

bool IsFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Current Windows no longer ships the classic engine, and no .HLP file comes with the program:
// the engine counts only where its program is in the Windows folder and the file beside ours.
bool ClassicHelpAvailable(const std::string& help_file) {
  char windows[MAX_PATH] = {};
  const UINT length = ::GetSystemWindowsDirectoryA(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  return IsFile(std::string(windows) + "\\winhlp32.exe") && IsFile(help_file);
}

}  // namespace

bool ShowContextHelp(HWND owner, DWORD context, const char* page) {
  const std::string classic = ExecutablePathWithExtension(".HLP");
  if (ClassicHelpAvailable(classic)) {
    return ::WinHelpA(owner, classic.c_str(), HELP_CONTEXT, context) != FALSE;
  }
  ShowHelpPage(page);
  return true;
}

void ShowHelpPage(const char* page) {
  const std::string topic = HelpFile() + "::/" + page;
  HtmlHelpA(nullptr, topic.c_str(), 0 /* HH_DISPLAY_TOPIC */, 0);
}

HWND HtmlHelpA(HWND owner, const char* file, UINT command, DWORD_PTR data) {
  if (loader.viewer == nullptr && !loader.failed) {
    char path[MAX_PATH] = {};
    if (RegisteredViewer(path)) loader.viewer = LoadFromSystem(path);
    if (loader.viewer == nullptr) loader.viewer = LoadFromSystem("hhctrl.ocx");
    if (loader.viewer == nullptr) {
      loader.failed = true;
      return nullptr;
    }
  }
  if (loader.failed) return nullptr;
  if (loader.entry == nullptr) {
    loader.entry = reinterpret_cast<HtmlHelpEntry>(
        reinterpret_cast<void*>(::GetProcAddress(loader.viewer, MAKEINTRESOURCEA(14))));
    if (loader.entry == nullptr) {
      loader.failed = true;
      return nullptr;
    }
  }
  return loader.entry(owner, file, command, data);
}

}  // namespace m4410
