#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "cli/end_requests.h"
#include "run/update_worker.h"

namespace m4410 {

namespace {

std::atomic<DWORD> last_event{CTRL_C_EVENT};
std::atomic<int> exit_on_second{1};

// Windows runs this on a thread of its own for each event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  last_event = event;
  const bool end_now = CountEndRequest();
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    if (end_now) std::_Exit(exit_on_second);
    return TRUE;
  }
  // A closed console, log-off or shut-down ends the process once this returns (or when the
  // system's grace period runs out): hold it until the run has left the port.
  while (UpdateWorkerRunning()) ::Sleep(50);
  return TRUE;
}

}  // namespace

// Windows raises nothing for a closed pipe or a full disk; the write just fails.
void IgnoreLostOutput() {}

void CatchEndRequests(int exit_status) {
  exit_on_second = exit_status;
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

std::string LastEndRequestName() {
  if (EndRequestCount() == 0) return {};
  switch (last_event) {
    case CTRL_C_EVENT: return "Ctrl-C";
    case CTRL_BREAK_EVENT: return "Ctrl-Break";
    case CTRL_CLOSE_EVENT: return "console closed";
    case CTRL_LOGOFF_EVENT: return "logging off";
    default: return "shutting down";
  }
}

}  // namespace m4410
