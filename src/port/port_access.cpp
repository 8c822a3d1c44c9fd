#include "port/port_access.h"

#include <mutex>
#include <utility>

namespace m4410 {

namespace {
std::mutex factory_mutex;
PortAccessFactory& Factory() {
  static PortAccessFactory factory;
  return factory;
}
}  // namespace

void SetProcessPortFactory(PortAccessFactory factory) {
  std::lock_guard lock(factory_mutex);
  Factory() = std::move(factory);
}

std::unique_ptr<PortAccess> MakeProcessPortAccess() {
  PortAccessFactory factory;
  {
    std::lock_guard lock(factory_mutex);
    factory = Factory();
  }
  return factory ? factory() : MakeDefaultPortAccess();
}

std::unique_ptr<PortAccess> MakeDefaultPortAccess() { return MakeSystemPortAccess(PortAddresses{}); }

}  // namespace m4410
