// The HTML Help viewer, loaded on the first call and kept for the life of the program: the
// registered viewer control, else "hhctrl.ocx" by name; its ANSI entry point by ordinal 14.
// A failure is remembered, and every later call returns a null window at once.
#pragma once

#include <windows.h>

namespace m4410 {

HWND HtmlHelpA(HWND owner, const char* file, UINT command, DWORD_PTR data);

// F1: the classic help engine on the executable's .HLP file at context, where the system has
// that engine and the file is there; otherwise the HTML Help file beside the program at page
// ("running.html"), as the Help button opens it, and as silently. False only when the classic
// engine was there and could not be started.
bool ShowContextHelp(HWND owner, DWORD context, const char* page);
// The HTML Help file beside the program at page and its anchor ("stages.html#s3"); silent
// when the viewer cannot be had.
void ShowHelpPage(const char* page);

}  // namespace m4410
