#include "run/update_worker.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>

#include "link/block_transfer.h"
#include "link/parallel_link.h"
#include "os/files.h"
#include "port/port_driver.h"
#include "port/port_thread.h"
#include "link/time_source.h"
#include "protocol/update_protocol.h"
#include "run/link_bring_up.h"
#include "run/update_log.h"
#include "board/run_cause.h"
#include "board/stage_board.h"

namespace m4410 {

namespace {

void RunStages(const std::string& path) {
  AcceptEveryUpdateFile(path);
  SetStage(FileValidated, Okay);

  std::unique_ptr<PortDriverContext> context;
  if (OpenPortDriver(&context) != 0) {
    // Each program shows the cause once, where its operator looks.
    SetRunCause(PortErrorText());
    SetStage(DriverInitialized, Failed);
    return;
  }
  SetStage(DriverInitialized, Okay);

  if (!KeepGoing()) {
    ClosePortDriver(std::move(context));
    return;
  }

  const LinkBringUp link = BringLinkUp(context.get());
  if (!link.up) {
    SetRunCause(link.cause);
    SetStage(DatalinkEstablished, Failed);
    ClosePortDriver(std::move(context));
    return;
  }
  SetStage(DatalinkEstablished, Okay);

  if (!KeepGoing()) {
    TerminateLink(context.get());
    ClosePortDriver(std::move(context));
    return;
  }

  const int result = SendUpdate(context.get(), path.c_str(), BoxDataPath);
  // An operator who has chosen to leave does not wait out the settle pause.
  if (!StopWaitingForBox()) CurrentTimeSource().SleepMs(kSettleAfterTransferMs);
  // Left before the box confirmed: whether the update completed is not known here.
  if (!LeftBeforeConfirmation()) SetStage(UpdatingCompleted, result == Completed ? Okay : Failed);
  TerminateLink(context.get());
  ClosePortDriver(std::move(context));
}

// A run from its first stage to the release of the port, then its line in the update log.
void RunUpdate(const std::string& path) {
  ClearRunCause();
  ClearStageResults();
  ForgetLastTransfer();
  const auto started = std::chrono::steady_clock::now();
  // The size as stage 1 finds the file, for the log of a run that stops before the image is
  // read whole (-1: it could not be looked at).
  FileFacts facts;
  const std::int64_t size = LookAtPath(path, &facts, nullptr) ? facts.size : -1;
  RunStages(path);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
  LogUpdateRun(path, size, took.count());
}

// The one worker that may hold the port, run as a job on the port thread, which alone holds
// the permission to drive it. Waited for when someone asks and at exit, so the process never
// ends under a worker sending an image.
class WorkerSlot {
 public:
  ~WorkerSlot() { Wait(); }

  bool Start(std::string path) {
    std::lock_guard lock(mutex_);
    if (running_.load()) return false;
    running_.store(true);
    SetStopWaitingForBox(false);
    PostToPortThread([this, path = std::move(path)] {
      RunUpdate(path);
      std::lock_guard ended(mutex_);
      running_.store(false);
      ended_.notify_all();
    });
    return true;
  }

  bool Running() const { return running_.load(); }

  void Wait() {
    std::unique_lock lock(mutex_);
    ended_.wait(lock, [this] { return !running_.load(); });
  }

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  std::atomic<bool> running_{false};
};

WorkerSlot& Slot() {
  static WorkerSlot slot;
  return slot;
}

}  // namespace

bool AcceptEveryUpdateFile(const std::string&) { return true; }

unsigned UpdateWorker(void* job) {
  const std::string path = *static_cast<const std::string*>(job);
  RunUpdate(path);
  return 0;
}

// The path is copied here, before the job is queued, so the caller's string may change as
// soon as this returns.
bool StartUpdateWorker(const std::string* job) { return Slot().Start(*job); }

bool UpdateWorkerRunning() { return Slot().Running(); }

void WaitForUpdateWorker() { Slot().Wait(); }

bool UpdateSafeToLeave() { return !ImageInFlight(); }

void LeaveUpdate() { SetStopWaitingForBox(true); }

}  // namespace m4410
