#include "win32/chooser_folder.h"

#include <windows.h>

#include <shlobj.h>

namespace m4410 {

std::string ChooserStartFolder(const std::string& last_path) {
  if (!last_path.empty()) return last_path;
  // Loaded when first needed, from the system folder, as the program's other shell pieces.
  using Find = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
  const HMODULE shell = ::LoadLibraryExW(L"shell32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  const auto find = shell == nullptr ? nullptr
                                     : reinterpret_cast<Find>(reinterpret_cast<void*>(
                                           ::GetProcAddress(shell, "SHGetFolderPathA")));
  char documents[MAX_PATH] = {};
  if (find == nullptr ||
      find(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents) != S_OK) {
    return {};  // the chooser's own choice
  }
  return documents;
}

}  // namespace m4410
