#include "win32/worker_wait_dialog.h"

#include <cstring>
#include <string>
#include <vector>

#include "run/update_worker.h"
#include "ui/worker_wait.h"
#include "win32/app_identity.h"

namespace m4410 {

namespace {

constexpr int kTextControl = 100;
constexpr int kLeaveControl = 101;
constexpr UINT kPollId = 1;
constexpr UINT kPollMs = 50;

// A dialog template in memory: the wait needs no resource of its own.
class TemplateWriter {
 public:
  void Align() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  }
  template <typename T>
  void Put(T value) {
    const auto* raw = reinterpret_cast<const unsigned char*>(&value);
    bytes_.insert(bytes_.end(), raw, raw + sizeof value);
  }
  void Text(const char* text) {
    for (const char* c = text; *c != '\0'; ++c) Put<WORD>(static_cast<unsigned char>(*c));
    Put<WORD>(0);
  }
  void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD window_class,
            const char* text) {
    Align();
    DLGITEMTEMPLATE item{style | WS_CHILD | WS_VISIBLE, 0, x, y, cx, cy, id};
    Put(item);
    Put<WORD>(0xFFFF);
    Put<WORD>(window_class);  // 0x80 button, 0x82 static
    Text(text);
    Put<WORD>(0);  // no creation data
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }

 private:
  std::vector<unsigned char> bytes_;
};

void Refresh(HWND window, WorkerWait* wait) {
  const WorkerWaitShown shown = wait->Poll();
  ::SetDlgItemTextA(window, kTextControl, shown.text.c_str());
  const HWND leave = ::GetDlgItem(window, kLeaveControl);
  ::ShowWindow(leave, shown.leave_shown ? SW_SHOW : SW_HIDE);
  ::EnableWindow(leave, shown.leave_enabled);
}

INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* wait = reinterpret_cast<WorkerWait*>(::GetWindowLongPtrA(window, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrA(window, DWLP_USER, lparam);
      ::SetTimer(window, kPollId, kPollMs, nullptr);
      Refresh(window, reinterpret_cast<WorkerWait*>(lparam));
      return TRUE;
    case WM_TIMER:
      if (!UpdateWorkerRunning()) {
        ::KillTimer(window, kPollId);
        ::EndDialog(window, IDOK);
      } else {
        Refresh(window, wait);
      }
      return TRUE;
    case WM_COMMAND:
      // Esc and the close box do not end the wait; Leave now does.
      if (LOWORD(wparam) == kLeaveControl && wait != nullptr) {
        wait->Leave();
        Refresh(window, wait);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void WaitForWorkerToFinish(HWND owner, bool image_seen_in_box) {
  if (UpdateWorkerRunning()) {
    WorkerWait wait(image_seen_in_box);
    const std::string title = AppName();
    TemplateWriter writer;
    DLGTEMPLATE dialog{DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_VISIBLE,
                       0, 2, 0, 0, 240, 70};
    writer.Put(dialog);
    writer.Put<WORD>(0);  // no menu
    writer.Put<WORD>(0);  // the standard dialog class
    writer.Text(title.c_str());
    writer.Put<WORD>(8);
    writer.Text("MS Sans Serif");
    writer.Item(SS_LEFT, 10, 10, 220, 30, kTextControl, 0x82, "");
    writer.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, 170, 46, 60, 16, kLeaveControl, 0x80,
                "&Leave now");
    ::DialogBoxIndirectParamA(::GetModuleHandleA(nullptr), writer.get(), owner, &Proc,
                              reinterpret_cast<LPARAM>(&wait));
  }
  WaitForUpdateWorker();
}

}  // namespace m4410
