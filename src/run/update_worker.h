// The worker that carries one update from the file check to the release of the port, and
// the one-at-a-time guard around it.
#pragma once

#include <cstdint>
#include <string>

namespace m4410 {

inline constexpr int LinkAttempts = 3;
inline constexpr const char* BoxDataPath = "0";
inline constexpr std::int32_t kSettleAfterTransferMs = 3000;

// The thread procedure: job points at the update-file path (a std::string), which it copies
// before anything else. Results go to the stage board only; returns 0.
unsigned UpdateWorker(void* job);

bool CheckUpdateFile(const std::string& path);

// One worker holds the port at a time. StartUpdateWorker refuses (false) while an earlier
// worker still runs; otherwise it starts UpdateWorker on its own thread with job.
bool StartUpdateWorker(const std::string* job);
bool UpdateWorkerRunning();
// Blocks until the running worker, if any, has ended.
void WaitForUpdateWorker();

}  // namespace m4410
