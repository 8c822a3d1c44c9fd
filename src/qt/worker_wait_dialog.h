// The window shown while the program waits for an update worker before it ends (the rules
// are ui/worker_wait.h's).
#pragma once

class QWidget;

namespace m4410 {

// Returns once the worker has ended (at once when none runs). image_seen_in_box: the status
// window saw the whole image go out.
void WaitForWorkerToFinish(QWidget* owner, bool image_seen_in_box);

}  // namespace m4410
