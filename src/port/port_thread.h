// The one thread that drives the port. The I/O permission a program takes at start lives in
// this thread alone (privilege/start_privilege.h): every claim of the port runs here, one job
// at a time, so no other thread, and no program another thread starts, holds it. No signal
// is delivered to it: the program's own handling of them stays on its other threads.
#pragma once

#include <functional>

namespace m4410 {

// Starts the thread if it is not running yet; it inherits the calling thread's I/O
// permission. Where the start step took none, the first job starts it.
void StartPortThread();

// Queues job behind those before it and returns at once.
void PostToPortThread(std::function<void()> job);

// Runs job on the port thread behind those before it, and returns once it has run; never
// from a job, which would wait for itself.
void RunOnPortThread(const std::function<void()>& job);

}  // namespace m4410
