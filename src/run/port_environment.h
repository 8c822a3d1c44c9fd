// Turns the --port, --sim and --trace choices shared by both programs into the process's
// port backend and clock, and puts the defaults back when it goes.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "port/port_access.h"
#include "port/time_source.h"

namespace m4410 {

class SimulatedBox;

struct PortChoiceText {
  std::string port = "lpt";  // lpt, lpt:BASE[,ECPBASE] or sim
  std::string sim;           // key=value,... for the simulated box
  std::string trace;         // one line per register access, or a waveform for NAME.vcd
};

// True for a trace file name ending in ".vcd" (any case): the run's lines as a waveform.
bool IsWaveformTraceName(const std::string& name);

class PortEnvironment {
 public:
  // nullptr with a message naming the bad value when a choice is wrong or the trace file
  // cannot be created.
  static std::unique_ptr<PortEnvironment> Install(const PortChoiceText& choice,
                                                  std::string* error);
  ~PortEnvironment();
  PortEnvironment(const PortEnvironment&) = delete;
  PortEnvironment& operator=(const PortEnvironment&) = delete;

  bool simulated() const { return box_ != nullptr; }
  PortAddresses addresses() const { return addresses_; }
  // What the simulated box took: "box received N bytes, crc32 xxxxxxxx" or
  // "box received no image". Empty on a real port.
  std::string BoxReport() const;

 private:
  PortEnvironment() = default;

  PortAddresses addresses_;
  std::unique_ptr<VirtualClock> clock_;
  std::shared_ptr<SimulatedBox> box_;
  std::FILE* trace_ = nullptr;
};

}  // namespace m4410
