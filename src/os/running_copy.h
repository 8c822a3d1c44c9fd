// Marks the process as a running copy of the updater for as long as it lives, so that an
// installer can refuse to replace the programs under it (Windows: a named mutex).
#pragma once

namespace m4410 {

// In the global namespace, so a copy running in another session (another user's, or a
// service's) is seen too; the installer asks for the same name.
inline constexpr char kRunningCopyName[] = "Global\\Marlovine4410UpdaterRunning";

void AnnounceRunningCopy();

}  // namespace m4410
