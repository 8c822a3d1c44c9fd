// Ports for tests of a window's handling of a run: one whose claim is refused, so the run
// ends at stage 2, and one that holds the worker inside its claim until the test lets go.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "port/port_access.h"
#include "port/port_driver.h"

namespace m4410 {

class RefusingPort : public PortAccess {
 public:
  ClaimOutcome Claim() override {
    SetPortErrorText("refused by the test\n");
    return ClaimOutcome::Refused;
  }
  void Release() override {}
  std::uint8_t Read(PortRange, unsigned) override { return 0; }
  void Write(PortRange, unsigned, std::uint8_t) override {}
};

struct Gate {
  std::mutex mutex;
  std::condition_variable opened;
  bool open = false;
  void Wait() {
    std::unique_lock lock(mutex);
    opened.wait(lock, [this] { return open; });
  }
  void Open() {
    {
      std::lock_guard lock(mutex);
      open = true;
    }
    opened.notify_all();
  }
};

class GatedPort : public RefusingPort {
 public:
  explicit GatedPort(Gate* gate) : gate_(gate) {}
  ClaimOutcome Claim() override {
    gate_->Wait();
    return RefusingPort::Claim();
  }

 private:
  Gate* gate_;
};

}  // namespace m4410
