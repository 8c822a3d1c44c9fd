#include "run/link_bring_up.h"

#include <memory>
#include <utility>

#include "board/run_cause.h"
#include "board/stage_board.h"
#include "link/ecp_presence.h"
#include "link/parallel_link.h"
#include "port/port_driver.h"
#include "run/update_worker.h"

namespace m4410 {

LinkBringUp BringLinkUp(PortDriverContext* context) {
  LinkBringUp link;
  // Three negotiations cannot succeed on a port without ECP registers; say so at once.
  const EcpPresence presence = CheckEcpRegisters(context);
  if (presence != EcpPresence::Present) {
    link.cause = EcpPresenceCause(presence);
    return link;
  }
  int linked = 1;
  while (link.attempts < LinkAttempts && linked != 0) {
    ++link.attempts;
    linked = EstablishLink(context);
  }
  link.up = linked == 0;
  if (!link.up) link.cause = NoLinkCause(LinkAttempts);
  return link;
}

LinkProbe ProbeLink() {
  LinkProbe probe;
  std::unique_ptr<PortDriverContext> context;
  if (OpenPortDriver(&context) != 0) {
    probe.failed_stage = DriverInitialized;
    probe.cause = PortErrorText();
    return probe;
  }
  const LinkBringUp link = BringLinkUp(context.get());
  probe.attempts = link.attempts;
  if (link.up) {
    TerminateLink(context.get());
  } else {
    probe.failed_stage = DatalinkEstablished;
    probe.cause = link.cause;
  }
  ClosePortDriver(std::move(context));
  return probe;
}

}  // namespace m4410
