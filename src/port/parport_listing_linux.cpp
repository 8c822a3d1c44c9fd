#include "port/parport_listing.h"
#include "port/system_primitives.h"

namespace m4410 {

std::vector<ParportEntry> ListParallelPorts() {
  return ListParallelPorts(RealSystemPrimitives());
}

std::string NoParallelPortsHint() {
  return "(the kernel lists a port only while its parport_pc module is loaded: "
         "sudo modprobe parport_pc)";
}

}  // namespace m4410
