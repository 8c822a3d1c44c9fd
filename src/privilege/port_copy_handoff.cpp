#include "privilege/port_copy_handoff.h"

namespace m4410 {

bool ShouldHandToPortCopy(const HandOffFacts& facts) {
  return !facts.root && !facts.holds_capability && facts.real_port && !facts.self_is_copy &&
         facts.copy_exists && facts.copy_executable;
}

}  // namespace m4410
