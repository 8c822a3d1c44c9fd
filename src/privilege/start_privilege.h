// The first thing every program does after it has read its command line (run/program_start.h).
// A program given a capability (file capability, setuid root) by a user who is not root takes
// I/O permission for the chosen port's two ranges, then gives up every capability for good,
// before any toolkit, plugin, settings file, log or other environment use, and hands the
// permission to the port thread alone (port/port_thread.h); a setgid program gives up its
// group the same way. Root keeps its privileges; a user without any has none to
// drop.
#pragma once

#include "port/port_choice.h"

namespace m4410 {

// port: the parsed --port choice of a command that drives the port, or nullptr for one that
// does not (ports, log, --help, a command-line error); the simulated box needs no port
// either. The outcome is kept for each run's claim (port/port_permission.h). Where the
// privileges cannot be given up the process ends with a message naming program: running on
// with them is the fault this guards.
void TakePortThenDropPrivileges(const char* program, const PortChoice* port);

}  // namespace m4410
