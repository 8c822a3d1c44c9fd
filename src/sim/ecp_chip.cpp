#include "sim/ecp_chip.h"

#include <algorithm>

#include "port/parport_bits.h"
#include "sim/cable_trace.h"

namespace m4410 {

namespace {

constexpr std::uint8_t kConfigA = 0x10;  // an 8-bit implementation
constexpr std::uint8_t kFloating = 0xFF;  // what a read gives where nothing drives the bus

std::int64_t Micros(std::chrono::steady_clock::time_point at) {
  return std::chrono::duration_cast<std::chrono::microseconds>(at.time_since_epoch()).count();
}

}  // namespace

EcpChip::EcpChip(std::uint32_t bus_ns, bool has_ecr, VirtualClock* clock, CablePeer* peer)
    : bus_ns_(bus_ns), has_ecr_(has_ecr), clock_(clock), peer_(peer) {}

std::int64_t EcpChip::Now() {
  if (clock_) {
    // Every access takes a microsecond of simulated time, and bus-ns more: a real bus's
    // cost, kept to the nanosecond across accesses.
    bus_debt_ns_ += bus_ns_;
    clock_->Advance(1 + bus_debt_ns_ / 1000);
    bus_debt_ns_ %= 1000;
    return clock_->PeekMicros();
  }
  // The host's monotonic clock counts from the same origin, so the box sees the host's
  // millisecond boundaries where the host sees them.
  return Micros(std::chrono::steady_clock::now());
}

// On the real clock the bus is busy for bus-ns after each access starts, as an I/O
// instruction to a real port takes that long: the next access waits out that deadline
// (spun, since a sleep is far coarser than a bus cycle) before it starts. What the chip and
// the box compute for an access, and whatever the host does before its next one, runs under
// that time as a real box's work does under a real bus; only work longer than a bus cycle
// adds to a run.
std::int64_t EcpChip::BeginAccess() {
  if (clock_ || bus_ns_ == 0) return Now();
  // An access that came while the bus was busy gets it at the deadline itself, not at the
  // clock reading that first saw the deadline pass, so back-to-back accesses cost bus-ns
  // each and the clock's own cost never adds up.
  const auto start = std::max(std::chrono::steady_clock::now(), bus_free_at_);
  while (std::chrono::steady_clock::now() < start) {
  }
  bus_free_at_ = start + std::chrono::nanoseconds(bus_ns_);
  return Micros(start);
}

std::uint8_t EcpChip::Read(PortRange range, unsigned offset) {
  peer_->Tick(BeginAccess());
  std::uint8_t value = kFloating;
  if (range == PortRange::Standard) {
    switch (offset) {
      case 0: value = data_; break;
      case 1: value = peer_->StatusLines(); break;
      case 2: value = control_; break;
      default: break;
    }
  } else if (has_ecr_) {
    switch (offset) {
      case 0:
        if (mode() == kEcrModeEcp) value = HostReadsFifo();
        if (mode() == kEcrModeConfig) value = kConfigA;
        break;
      case 1:
        if (mode() == kEcrModeConfig) value = config_b_;
        break;
      case 2:
        peer_->EcrPolled();
        value = ReadEcr();
        break;
      default: break;
    }
  }
  return value;
}

void EcpChip::Write(PortRange range, unsigned offset, std::uint8_t value) {
  const std::int64_t now = BeginAccess();
  peer_->Tick(now);
  if (range == PortRange::Standard) {
    if (offset == 0) {
      data_ = value;
      peer_->DataWritten();
    } else if (offset == 2) {
      const std::uint8_t old = control_;
      control_ = value;
      peer_->ControlWritten(old, value);
    }
  } else if (has_ecr_) {
    switch (offset) {
      case 0:
        if (mode() == kEcrModeEcp) HostWritesFifo(value);
        break;  // configuration register A is read-only
      case 1:
        if (mode() == kEcrModeConfig) config_b_ = value;
        break;
      case 2: WriteEcr(value); break;
      default: break;
    }
  }
  if (cable_) cable_->Host(now, data_, control_, mode());
}

bool EcpChip::reverse() const { return (control_ & kControlReverse) != 0; }
unsigned EcpChip::mode() const { return EcrMode(ecr_); }

std::uint8_t EcpChip::ReadEcr() const {
  std::uint8_t value = ecr_;
  if (fifo_count_ == kFifoDepth) value |= kEcrFifoFull;
  if (fifo_count_ == 0) value |= kEcrFifoEmpty;
  return value;
}

void EcpChip::WriteEcr(std::uint8_t value) {
  const unsigned old_mode = mode();
  // The full and empty bits are the chip's own.
  ecr_ = value & static_cast<std::uint8_t>(~(kEcrFifoFull | kEcrFifoEmpty));
  if (old_mode == kEcrModeEcp && mode() != kEcrModeEcp) {
    peer_->FifoEmptied(fifo_count_);
    fifo_head_ = fifo_count_ = 0;
  }
}

void EcpChip::Push(std::uint8_t value) {
  fifo_[(fifo_head_ + fifo_count_) % kFifoDepth] = value;
  ++fifo_count_;
}

std::uint8_t EcpChip::Pop() {
  const std::uint8_t value = fifo_[fifo_head_];
  fifo_head_ = (fifo_head_ + 1) % kFifoDepth;
  --fifo_count_;
  return value;
}

// The chip moves FIFO bytes only in the direction the port faces: a read while forward finds
// the data lines driven by nobody, a write while reverse goes nowhere.
std::uint8_t EcpChip::HostReadsFifo() {
  if (!reverse()) {
    peer_->Refused(HostFault::FifoReadWhileForward);
    return kFloating;
  }
  if (fifo_count_ == 0) {
    peer_->Refused(HostFault::FifoUnderrun);
    return kFloating;
  }
  return Pop();
}

void EcpChip::HostWritesFifo(std::uint8_t value) {
  peer_->FifoWritten();
  if (reverse()) {
    peer_->Refused(HostFault::FifoWriteWhileReverse);
    return;
  }
  if (fifo_full()) {
    peer_->Refused(HostFault::FifoOverrun);
    return;
  }
  Push(value);
}

}  // namespace m4410
