// Marks the process as a running copy of the updater for as long as it lives, so that an
// installer can refuse to replace the programs under it (Windows: a named mutex).
#pragma once

namespace m4410 {

inline constexpr char kRunningCopyName[] = "Marlovine4410UpdaterRunning";

void AnnounceRunningCopy();

}  // namespace m4410
