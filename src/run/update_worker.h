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

// Stage 1's check: the worker's takes a copy of the path and reports every file valid, the
// programs having checked the file at Start (run/update_file_check.h).
bool AcceptEveryUpdateFile(const std::string& path);

// One worker holds the port at a time. StartUpdateWorker refuses (false) while an earlier
// worker still runs; otherwise it runs UpdateWorker with job on the port thread
// (port/port_thread.h).
bool StartUpdateWorker(const std::string* job);
bool UpdateWorkerRunning();
// Blocks until the running worker, if any, has ended.
void WaitForUpdateWorker();

// Whether the program may end now without cutting an image off: false only while image bytes
// are going out (see ImageInFlight).
bool UpdateSafeToLeave();
// Makes the running worker finish at once, as at the end of any run: it stops waiting for the
// box's closing record, cuts the settle pause short, ends the link and releases the port. An
// image already going out still goes out whole. The next StartUpdateWorker clears it.
void LeaveUpdate();

}  // namespace m4410
