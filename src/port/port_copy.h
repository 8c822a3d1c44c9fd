// The port copy: each program installed a second time, under libexec, as the one that an
// administrator gives the port (root:lp 0750 and CAP_SYS_RAWIO). The programs in bin stay open
// to every user for the simulated box, the log and the help; a real-port run of theirs is handed
// to the copy (privilege/port_copy_handoff.h).
#pragma once

#include <string>

namespace m4410 {

// The copy of the program at executable (the running program's own file): the same name in the
// install's libexec folder, found from bin as the install lays them out. A program run from
// anywhere else (a build tree, a copy of the user's) finds no copy there.
std::string PortCopyPath(const std::string& executable);

}  // namespace m4410
