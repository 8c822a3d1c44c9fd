#include "board/run_cause.h"

#include <atomic>
#include <mutex>

namespace m4410 {

namespace {
// Written by the worker, read by a view on another thread: a string is not one aligned word
// like the stage cells, so it takes a lock.
std::mutex cause_mutex;
std::atomic<bool> left_before_confirmation{false};
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

void ClearRunCause() {
  SetRunCause({});
  left_before_confirmation.store(false);
}

void SetLeftBeforeConfirmation() { left_before_confirmation.store(true); }
bool LeftBeforeConfirmation() { return left_before_confirmation.load(); }

std::string NoLinkCause(int attempts) {
  return "port opened, but no box answered the ECP negotiation in " + std::to_string(attempts) +
         " attempts; check the cable, that the box is on, and that the port is set to ECP mode";
}

}  // namespace m4410
