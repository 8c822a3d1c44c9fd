#include "sim/simulated_box.h"

#include <memory>
#include <mutex>

#include "port/port_driver.h"
#include "sim/box_peer.h"
#include "sim/cable_trace.h"
#include "sim/ecp_chip.h"

namespace m4410 {

// The chip and the box behind it, and the one claim on them, behind one lock: the host's
// thread drives them, and any thread may read the receipt.
class SimulatedBoxState {
 public:
  SimulatedBoxState(const SimOptions& options, VirtualClock* clock, std::FILE* cable)
      : options_(options),
        box_(options, clock, &chip_),
        chip_(options.bus_ns, options.ecp, clock, &box_) {
    box_.NewSession(chip_.Now());
    if (cable) {
      cable_ = std::make_unique<CableTrace>(cable);
      box_.set_cable(cable_.get());
      chip_.set_cable(cable_.get());
    }
  }

  const SimOptions& options() const { return options_; }

  bool TryClaim(const void* holder) {
    std::lock_guard lock(mutex_);
    if (holder_ == holder) return true;
    if (holder_) return false;
    holder_ = holder;
    const std::int64_t now = chip_.Now();
    if (cable_) cable_->Start(now);
    box_.NewSession(now);
    return true;
  }

  void Release(const void* holder) {
    std::lock_guard lock(mutex_);
    if (holder_ != holder) return;
    holder_ = nullptr;
    if (cable_) cable_->Finish();
  }

  std::uint8_t Read(const void* holder, PortRange range, unsigned offset) {
    std::lock_guard lock(mutex_);
    if (holder_ != holder) return 0xFF;  // an unclaimed port answers nothing
    return chip_.Read(range, offset);
  }

  void Write(const void* holder, PortRange range, unsigned offset, std::uint8_t value) {
    std::lock_guard lock(mutex_);
    if (holder_ != holder) return;
    chip_.Write(range, offset, value);
  }

  BoxReceipt Receipt() const {
    std::lock_guard lock(mutex_);
    return box_.Receipt();
  }
  std::uint8_t LastData() const {
    std::lock_guard lock(mutex_);
    return chip_.data();
  }
  std::uint8_t ConfigB() const {
    std::lock_guard lock(mutex_);
    return chip_.config_b();
  }
  std::size_t FifoLevel() const {
    std::lock_guard lock(mutex_);
    return chip_.fifo_level();
  }

 private:
  const SimOptions options_;
  mutable std::mutex mutex_;
  const void* holder_ = nullptr;
  std::unique_ptr<CableTrace> cable_;
  BoxPeer box_;   // built before the chip, which it only points to until the first access
  EcpChip chip_;
};

namespace {

class SimulatedPortAccess final : public PortAccess {
 public:
  explicit SimulatedPortAccess(std::shared_ptr<SimulatedBoxState> box) : box_(std::move(box)) {}
  ~SimulatedPortAccess() override { box_->Release(this); }

  ClaimOutcome Claim() override {
    if (box_->TryClaim(this)) return ClaimOutcome::Claimed;
    SetPortErrorText("the simulated port is already claimed by another run\n");
    return ClaimOutcome::Refused;
  }
  void Release() override { box_->Release(this); }
  std::uint8_t Read(PortRange range, unsigned offset) override {
    return box_->Read(this, range, offset);
  }
  void Write(PortRange range, unsigned offset, std::uint8_t value) override {
    box_->Write(this, range, offset, value);
  }

 private:
  std::shared_ptr<SimulatedBoxState> box_;
};

}  // namespace

SimulatedBox::SimulatedBox(const SimOptions& options, VirtualClock* clock, std::FILE* cable)
    : state_(std::make_shared<SimulatedBoxState>(options, clock, cable)) {}

SimulatedBox::~SimulatedBox() = default;

PortAccessFactory SimulatedBox::Factory() const {
  return [box = state_]() -> std::unique_ptr<PortAccess> {
    return std::make_unique<SimulatedPortAccess>(box);
  };
}

std::unique_ptr<PortAccess> SimulatedBox::MakeAccess() const {
  return std::make_unique<SimulatedPortAccess>(state_);
}

const SimOptions& SimulatedBox::Options() const { return state_->options(); }
BoxReceipt SimulatedBox::Receipt() const { return state_->Receipt(); }
std::uint8_t SimulatedBox::LastData() const { return state_->LastData(); }
std::uint8_t SimulatedBox::ConfigB() const { return state_->ConfigB(); }
std::size_t SimulatedBox::FifoLevel() const { return state_->FifoLevel(); }

std::uint64_t BoxReceipt::all_faults() const {
  std::uint64_t total = 0;
  for (const std::uint64_t count : host_faults) total += count;
  return total;
}

std::string HostFaultSummary(const BoxReceipt& receipt) {
  static constexpr const char* kNames[kHostFaultKinds] = {
      "fifo read while forward", "fifo write while reverse", "fifo overrun", "fifo underrun",
      "turn out of phase",       "termination out of phase", "short pause"};
  std::string text;
  for (std::size_t kind = 0; kind < kHostFaultKinds; ++kind) {
    if (receipt.host_faults[kind] == 0) continue;
    if (!text.empty()) text += ", ";
    text += std::to_string(receipt.host_faults[kind]) + " " + kNames[kind];
  }
  return text.empty() ? "none" : text;
}

}  // namespace m4410
