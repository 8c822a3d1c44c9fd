// The system's libraries that the window program does not import, loaded once it has set
// where libraries come from. Windows loads a program's imports before its first instruction,
// by the plain search, which looks beside the program first; only the libraries on its
// known-DLL list (and what they import) come from the system folder whatever the search.
// comctl32 is not on that list; comdlg32 is, but imports comctl32, and Wine, unlike Windows,
// looks for that beside the program too.
#pragma once

#include <windows.h>
#include <commdlg.h>

namespace m4410 {

// Loads comctl32.dll from the system folder and registers its window classes (the status
// window's progress bar); false when it cannot.
bool StartCommonControls();

// GetOpenFileNameA, from comdlg32.dll in the system folder; FALSE also when that cannot load.
BOOL GetOpenFileNameFromSystem(OPENFILENAMEA* dialog);

}  // namespace m4410
