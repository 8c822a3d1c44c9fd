#include "cli/end_requests.h"

#include <atomic>

#include "board/stage_board.h"

namespace m4410 {

namespace {

// Lock-free, so a signal handler may count.
std::atomic<int> requests{0};
static_assert(std::atomic<int>::is_always_lock_free);

}  // namespace

bool CountEndRequest() {
  const int count = ++requests;
  LowerKeepGoing();
  return count > 1 && !ImageInFlight();
}

int EndRequestCount() { return requests; }

}  // namespace m4410
