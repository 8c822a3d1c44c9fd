#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "cli/end_requests.h"

namespace m4410 {

namespace {

volatile sig_atomic_t last_signal = 0;
volatile sig_atomic_t exit_on_second = 1;

// Every catchable signal whose default would end the command mid-image, the real-time ones
// included.
std::vector<int> EndSignals() {
  std::vector<int> signals{SIGHUP,  SIGINT,    SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM,
                           SIGVTALRM, SIGPROF, SIGXCPU, SIGIO,   SIGPWR,  SIGSTKFLT};
  for (int n = SIGRTMIN; n <= SIGRTMAX; ++n) signals.push_back(n);
  return signals;
}

sigset_t EndSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal_number : EndSignals()) sigaddset(&set, signal_number);
  return set;
}

void OnEndSignal(int signal_number) {
  last_signal = signal_number;
  if (CountEndRequest()) _exit(exit_on_second);
}

}  // namespace

void IgnoreLostOutput() {
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
}

void CatchEndRequests(int exit_status) {
  exit_on_second = exit_status;
  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  action.sa_mask = EndSignalSet();
  action.sa_flags = SA_RESTART;
  for (const int signal_number : EndSignals()) sigaction(signal_number, &action, nullptr);
}

std::string LastEndRequestName() { return last_signal ? strsignal(last_signal) : ""; }

}  // namespace m4410
