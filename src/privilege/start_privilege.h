// The first thing both programs do. A program given a capability (file capability, setuid
// root) by a user who is not root takes I/O permission for the chosen port's two ranges, then
// gives up every capability for good, before any toolkit, plugin, settings file, log or other
// environment use. Root keeps its privileges; a user without a capability has none to drop.
#pragma once

#include <string>

namespace m4410 {

// port: the --port text of a command that drives the port, or nullptr for one that does not
// (ports, log, --help, a command-line error); "sim" needs no port either. The outcome is kept
// for each run's claim (port/port_permission.h). Where the capabilities cannot be given up the
// process ends with a message naming program: running on with them is the fault this guards.
void TakePortThenDropPrivileges(const char* program, const std::string* port);

}  // namespace m4410
