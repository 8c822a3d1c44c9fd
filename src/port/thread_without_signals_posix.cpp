#include <pthread.h>
#include <signal.h>

#include <utility>

#include "port/thread_without_signals.h"

namespace m4410 {

// Blocked in the starting thread around the start, so the new one inherits the full mask
// from its first instant.
std::thread StartThreadWithoutSignals(std::function<void()> body) {
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &previous);
  std::thread thread(std::move(body));
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return thread;
}

}  // namespace m4410
