// Systems with no port backend built: OpenPortDriver reports result 1.
#include <memory>

#include "port/linux_port_access.h"
#include "port/port_access.h"

namespace m4410 {

std::unique_ptr<PortAccess> MakeSystemPortAccess(PortAddresses) { return nullptr; }
std::unique_ptr<PortAccess> MakeLinuxPortAccess(PortAddresses) { return nullptr; }

}  // namespace m4410
