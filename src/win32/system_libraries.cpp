#include "win32/system_libraries.h"

#include <commctrl.h>

namespace m4410 {

namespace {

// The library stays loaded for the program's life: its classes and dialogs live as long.
template <typename Entry>
Entry FromSystem(const wchar_t* library, const char* entry) {
  const HMODULE module = ::LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Entry>(reinterpret_cast<void*>(::GetProcAddress(module, entry)));
}

}  // namespace

bool StartCommonControls() {
  using Start = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto start = FromSystem<Start>(L"comctl32.dll", "InitCommonControlsEx");
  const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  return start != nullptr && start(&controls) != FALSE;
}

BOOL GetOpenFileNameFromSystem(OPENFILENAMEA* dialog) {
  using Open = BOOL(WINAPI*)(OPENFILENAMEA*);
  static const auto open = FromSystem<Open>(L"comdlg32.dll", "GetOpenFileNameA");
  return open != nullptr && open(dialog);
}

}  // namespace m4410
