#include "privilege/start_step.h"

namespace m4410 {

StartStep DecideStartStep(StartUser user, StartPort port) {
  StartStep step;
  // Root can reach every port anyway: it keeps today's freedom and its privileges.
  if (user.root) return step;
  step.refuse = port == StartPort::Unlisted;
  // A group gives no port I/O: only a capability is worth taking the ranges with.
  step.take_ports = user.holds_capability && port == StartPort::Listed;
  step.drop = user.holds_capability || user.set_group;
  return step;
}

}  // namespace m4410
