// Who may reach which port, and what the program's start step (privilege/start_privilege.h)
// took for it: the claim of each run keeps to both.
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

// What the start step did, for each run's claim.
struct StartGrant {
  bool dropped = false;                  // the process gave up its capabilities
  std::optional<PortAddresses> granted;  // both ranges permitted to the port thread
  std::string failure;                   // why they could not be taken, for stage 2
};

const StartGrant& CurrentStartGrant();
void RecordStartGrant(StartGrant grant);

}  // namespace m4410
