// The programs in bin are open to every user and hold no capability: the simulated box, the
// log and the help need none. A run on a real port goes to the program's port copy
// (port/port_copy.h), which an administrator gives the port and only the group lp may run.
// The hand-off comes before the start step, so the copy's own start takes and drops as
// strictly as ever; a user who may not run the copy stays in this program and is told why at
// the run (port/linux_port_access.h).
#pragma once

#include "port/port_choice.h"

namespace m4410 {

struct HandOffFacts {
  bool root = false;              // the real user is root: it reaches every port itself
  bool holds_capability = false;  // the program was already given one
  bool real_port = false;         // the command line drives a port that is not simulated
  bool self_is_copy = false;      // this process is the copy: handing off again would loop
  bool copy_exists = false;
  bool copy_executable = false;   // by the real user, as the kernel will judge the exec
};

bool ShouldHandToPortCopy(const HandOffFacts& facts);

// port: the parsed --port choice of a command that drives the port, or nullptr (as for
// TakePortThenDropPrivileges). Where the facts say so, the process becomes the port copy with
// the same arguments and environment; otherwise, or where the copy cannot be started (said on
// the standard error stream), it returns and the program goes on.
void HandRealPortRunToCopy(const char* program, const PortChoice* port);

}  // namespace m4410
