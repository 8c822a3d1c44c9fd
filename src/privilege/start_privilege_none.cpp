// Windows: the kernel port driver keeps its own access control, and nothing is held to drop.
#include "privilege/start_privilege.h"

namespace m4410 {

void TakePortThenDropPrivileges(const char*, const PortChoice*) {}

}  // namespace m4410
