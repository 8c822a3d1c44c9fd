// Looks at the program's windows from outside, as a screen reader would, for the window test:
// finds a dialog by its caption, checks its controls against the template, reads texts.
//   window_probe DESKTOP layout CAPTION TEMPLATE   every control where the template puts it,
//                          through the dialog font; prints the window's and each visible
//                          control's rectangle in screen pixels
//   window_probe DESKTOP wait-text CAPTION ID TEXT SECONDS
//   window_probe DESKTOP text CAPTION ID
//   window_probe DESKTOP rect CAPTION ID     the control's rectangle in screen pixels
//   window_probe DESKTOP frame CAPTION       the window's rectangle in screen pixels
//   window_probe DESKTOP wait-gone CAPTION SECONDS   no window of that caption is left
//   window_probe DESKTOP wait-shown CAPTION SECONDS  a window of that caption is shown
//   window_probe DESKTOP wait-hidden CAPTION ID SECONDS   the control is hidden
//   window_probe DESKTOP wait-clipboard CAPTION ID SECONDS   the clipboard holds the control's
//                          text
//   window_probe DESKTOP close CAPTION       asks the window to close, as its close box does
// DESKTOP is the Wine desktop the program runs in (explorer /desktop=NAME).
// Exit 0 when all holds, 1 otherwise, with the reason on standard error.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/dialog_template.h"

