// The backend OpenPortDriver uses when no other has been chosen.
#include <memory>

#include "link/port_access.h"

namespace m4410 {

// No raw port access is built for this platform yet: OpenPortDriver reports result 1.
std::unique_ptr<PortAccess> MakeDefaultPortAccess() { return nullptr; }

}  // namespace m4410
