// libcap reads the capability sets: it follows the kernel's capability ABI and count of
// capabilities, which hand-made capget calls would have to track themselves.
#include <sys/capability.h>
#include <unistd.h>

#include "privilege/held_privileges.h"

namespace m4410 {

bool StartedSetUser() {
  uid_t real = 0, effective = 0, saved = 0;
  return ::getresuid(&real, &effective, &saved) != 0 || effective != real || saved != real;
}

bool StartedSetGroup() {
  gid_t real = 0, effective = 0, saved = 0;
  return ::getresgid(&real, &effective, &saved) != 0 || effective != real || saved != real;
}

bool HoldsAnyCapability() {
  if (StartedSetUser()) return true;  // setuid: the effective user's power
  cap_t held = cap_get_proc();
  cap_t none = cap_init();
  const bool any = held == nullptr || none == nullptr ||
                   CAP_DIFFERS(cap_compare(held, none), CAP_PERMITTED) ||
                   CAP_DIFFERS(cap_compare(held, none), CAP_EFFECTIVE);
  cap_free(held);
  cap_free(none);
  if (any) return true;
  if (CAP_AMBIENT_SUPPORTED()) {
    for (cap_value_t cap = 0; cap < static_cast<cap_value_t>(cap_max_bits()); ++cap) {
      if (cap_get_ambient(cap) == 1) return true;
    }
  }
  return false;
}

}  // namespace m4410
