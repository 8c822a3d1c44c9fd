// The backend OpenPortDriver uses when no other has been chosen.
#include <memory>

#include "port/linux_port_access.h"
#include "port/port_access.h"

#ifdef __linux__
#include "port/system_primitives.h"
#elif defined(_WIN32)
#include "port/windriver_device.h"
#include "port/windriver_port_access.h"
#endif

namespace m4410 {

#ifdef __linux__

std::unique_ptr<PortAccess> MakeLinuxPortAccess(PortAddresses addresses) {
  return std::make_unique<LinuxPortAccess>(addresses, RealSystemPrimitives());
}

std::unique_ptr<PortAccess> MakeDefaultPortAccess() { return MakeLinuxPortAccess(PortAddresses{}); }

#elif defined(_WIN32)

// On Windows the port is reached through the kernel port driver's device.
std::unique_ptr<PortAccess> MakeLinuxPortAccess(PortAddresses) { return nullptr; }
std::unique_ptr<PortAccess> MakeDefaultPortAccess() {
  return std::make_unique<WinDriverPortAccess>(MakeWin32WinDriverDevice());
}

#else

// No raw port access is built for this platform: OpenPortDriver reports result 1.
std::unique_ptr<PortAccess> MakeLinuxPortAccess(PortAddresses) { return nullptr; }
std::unique_ptr<PortAccess> MakeDefaultPortAccess() { return nullptr; }

#endif

}  // namespace m4410
