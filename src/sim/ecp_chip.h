// The PC's half of the simulated port: an ECP port chip with its data, control, extended
// control and configuration registers, a 16-byte FIFO, and the time each register access
// holds the bus. It knows the box only as the peer on its cable, the way a PC's port driver
// knows nothing of the IEEE 1284 conversation carried over its lines.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "port/parport_bits.h"
#include "port/port_access.h"
#include "port/time_source.h"
#include "sim/simulated_box.h"

namespace m4410 {
class CableTrace;
}

namespace m4410 {

// What the chip's lines reach: the peripheral's side of the cable.
class CablePeer {
 public:
  virtual ~CablePeer() = default;
  // Time has moved on to a register access, at `now` microseconds on the box's time line.
  virtual void Tick(std::int64_t now) = 0;
  virtual std::uint8_t StatusLines() = 0;  // the status register as the PC reads it
  virtual void DataWritten() = 0;
  virtual void ControlWritten(std::uint8_t old, std::uint8_t value) = 0;
  virtual void EcrPolled() = 0;       // the host reads the ECR, as it does to watch the FIFO
  virtual void FifoWritten() = 0;     // the host wrote the FIFO register, taken or not
  virtual void Refused(HostFault fault) = 0;
  virtual void FifoEmptied(std::size_t bytes) = 0;  // lost by leaving ECP mode
};

class EcpChip {
 public:
  static constexpr std::size_t kFifoDepth = SimulatedBox::kFifoDepth;

  // clock == nullptr: the chip runs on the monotonic clock, where an access holds the real
  // bus for bus_ns from its start. Otherwise every access moves `clock` on by 1 us and bus_ns
  // more.
  // has_ecr == false: the extended range floats, as on a port without ECP registers.
  EcpChip(std::uint32_t bus_ns, bool has_ecr, VirtualClock* clock, CablePeer* peer);

  // One register access through the chip, peer and bus time included.
  std::uint8_t Read(PortRange range, unsigned offset);
  void Write(PortRange range, unsigned offset, std::uint8_t value);

  // The time of an access that is not a register's, on the box's time line; on the virtual
  // clock it costs what an access costs.
  std::int64_t Now();

  // Where the lines the chip drives are recorded as a probe on the cable sees them.
  void set_cable(CableTrace* cable) { cable_ = cable; }

  std::uint8_t data() const { return data_; }
  std::uint8_t control() const { return control_; }
  std::uint8_t config_b() const { return config_b_; }
  bool reverse() const;  // the data lines are inputs: the box drives them
  unsigned mode() const;  // the ECR's mode field
  std::size_t fifo_level() const { return fifo_count_; }
  bool fifo_full() const { return fifo_count_ == kFifoDepth; }

  // The peer's end of the FIFO.
  void Push(std::uint8_t value);
  std::uint8_t Pop();

 private:
  using SteadyTime = std::chrono::steady_clock::time_point;

  std::int64_t BeginAccess();
  std::uint8_t ReadEcr() const;
  void WriteEcr(std::uint8_t value);
  std::uint8_t HostReadsFifo();
  void HostWritesFifo(std::uint8_t value);

  const std::uint32_t bus_ns_;
  const bool has_ecr_;
  VirtualClock* const clock_;
  CablePeer* const peer_;
  CableTrace* cable_ = nullptr;
  std::int64_t bus_debt_ns_ = 0;  // bus time owed on the virtual clock, under a microsecond
  SteadyTime bus_free_at_{};      // the real clock: when the last access lets go of the bus

  // Power-on: compatibility lines, ECR reading 0x15.
  std::uint8_t data_ = 0;
  std::uint8_t control_ = kControlCompatibilityIdle;
  std::uint8_t ecr_ = 0x14;
  std::uint8_t config_b_ = 0;
  std::array<std::uint8_t, kFifoDepth> fifo_{};
  std::size_t fifo_head_ = 0;
  std::size_t fifo_count_ = 0;
};

}  // namespace m4410
