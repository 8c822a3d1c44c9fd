#include "privilege/port_copy_handoff.h"

#include <gtest/gtest.h>

namespace m4410 {
namespace {

// Every combination of the facts: only an ordinary user's real-port run, outside the copy,
// with a copy that user may run, is handed to it. Root and a holder of a capability need no
// copy, the simulated box no port, and the copy never hands to itself.
TEST(PortCopyHandOffTest, OnlyARealPortRunThatMayRunTheCopyIsHandedToIt) {
  for (unsigned bits = 0; bits < 64; ++bits) {
    HandOffFacts facts;
    facts.root = bits & 1;
    facts.holds_capability = bits & 2;
    facts.real_port = bits & 4;
    facts.self_is_copy = bits & 8;
    facts.copy_exists = bits & 16;
    facts.copy_executable = bits & 32;
    const bool ordinary_run_with_runnable_copy = bits == (4 | 16 | 32);
    EXPECT_EQ(ShouldHandToPortCopy(facts), ordinary_run_with_runnable_copy) << "facts " << bits;
  }
}

}  // namespace
}  // namespace m4410
