#include <signal.h>

#include <gtest/gtest.h>

#include "port/port_thread.h"

namespace m4410 {
namespace {

// No signal ever reaches the port thread, from its first job on, and the thread that started
// it keeps the mask it had: the program's own handling of signals is untouched.
TEST(PortThreadSignalsTest, EverySignalIsBlockedThereAndNowhereElse) {
  sigset_t all, before, after, there;
  sigfillset(&all);
  sigdelset(&all, SIGKILL);  // neither can be blocked anywhere
  sigdelset(&all, SIGSTOP);
  pthread_sigmask(SIG_BLOCK, nullptr, &before);
  RunOnPortThread([&there] { pthread_sigmask(SIG_BLOCK, nullptr, &there); });
  pthread_sigmask(SIG_BLOCK, nullptr, &after);
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    if (sigismember(&all, signal_number) != 1) continue;
    EXPECT_EQ(sigismember(&there, signal_number), 1) << signal_number;
    EXPECT_EQ(sigismember(&after, signal_number), sigismember(&before, signal_number))
        << signal_number;
  }
}

}  // namespace
}  // namespace m4410
