#include "run/port_environment.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "link/linux_port_access.h"
#include "link/port_choice.h"
#include "link/trace_port_access.h"
#include "sim/sim_options.h"
#include "sim/simulated_box.h"

namespace m4410 {

std::unique_ptr<PortEnvironment> PortEnvironment::Install(const PortChoiceText& choice,
                                                          std::string* error) {
  const PortChoiceResult parsed = ParsePortChoice(choice.port);
  if (!parsed.choice) {
    *error = parsed.error;
    return nullptr;
  }

  std::unique_ptr<PortEnvironment> environment(new PortEnvironment);
  PortAccessFactory factory;
  if (parsed.choice->kind == PortKind::Sim) {
    SimOptions options;
    if (!ParseSimOptions(choice.sim, &options, error)) return nullptr;
    if (options.clock == SimClock::Virtual) environment->clock_ = std::make_unique<VirtualClock>();
    environment->box_ = std::make_shared<SimulatedBox>(options, environment->clock_.get());
    factory = environment->box_->Factory();
  } else {
    if (!choice.sim.empty()) {
      *error = "--sim shapes the simulated box only; it needs --port sim";
      return nullptr;
    }
    environment->addresses_ = parsed.choice->addresses;
    const PortAddresses addresses = environment->addresses_;
    const bool standard = addresses.base == PortAddresses{}.base &&
                          addresses.extended == PortAddresses{}.extended;
    factory = standard ? PortAccessFactory(MakeDefaultPortAccess)
                       : PortAccessFactory([addresses] { return MakeLinuxPortAccess(addresses); });
  }

  if (!choice.trace.empty()) {
    environment->trace_ = std::fopen(choice.trace.c_str(), "w");
    if (!environment->trace_) {
      *error = "cannot create the trace file '" + choice.trace + "': " + std::strerror(errno);
      return nullptr;
    }
    factory = [inner = std::move(factory), addresses = environment->addresses_,
               out = environment->trace_]() -> std::unique_ptr<PortAccess> {
      auto access = inner();
      if (!access) return nullptr;
      return std::make_unique<TracingPortAccess>(std::move(access), addresses, out);
    };
  }

  SetPortAccessFactory(std::move(factory));
  if (environment->clock_) SetTimeSource(environment->clock_.get());
  return environment;
}

PortEnvironment::~PortEnvironment() {
  SetPortAccessFactory({});
  if (clock_) SetTimeSource(nullptr);
  if (trace_) std::fclose(trace_);
}

std::string PortEnvironment::BoxReport() const {
  if (!box_) return {};
  const BoxReceipt receipt = box_->Receipt();
  const std::string faults = ", host faults: " + HostFaultSummary(receipt);
  if (receipt.image_bytes == 0) return "box received no image" + faults;
  char line[80];
  std::snprintf(line, sizeof line, "box received %llu bytes, crc32 %08x",
                static_cast<unsigned long long>(receipt.image_bytes),
                static_cast<unsigned>(receipt.image_crc32));
  return line + faults;
}

}  // namespace m4410
