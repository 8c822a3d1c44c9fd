// The ways the command is asked to end: signals on Linux, the console's control events
// (Ctrl-C, Ctrl-Break, a closed window, log-off, shut-down) on Windows. Both count alike:
// the first lowers KeepGoing so the run stops at its next safe point; a second ends the
// command at once, unless the image is going out, since a box cut off mid-image is worse off
// than one never started. The system drops the port claim with the process.
#pragma once

#include <string>

namespace m4410 {

// A closed pipe or a full disk under the trace only loses output; it never ends the command.
void IgnoreLostOutput();

// From now on end requests are counted; the second one ends the command with exit_status.
void CatchEndRequests(int exit_status);

int EndRequestCount();

// Counts one request, as the platform's handler does: lowers KeepGoing, and says whether the
// command should end at once (a second request, with no image byte going out).
bool CountEndRequest();

// What the last request was, for the command's notice: "Interrupt", "Ctrl-Break" and so on.
std::string LastEndRequestName();

}  // namespace m4410
