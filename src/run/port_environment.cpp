#include "run/port_environment.h"

#include <atomic>
#include <cctype>
#include <cstdint>
#include <utility>

#include "os/files.h"
#include "port/port_choice.h"
#include "port/trace_port_access.h"
#include "port/vcd_trace.h"
#include "run/update_worker.h"
#include "sim/sim_options.h"
#include "sim/simulated_box.h"

namespace m4410 {

namespace {

// The open trace file's identity, for IsActiveTraceFile; 0 and 0 while there is none.
std::atomic<std::uint64_t> trace_device{0};
std::atomic<std::uint64_t> trace_inode{0};

// The trace is made new, or else must be the user's own plain file (a name in a shared folder
// may have been taken by someone else first, a pipe would hold the run); it is opened without
// emptying it and compared with the files it must not be, so a --trace that names the update
// file (by any path or link) leaves that file whole. All before the port is touched.
std::FILE* OpenTrace(const std::string& path, const std::string& noun,
                     const std::vector<std::string>& not_trace, std::string* error,
                     FileFacts* facts = nullptr) {
  FileFacts trace;
  bool created = false;
  std::string reason;
  const std::string name = PrintableName(path);
  std::FILE* file = OpenOwnFileToWrite(path, true, &trace, &created, &reason);
  if (!file) {
    *error = "cannot create the " + noun + " '" + name + "': " + reason;
    return nullptr;
  }
  std::vector<std::string> keep = not_trace;
  keep.emplace_back(BoxDataPath);
  for (const std::string& other : keep) {
    FileFacts info;
    if (!LookAtPath(other, &info, nullptr) || !SameFile(info, trace)) continue;
    std::fclose(file);
    if (created) RemoveFile(path);
    *error = "the " + noun + " '" + name + "' would overwrite " +
             (other == BoxDataPath ? "the box-data file '" : "'") + PrintableName(other) +
             "'; choose another " + noun;
    return nullptr;
  }
  if (!EmptyFile(file)) {
    *error = "cannot empty the " + noun + " '" + name + "'";
    std::fclose(file);
    return nullptr;
  }
  if (facts) *facts = trace;
  return file;
}

}  // namespace

bool IsActiveTraceFile(const std::string& path) {
  FileFacts info;
  if (trace_inode.load() == 0 || !LookAtPath(path, &info, nullptr)) return false;
  return info.volume == trace_device.load() && info.index == trace_inode.load();
}

bool IsWaveformTraceName(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ending = name.substr(name.size() - 4);
  for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ending == ".vcd";
}

std::unique_ptr<PortEnvironment> PortEnvironment::Install(
    const PortChoiceText& choice, std::string* error, const std::vector<std::string>& not_trace) {
  const PortChoiceResult parsed = ParsePortChoice(choice.port);
  if (!parsed.choice) {
    *error = parsed.error;
    return nullptr;
  }

  std::unique_ptr<PortEnvironment> environment(new PortEnvironment);
  PortAccessFactory factory;
  std::string cable_path;
  if (parsed.choice->kind == PortKind::Sim) {
    SimOptions options;
    if (!ParseSimOptions(choice.sim, &options, error)) return nullptr;
    if (options.clock == SimClock::Virtual) environment->clock_ = std::make_unique<VirtualClock>();
    // The cable trace is checked as the trace is, and must not be it.
    std::FILE* cable = nullptr;
    if (!options.cable.empty()) {
      std::vector<std::string> keep = not_trace;
      if (!choice.trace.empty()) keep.push_back(choice.trace);
      cable = OpenTrace(options.cable, "cable trace file", keep, error);
      if (!cable) return nullptr;
      cable_path = options.cable;
    }
    environment->box_ = std::make_shared<SimulatedBox>(options, environment->clock_.get(), cable);
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
                       : PortAccessFactory([addresses] { return MakeSystemPortAccess(addresses); });
  }

  if (!choice.trace.empty()) {
    std::vector<std::string> keep = not_trace;
    if (!cable_path.empty()) keep.push_back(cable_path);
    FileFacts facts;
    environment->trace_ = OpenTrace(choice.trace, "trace file", keep, error, &facts);
    if (!environment->trace_) return nullptr;
    trace_device.store(facts.volume);
    trace_inode.store(facts.index);
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
  if (trace_) {
    std::fclose(trace_);
    trace_device.store(0);
    trace_inode.store(0);
  }
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
