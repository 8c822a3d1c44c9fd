// Turns the --port, --sim and --trace choices shared by both programs into the process's
// port backend and clock, and puts the defaults back when it goes.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "link/time_source.h"
#include "port/port_access.h"
#include "port/port_choice.h"

namespace m4410 {

class SimulatedBox;

// The port a run uses and how it is watched, as the command line chose them.
struct PortSetup {
  PortChoice port;    // the machine's own port, a port at given addresses, or the simulated box
  std::string sim;    // key=value,... for the simulated box
  std::string trace;  // one line per register access, or a waveform for NAME.vcd
};

// Whether path names the trace file that the installed environment is writing (by any name
// or link). Such a file must never be read as an update image.
bool IsActiveTraceFile(const std::string& path);

// True for a trace file name ending in ".vcd" (any case): the run's lines as a waveform.
bool IsWaveformTraceName(const std::string& name);

class PortEnvironment {
 public:
  // Sets the process's port factory and clock: the one place a program sets them. nullptr
  // with a message naming the bad value when the --sim options are wrong, or the trace file
  // cannot be created or is one it must never be (then left as it was): one of not_trace,
  // such as the update file, or the box-data file.
  static std::unique_ptr<PortEnvironment> Install(const PortSetup& setup,
                                                  std::string* error,
                                                  const std::vector<std::string>& not_trace = {});
  ~PortEnvironment();
  PortEnvironment(const PortEnvironment&) = delete;
  PortEnvironment& operator=(const PortEnvironment&) = delete;

  bool simulated() const { return box_ != nullptr; }
  PortAddresses addresses() const { return addresses_; }
  // What the simulated box took and what it would not have accepted from us:
  // "box received N bytes, crc32 xxxxxxxx, host faults: none" (or the faults by kind), or
  // "box received no image, host faults: ...". Empty on a real port.
  std::string BoxReport() const;

 private:
  PortEnvironment() = default;

  PortAddresses addresses_;
  std::unique_ptr<VirtualClock> clock_;
  std::shared_ptr<SimulatedBox> box_;
  std::FILE* trace_ = nullptr;
};

}  // namespace m4410
