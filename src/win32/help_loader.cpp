#include "win32/help_loader.h"

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

// The viewer's registered location; false when the key or its value cannot be had (a value
// longer than the buffer among them).
bool RegisteredViewer(char (&path)[260]) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, kViewerKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  DWORD size = sizeof path;
  const bool read = ::RegQueryValueExA(key, nullptr, nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(path), &size) == ERROR_SUCCESS;
  ::RegCloseKey(key);
  return read;
}

}  // namespace

HWND HtmlHelpA(HWND owner, const char* file, UINT command, DWORD_PTR data) {
  if (loader.viewer == nullptr && !loader.failed) {
    char path[260] = {};
    if (RegisteredViewer(path)) loader.viewer = ::LoadLibraryA(path);
    if (loader.viewer == nullptr) loader.viewer = ::LoadLibraryA("hhctrl.ocx");
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
