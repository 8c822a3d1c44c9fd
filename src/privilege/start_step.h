// What a program's start takes and drops, by who started it and which port it drives. A
// program given CAP_SYS_RAWIO, or a set-ID identity, decides once, at start and before
// anything else runs; the claim of each run then keeps to it.
#pragma once

namespace m4410 {

struct StartUser {
  bool root = false;              // the real user is root
  bool holds_capability = false;  // any capability permitted (file capability, setuid root)
  bool set_group = false;         // started setgid: an effective or saved group not the real one
};

enum class StartPort {
  None,      // no port: sim, ports, log, --help, --version, a command-line error
  Listed,    // a port the kernel lists
  Unlisted,  // any other lpt:BASE[,ECPBASE]
};

// The start step of one row of the table.
struct StartStep {
  bool take_ports = false;  // ioperm for both ranges, kept by the port thread alone
  bool refuse = false;      // the port is refused before any I/O permission is taken
  bool drop = false;        // every capability and set-ID identity goes for good, no_new_privs set
};

StartStep DecideStartStep(StartUser user, StartPort port);

}  // namespace m4410
