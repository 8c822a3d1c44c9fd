#include "board/run_cause.h"

#include <mutex>

namespace m4410 {

namespace {
// Written by the worker, read by a view on another thread: a string is not one aligned word
// like the stage cells, so it takes a lock.
std::mutex cause_mutex;
std::string& Cause() {
  static std::string text;
  return text;
}
}  // namespace

std::string RunCause() {
  std::lock_guard lock(cause_mutex);
  return Cause();
}

void SetRunCause(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  std::lock_guard lock(cause_mutex);
  Cause().assign(text);
}

void ClearRunCause() { SetRunCause({}); }

std::string NoLinkCause(int attempts) {
  return "port opened, but no box answered the ECP negotiation in " + std::to_string(attempts) +
         " attempts; check the cable, that the box is on, and that the port is set to ECP mode";
}

}  // namespace m4410
