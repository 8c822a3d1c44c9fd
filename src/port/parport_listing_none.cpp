#include "port/parport_listing.h"

namespace m4410 {

std::vector<ParportEntry> ListParallelPorts() { return {}; }

std::string NoParallelPortsHint() { return "(this system has no port listing)"; }

}  // namespace m4410
