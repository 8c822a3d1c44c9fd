// The machine's own port on Linux: raw port I/O behind the kernel's claim of the port.
#include <memory>

#include "port/linux_port_access.h"
#include "port/port_access.h"
#include "port/system_primitives.h"

namespace m4410 {

std::unique_ptr<PortAccess> MakeLinuxPortAccess(PortAddresses addresses) {
  return std::make_unique<LinuxPortAccess>(addresses, RealSystemPrimitives());
}

std::unique_ptr<PortAccess> MakeSystemPortAccess(PortAddresses addresses) {
  return MakeLinuxPortAccess(addresses);
}

}  // namespace m4410
