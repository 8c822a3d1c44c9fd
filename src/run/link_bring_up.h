// Bringing the link up on a claimed port, the same for an update and for a probe: up to
// LinkAttempts negotiations, one straight after the other; when all fail, the port's ECP
// registers are looked at to name the cause.
#pragma once

#include <string>

namespace m4410 {

struct PortDriverContext;

struct LinkBringUp {
  bool up = false;
  int attempts = 0;   // EstablishLink calls made
  std::string cause;  // when the link is not up: what happened and what to do
};

LinkBringUp BringLinkUp(PortDriverContext* context);

struct LinkProbe {
  int failed_stage = 0;  // 0: linked and released; else DriverInitialized or DatalinkEstablished
  int attempts = 0;
  std::string cause;     // the port's error text, or why the link did not come up
};

// Opens the port, brings the link up, ends it and releases the port, as a run would up to its
// third stage, with no board and no worker.
LinkProbe ProbeLink();

}  // namespace m4410
