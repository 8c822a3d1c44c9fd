// libcap reads and clears the capability sets: it follows the kernel's capability ABI and
// count of capabilities, which hand-made capset calls would have to track themselves.
#include <sys/capability.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "port/port_permission.h"
#include "port/port_thread.h"
#include "port/system_primitives.h"
#include "privilege/held_privileges.h"
#include "privilege/start_privilege.h"
#include "privilege/start_step.h"

namespace m4410 {

namespace {

constexpr unsigned kStandardPorts = 8;
constexpr unsigned kExtendedPorts = 3;

// Every capability, for good: the bounding set where CAP_SETPCAP allows it, the ambient set,
// a setuid identity, then effective, permitted and inheritable; and no_new_privs, so no
// program it might start gains any either. Capabilities are per thread: this runs before the
// process has a second one, the port thread included. Empty on success, else what failed.
const char* DropEverything() {
  cap_t held = cap_get_proc();
  cap_flag_value_t setpcap = CAP_CLEAR;
  if (held != nullptr) cap_get_flag(held, CAP_SETPCAP, CAP_EFFECTIVE, &setpcap);
  cap_free(held);
  if (setpcap == CAP_SET) {
    for (cap_value_t cap = 0; cap < static_cast<cap_value_t>(cap_max_bits()); ++cap) {
      cap_drop_bound(cap);
    }
  }
  if (CAP_AMBIENT_SUPPORTED() && cap_reset_ambient() != 0) return "the ambient set";
  // The group first, while a setuid identity may still be needed to change it; the saved
  // IDs too, or the program could take either identity back.
  const gid_t group = ::getgid();
  const uid_t user = ::getuid();
  if (StartedSetGroup() && ::setresgid(group, group, group) != 0) return "the group";
  if (StartedSetUser() && ::setresuid(user, user, user) != 0) return "the user";
  cap_t none = cap_init();
  const int cleared = none == nullptr ? -1 : cap_set_proc(none);
  cap_free(none);
  if (cleared != 0) return "the capability sets";
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return "no_new_privs";
  if (HoldsAnyCapability()) return "a capability that stayed";
  if (StartedSetGroup()) return "the group";
  return "";
}

}  // namespace

void TakePortThenDropPrivileges(const char* program, const PortChoice* port) {
  StartUser user;
  user.root = ::getuid() == 0;
  user.holds_capability = !user.root && HoldsAnyCapability();
  user.set_group = !user.root && StartedSetGroup();

  // Only a holder of a capability has anything to take; nothing else is read for the rest.
  std::optional<PortAddresses> addresses;
  StartPort where = StartPort::None;
  SystemPrimitives& system = RealSystemPrimitives();
  if (user.holds_capability && port != nullptr && port->kind == PortKind::Lpt) {
    addresses = port->addresses;
    where = PortIsListed(*addresses, KernelListedPorts(ReadKernelParportFiles(system)))
                ? StartPort::Listed
                : StartPort::Unlisted;
  }
  const StartStep step = DecideStartStep(user, where);

  StartGrant grant;
  if (step.take_ports) {
    int error = system.IoPerm(addresses->base, kStandardPorts, true);
    if (error == 0) {
      error = system.IoPerm(addresses->extended, kExtendedPorts, true);
      if (error != 0) system.IoPerm(addresses->base, kStandardPorts, false);
    }
    if (error == 0) {
      grant.granted = addresses;
    } else {
      grant.failure = "the kernel refused raw port access at start (ioperm: " +
                      std::string(std::strerror(-error)) +
                      ") although the program has CAP_SYS_RAWIO: kernel lockdown or a security "
                      "policy (seccomp, a container) forbids it. Lift that policy for this "
                      "program.\n";
    }
  }
  if (step.drop) {
    if (const char* failed = DropEverything(); failed[0] != '\0') {
      std::fprintf(stderr, "%s: cannot give up %s of the privileges it was started with; "
                           "stopping rather than running on with them\n",
                   program, failed);
      std::_Exit(1);
    }
    // A setgid copy never held a capability: its runs are told how to give one.
    grant.dropped = user.holds_capability;
  }
  if (grant.granted) {
    // The permission is per thread and a new thread inherits it: the port thread, started
    // now, keeps it; this thread, every thread it starts and every program they start hold
    // none. Giving it up needs no capability.
    StartPortThread();
    const int kept_standard = system.IoPerm(addresses->base, kStandardPorts, false);
    const int kept_extended = system.IoPerm(addresses->extended, kExtendedPorts, false);
    if (kept_standard != 0 || kept_extended != 0) {
      std::fprintf(stderr, "%s: cannot give up the port permission outside the thread that "
                           "drives the port; stopping rather than running on with it\n",
                   program);
      std::_Exit(1);
    }
  }
  RecordStartGrant(std::move(grant));
}

}  // namespace m4410
