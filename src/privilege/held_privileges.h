// What a Linux process was given beyond its real user: read by the start step, which takes and
// drops, and by the hand-off to the port copy, which a holder never needs.
#pragma once

namespace m4410 {

// A set-ID program's effective or saved identity differs from the real one.
bool StartedSetUser();
bool StartedSetGroup();

// Any capability permitted or effective (a file capability, setuid root) or ambient, or a
// setuid identity.
bool HoldsAnyCapability();

}  // namespace m4410
