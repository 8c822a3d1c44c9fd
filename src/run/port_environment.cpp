#include "run/port_environment.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <utility>

#include "port/linux_port_access.h"
#include "port/port_choice.h"
#include "port/trace_port_access.h"
#include "port/vcd_trace.h"
#include "sim/sim_options.h"
#include "sim/simulated_box.h"

namespace m4410 {

bool IsWaveformTraceName(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ending = name.substr(name.size() - 4);
  for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ending == ".vcd";
}

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
    // A name ending in .vcd asks for the lines as a waveform; anything else, the text lines.
    const bool waveform = IsWaveformTraceName(choice.trace);
    factory = [inner = std::move(factory), addresses = environment->addresses_,
               out = environment->trace_, waveform]() -> std::unique_ptr<PortAccess> {
      auto access = inner();
      if (!access) return nullptr;
      if (waveform) return std::make_unique<VcdPortAccess>(std::move(access), out);
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
  if (receipt.image_bytes == 0) return "box received no image";
  char line[80];
  std::snprintf(line, sizeof line, "box received %llu bytes, crc32 %08x",
                static_cast<unsigned long long>(receipt.image_bytes),
                static_cast<unsigned>(receipt.image_crc32));
  return line;
}

}  // namespace m4410
