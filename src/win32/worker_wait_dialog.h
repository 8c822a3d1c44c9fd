// The window shown while the program waits for an update worker before it ends. It has no
// way out while the image goes out; at any other moment it offers to leave at once.
#pragma once

#include <windows.h>

namespace m4410 {

// Returns once the worker has ended (at once when none runs). image_seen_in_box: the status
// window saw the whole image go out.
void WaitForWorkerToFinish(HWND owner, bool image_seen_in_box);

}  // namespace m4410
