// The machine's own port on Windows: the kernel port driver, reached through its device.
#include <memory>

#include "port/linux_port_access.h"
#include "port/port_access.h"
#include "port/windriver_device.h"
#include "port/windriver_port_access.h"

namespace m4410 {

std::unique_ptr<PortAccess> MakeSystemPortAccess(PortAddresses addresses) {
  return std::make_unique<WinDriverPortAccess>(MakeWin32WinDriverDevice(), addresses);
}

// Windows has no raw port I/O for a program: OpenPortDriver reports result 1 for it.
std::unique_ptr<PortAccess> MakeLinuxPortAccess(PortAddresses) { return nullptr; }

}  // namespace m4410
