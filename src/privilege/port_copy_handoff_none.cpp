// Windows: the kernel port driver keeps its own access control; there is no copy to hand to.
#include "privilege/port_copy_handoff.h"

namespace m4410 {

void HandRealPortRunToCopy(const char*, const PortChoice*) {}

}  // namespace m4410
