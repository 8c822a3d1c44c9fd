#include "run/port_environment.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

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

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The trace is opened without truncating it and compared with the files it must not be, so a
// --trace that names the update file (by any path or link) leaves that file whole.
std::FILE* OpenTrace(const PortChoiceText& choice, const std::vector<std::string>& not_trace,
                     std::string* error) {
  const char* path = choice.trace.c_str();
  bool created = false;
  int fd = ::open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    fd = ::open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC | O_CREAT | O_EXCL, 0644);
    created = fd >= 0;
  }
  if (fd < 0) {
    *error = "cannot create the trace file '" + choice.trace + "': " + std::strerror(errno);
    return nullptr;
  }
  struct stat trace {};
  if (::fstat(fd, &trace) != 0) {
    *error = "cannot create the trace file '" + choice.trace + "': " + std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  std::vector<std::string> keep = not_trace;
  keep.emplace_back(BoxDataPath);
  for (const std::string& other : keep) {
    struct stat info {};
    if (::stat(other.c_str(), &info) != 0 || !SameFile(info, trace)) continue;
    ::close(fd);
    if (created) ::unlink(path);
    *error = "the trace file '" + choice.trace + "' would overwrite " +
             (other == BoxDataPath ? "the box-data file '" : "'") + other +
             "'; choose another trace file";
    return nullptr;
  }
  if (S_ISREG(trace.st_mode) && ::ftruncate(fd, 0) != 0) {
    *error = "cannot empty the trace file '" + choice.trace + "': " + std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "w");
  if (!file) {
    *error = "cannot create the trace file '" + choice.trace + "': " + std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  trace_device.store(trace.st_dev);
  trace_inode.store(trace.st_ino);
  return file;
}

}  // namespace

bool IsActiveTraceFile(const std::string& path) {
  struct stat info {};
  if (trace_inode.load() == 0 || ::stat(path.c_str(), &info) != 0) return false;
  return info.st_dev == trace_device.load() && info.st_ino == trace_inode.load();
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
                       : PortAccessFactory([addresses] { return MakeSystemPortAccess(addresses); });
  }

  if (!choice.trace.empty()) {
    environment->trace_ = OpenTrace(choice, not_trace, error);
    if (!environment->trace_) return nullptr;
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
