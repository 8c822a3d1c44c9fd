// The HTML Help viewer, loaded on the first call and kept for the life of the program: the
// registered viewer control, else "hhctrl.ocx" by name; its ANSI entry point by ordinal 14.
// A failure is remembered, and every later call returns a null window at once.
#pragma once

#include <windows.h>

namespace m4410 {

HWND HtmlHelpA(HWND owner, const char* file, UINT command, DWORD_PTR data);

}  // namespace m4410
