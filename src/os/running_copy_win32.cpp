#include <windows.h>

#include "os/running_copy.h"

namespace m4410 {

// The handle stays open until the process ends, and the mark with it.
void AnnounceRunningCopy() { ::CreateMutexA(nullptr, FALSE, kRunningCopyName); }

}  // namespace m4410
