// Windows delivers no signals to threads: a console's control events come on a thread of
// their own.
#include <utility>

#include "port/thread_without_signals.h"

namespace m4410 {

std::thread StartThreadWithoutSignals(std::function<void()> body) {
  return std::thread(std::move(body));
}

}  // namespace m4410