namespace {

// The program's windows live on its own desktop, which may not be there yet: this thread
// looks there once it is.
bool OnDesktop(const std::string& name) {
  static bool attached = false;
  if (!attached) {
    if (const HDESK desktop = ::OpenDesktopA(name.c_str(), 0, FALSE, GENERIC_ALL)) {
      attached = ::SetThreadDesktop(desktop) != 0;
    }
  }
  return attached;
}

// A shown window of that caption. A dialog that is still being made, or one that has ended
// and waits to be destroyed, is hidden: neither is the window an operator sees.
struct ShownSearch {
  const std::string* caption;
  HWND found;
};

BOOL CALLBACK MatchShown(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<ShownSearch*>(context);
  char text[256] = {};
  ::GetWindowTextA(window, text, sizeof text);
  if (*search->caption != text || !::IsWindowVisible(window)) return TRUE;
  search->found = window;
  return FALSE;
}

HWND ShownWindow(const std::string& caption) {
  ShownSearch search{&caption, nullptr};
  ::EnumWindows(MatchShown, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindDialog(const std::string& desktop, const std::string& caption, int seconds) {
  for (int waited = 0; waited <= seconds * 10; ++waited) {
    const HWND window = OnDesktop(desktop) ? ShownWindow(caption) : nullptr;
    if (window != nullptr) return window;
    ::Sleep(100);
  }
  std::fprintf(stderr, "no window captioned '%s' shown within %d s\n", caption.c_str(), seconds);
  return nullptr;
}

std::string ClipboardText() {
  std::string text;
  if (!::OpenClipboard(nullptr)) return text;
  if (const HANDLE data = ::GetClipboardData(CF_TEXT)) {
    if (const auto* chars = static_cast<const char*>(::GlobalLock(data))) {
      text = chars;
      ::GlobalUnlock(data);
    }
  }
  ::CloseClipboard();
  return text;
}

std::string TextOf(HWND control) {
  char text[1024] = {};
  ::SendMessageA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

// Dialog units in pixels, as the system's dialogs take them from their font: a quarter of the
// average character width, an eighth of the character height.
struct BaseUnits {
  int cx = 0;
  int cy = 0;
  // The corner and the size are each converted, as the dialog manager places a control.
  RECT Map(int x, int y, int width, int height) const {
    const int left = ::MulDiv(x, cx, 4);
    const int top = ::MulDiv(y, cy, 8);
    return {left, top, left + ::MulDiv(width, cx, 4), top + ::MulDiv(height, cy, 8)};
  }
};

BaseUnits DialogBaseUnits(const std::string& face, int points) {
  const HDC screen = ::GetDC(nullptr);
  LOGFONTA description{};
  description.lfHeight = -::MulDiv(points, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
  description.lfWeight = FW_NORMAL;
  description.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(description.lfFaceName, face.c_str(), LF_FACESIZE);
  const HFONT font = ::CreateFontIndirectA(&description);
  const HGDIOBJ previous = ::SelectObject(screen, font);
  TEXTMETRICA metrics{};
  ::GetTextMetricsA(screen, &metrics);
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  SIZE extent{};
  ::GetTextExtentPoint32A(screen, kAlphabet, 52, &extent);
  ::SelectObject(screen, previous);
  ::DeleteObject(font);
  ::ReleaseDC(nullptr, screen);
  return {static_cast<int>((extent.cx / 26 + 1) / 2), static_cast<int>(metrics.tmHeight)};
}

// Waits until each control the template shows is shown and each it hides is hidden: a dialog
// shows its controls as it is made, and is not what the template says until then.
void AwaitControlsShown(HWND dialog, const m4410::DialogTemplate& layout, int seconds) {
  for (int waited = 0; waited <= seconds * 10; ++waited) {
    bool settled = true;
    for (const m4410::ControlTemplate& control : layout.controls) {
      if (control.id < 0) continue;
      const HWND item = ::GetDlgItem(dialog, control.id);
      if (item != nullptr && (::IsWindowVisible(item) != 0) != control.visible) settled = false;
    }
    if (settled) return;
    ::Sleep(100);
  }
}

int Layout(HWND dialog, int template_id) {
  const m4410::DialogTemplate layout = m4410::LoadDialogTemplate(template_id);
  AwaitControlsShown(dialog, layout, 30);
  const BaseUnits units = DialogBaseUnits(layout.font_face, layout.font_points);
  int faults = 0;
  const RECT client = units.Map(0, 0, layout.width, layout.height);
  RECT actual{};
  ::GetClientRect(dialog, &actual);
  if (actual.right != client.right || actual.bottom != client.bottom) {
    std::fprintf(stderr, "client area %ldx%ld, the template's %dx%d units give %ldx%ld\n",
                 actual.right, actual.bottom, layout.width, layout.height, client.right,
                 client.bottom);
    ++faults;
  }
  RECT frame{};
  ::GetWindowRect(dialog, &frame);
  std::printf("window %ld %ld %ld %ld\n", frame.left, frame.top, frame.right, frame.bottom);
  for (const m4410::ControlTemplate& control : layout.controls) {
    if (control.id < 0) continue;  // unnamed statics cannot be found by ID
    const HWND item = ::GetDlgItem(dialog, control.id);
    if (item == nullptr) {
      std::fprintf(stderr, "control %d is missing\n", control.id);
      ++faults;
      continue;
    }
    if ((::IsWindowVisible(item) != 0) != control.visible) {
      std::fprintf(stderr, "control %d is %s\n", control.id,
                   control.visible ? "hidden" : "shown");
      ++faults;
    }
    const RECT expected =
        units.Map(control.rect.x, control.rect.y, control.rect.width, control.rect.height);
    RECT place{};
    ::GetWindowRect(item, &place);
    POINT corners[2] = {{place.left, place.top}, {place.right, place.bottom}};
    ::ScreenToClient(dialog, &corners[0]);
    ::ScreenToClient(dialog, &corners[1]);
    // A bitmap picture takes the bitmap's own size; only its corner is the template's.
    const bool sized = control.kind != "picture";
    if (corners[0].x != expected.left || corners[0].y != expected.top ||
        (sized && (corners[1].x != expected.right || corners[1].y != expected.bottom))) {
      std::fprintf(stderr, "control %d at %ld,%ld-%ld,%ld; the template puts it at %ld,%ld-%ld,%ld\n",
                   control.id, corners[0].x, corners[0].y, corners[1].x, corners[1].y,
                   expected.left, expected.top, expected.right, expected.bottom);
      ++faults;
    }
    if (control.kind != "edit" && !control.text.empty() && TextOf(item) != control.text) {
      std::fprintf(stderr, "control %d says '%s', not '%s'\n", control.id, TextOf(item).c_str(),
                   control.text.c_str());
      ++faults;
    }
    if (control.visible) {
      std::printf("control %d %ld %ld %ld %ld\n", control.id, place.left, place.top, place.right,
                  place.bottom);
    }
  }
  return faults == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: window_probe DESKTOP layout|text|rect|wait-text CAPTION ...\n");
    return 2;
  }
  const std::string desktop = argv[1];
  argv += 1;
  argc -= 1;
  const std::string command = argv[1];
  if (command == "wait-gone" && argc == 4) {
    for (int waited = 0; waited <= std::atoi(argv[3]) * 10; ++waited) {
      // Hidden counts: a window that is hidden but not yet destroyed is not gone.
      if (!OnDesktop(desktop) || ::FindWindowA(nullptr, argv[2]) == nullptr) return 0;
      ::Sleep(100);
    }
    std::fprintf(stderr, "'%s' is still there after %s s\n", argv[2], argv[3]);
    return 1;
  }
  if (command == "wait-shown" && argc == 4) {
    return FindDialog(desktop, argv[2], std::atoi(argv[3])) != nullptr ? 0 : 1;
  }
  const HWND dialog = FindDialog(desktop, argv[2], 60);
  if (dialog == nullptr) return 1;
  if (command == "layout" && argc == 4) return Layout(dialog, std::atoi(argv[3]));
  if (command == "text" && argc == 4) {
    std::printf("%s\n", TextOf(::GetDlgItem(dialog, std::atoi(argv[3]))).c_str());
    return 0;
  }
  if (command == "frame" && argc == 3) {
    RECT place{};
    if (!::GetWindowRect(dialog, &place)) return 1;
    std::printf("%ld %ld %ld %ld\n", place.left, place.top, place.right, place.bottom);
    return 0;
  }
  if (command == "rect" && argc == 4) {
    RECT place{};
    if (!::GetWindowRect(::GetDlgItem(dialog, std::atoi(argv[3])), &place)) return 1;
    std::printf("%ld %ld %ld %ld\n", place.left, place.top, place.right, place.bottom);
    return 0;
  }
  if (command == "wait-text" && argc == 6) {
    const HWND item = ::GetDlgItem(dialog, std::atoi(argv[3]));
    for (int waited = 0; waited <= std::atoi(argv[5]) * 10; ++waited) {
      if (TextOf(item) == argv[4]) return 0;
      ::Sleep(100);
    }
    std::fprintf(stderr, "control %s says '%s', not '%s'\n", argv[3], TextOf(item).c_str(), argv[4]);
    return 1;
  }
  if (command == "close" && argc == 3) {
    return ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
  }
  if (command == "wait-clipboard" && argc == 5) {
    const std::string wanted = TextOf(::GetDlgItem(dialog, std::atoi(argv[3])));
    for (int waited = 0; waited <= std::atoi(argv[4]) * 10; ++waited) {
      if (!wanted.empty() && ClipboardText() == wanted) return 0;
      ::Sleep(100);
    }
    std::fprintf(stderr, "the clipboard holds '%s', not '%s'\n", ClipboardText().c_str(),
                 wanted.c_str());
    return 1;
  }
  if (command == "wait-hidden" && argc == 5) {
    const HWND item = ::GetDlgItem(dialog, std::atoi(argv[3]));
    for (int waited = 0; waited <= std::atoi(argv[4]) * 10; ++waited) {
      if (item != nullptr && !::IsWindowVisible(item)) return 0;
      ::Sleep(100);
    }
    std::fprintf(stderr, "control %s is still shown after %s s\n", argv[3], argv[4]);
    return 1;
  }
  std::fprintf(stderr, "window_probe: unknown command '%s'\n", command.c_str());
  return 2;
}
