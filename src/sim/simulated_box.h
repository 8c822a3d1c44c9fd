// A simulated Marlovine 4410 box on a simulated ECP port: the PC's port chip (data, status,
// control, ECR, configuration registers, a 16-byte FIFO) and, behind it, the box's side of the
// IEEE 1284 handshakes and of the update exchange. Stands in for the hardware in tests, in
// `m4410 --port sim` and in the GUI demo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "port/port_access.h"
#include "link/time_source.h"
#include "sim/box_receipt.h"
#include "sim/sim_options.h"

namespace m4410 {

class SimulatedBoxState;  // the box and its port, shared by the handle and its PortAccesses

class SimulatedBox {
 public:
  // clock == nullptr: the box watches the monotonic clock. Otherwise it watches `clock` and
  // moves it on by 1 us and bus-ns more at every port access, so simulated time passes as
  // the host polls; the clock must then outlive the box and every PortAccess handed out.
  // cable: where the cable's lines are recorded (the box takes the file), or nullptr.
  SimulatedBox(const SimOptions& options, VirtualClock* clock, std::FILE* cable = nullptr);
  ~SimulatedBox();
  SimulatedBox(const SimulatedBox&) = delete;
  SimulatedBox& operator=(const SimulatedBox&) = delete;

  // Each call makes a PortAccess onto this one box. The box's state is shared with them, so
  // they (and the factory) stay valid even after this object is gone.
  PortAccessFactory Factory() const;
  std::unique_ptr<PortAccess> MakeAccess() const;

  // One PortAccess holds the claim at a time; a second one is refused until it releases.
  // A fresh claim starts a new session: the box at compatibility idle with nothing queued,
  // its receipt and attempt count cleared. The port chip keeps its registers.

  const SimOptions& Options() const;
  BoxReceipt Receipt() const;  // safe from any thread, during or after a run
  std::uint8_t LastData() const;  // data register as last written
  std::uint8_t ConfigB() const;   // configuration register B as last written
  std::size_t FifoLevel() const;

 private:
  std::shared_ptr<SimulatedBoxState> state_;
};

}  // namespace m4410
