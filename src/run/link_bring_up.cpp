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
  int linked = 1;
  while (link.attempts < LinkAttempts && linked != 0) {
    ++link.attempts;
    linked = EstablishLink(context);
  }
  link.up = linked == 0;
  if (link.up) return link;
  // Only a link that did not come up looks at the ECP registers: a port without them is a
  // cause the operator can mend, and names better than a silent box.
  const EcpPresence presence = CheckEcpRegisters(context);
  link.cause = presence == EcpPresence::Present ? NoLinkCause(LinkAttempts)
                                                : EcpPresenceCause(presence);
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
