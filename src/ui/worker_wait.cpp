#include "ui/worker_wait.h"

#include "run/update_worker.h"

namespace m4410 {

WorkerWaitShown WorkerWait::Poll() {
  const WaitPhase phase = watch_.Poll();
  const bool may_leave = phase != WaitPhase::ImageGoingOut;
  return {leaving_ && may_leave ? "Releasing the port..." : WaitText(phase), may_leave, !leaving_};
}

void WorkerWait::Leave() {
  leaving_ = true;
  LeaveUpdate();
}

}  // namespace m4410
