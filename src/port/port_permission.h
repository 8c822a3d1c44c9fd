// Who may reach which port. A program given CAP_SYS_RAWIO decides once, at start and before
// anything else runs, what to take and what to drop; the claim of each run then keeps to it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "port/parport_listing.h"
#include "port/port_access.h"

namespace m4410 {

// Whether both ranges of addresses belong to one listed port: an ordinary user may reach
// nothing else.
bool PortIsListed(PortAddresses addresses, const std::vector<ParportEntry>& listed);

// The refusal of an unlisted port to an ordinary user, naming the listed ones.
std::string UnlistedPortRefusal(PortAddresses addresses, const std::vector<ParportEntry>& listed);

struct StartUser {
  bool root = false;              // the real user is root
  bool holds_capability = false;  // any capability permitted (file capability, setuid root)
};

enum class StartPort {
  None,      // no port: sim, ports, log, --help, --version, a command-line error
  Listed,    // a port the kernel lists
  Unlisted,  // any other lpt:BASE[,ECPBASE]
};

// The start step of one row of the table.
struct StartStep {
  bool take_ports = false;  // ioperm for both ranges, for the whole process
  bool refuse = false;      // the port is refused before any I/O permission is taken
  bool drop = false;        // every capability goes for good, and no_new_privs is set
};

StartStep DecideStartStep(StartUser user, StartPort port);

// What the start step did, for each run's claim.
struct StartGrant {
  bool dropped = false;                  // the process gave up its capabilities
  std::optional<PortAddresses> granted;  // both ranges permitted to the process and its threads
  std::string failure;                   // why they could not be taken, for stage 2
};

const StartGrant& CurrentStartGrant();
void RecordStartGrant(StartGrant grant);

}  // namespace m4410
