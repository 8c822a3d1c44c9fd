// The port backend over the WinDriver kernel driver: the claim of both ranges, single-byte
// transfers and the release, each one request record sent to the driver's device.
#pragma once

#include <cstdint>
#include <memory>

#include "port/port_access.h"
#include "port/windriver_device.h"
#include "port/windriver_records.h"

namespace m4410 {

class WinDriverPortAccess final : public PortAccess {
 public:
  explicit WinDriverPortAccess(std::unique_ptr<WinDriverDevice> device,
                               PortAddresses addresses = {});
  // Releases a claim still held, so a dropped context never leaves the port locked.
  ~WinDriverPortAccess() override;
  WinDriverPortAccess(const WinDriverPortAccess&) = delete;
  WinDriverPortAccess& operator=(const WinDriverPortAccess&) = delete;

  // Opens the device, checks the driver's version and claims both ranges. On failure the
  // reason is in PortErrorText and the device is closed again.
  ClaimOutcome Claim() override;
  // Sends the claim record back with the release request, then closes the device.
  void Release() override;
  // One TransferRecord each. Before a successful Claim nothing is sent and reads give 0.
  std::uint8_t Read(PortRange range, unsigned offset) override;
  void Write(PortRange range, unsigned offset, std::uint8_t value) override;

 private:
  ClaimOutcome Fail(ClaimOutcome outcome, const char* reason);
  void SendTransfer(bool read, PortRange range, unsigned offset, std::uint8_t* byte);

  std::unique_ptr<WinDriverDevice> device_;
  PortAddresses addresses_;
  PortClaimRecord claim_{};
  bool open_ = false;     // the device is open
  bool claimed_ = false;  // Claim succeeded and Release has not run
};

}  // namespace m4410
