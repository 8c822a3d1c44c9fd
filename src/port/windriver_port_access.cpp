#include "port/windriver_port_access.h"

#include <utility>

#include "port/port_driver.h"

namespace m4410 {

WinDriverPortAccess::WinDriverPortAccess(std::unique_ptr<WinDriverDevice> device,
                                         PortAddresses addresses)
    : device_(std::move(device)), addresses_(addresses) {}

WinDriverPortAccess::~WinDriverPortAccess() {
  if (open_) Release();
}

ClaimOutcome WinDriverPortAccess::Claim() {
  if (open_) Release();  // a second claim starts from scratch
  claim_ = PortClaimRecord{};
  if (!device_ || !device_->Open()) {
    // The driver's own words first, then what an operator on a fresh PC needs: this is what
    // stage 2 and m4410 show, on one line.
    SetPortErrorText(
        "Cannot open WinDriver device: the port driver (WinDriver, version 412 or later) is not "
        "installed or not running; it comes from the box's supplier, with the box, and an "
        "administrator installs it with its own setup, or, if it is installed, restarts the "
        "computer to start it (\"driverquery /v\" lists it as windrvr..., State Running)\n");
    return ClaimOutcome::NoFacility;
  }
  open_ = true;

  VersionRecord version;
  device_->Control(kWdVersionRequest, &version, sizeof version, nullptr);
  if (version.version < kWdMinimumVersion) {
    return Fail(ClaimOutcome::Refused, "error - incorrect WinDriver version\n");
  }

  claim_ = MakePortClaimRecord(addresses_);
  device_->Control(kWdClaimRequest, &claim_, sizeof claim_, nullptr);
  if (claim_.claim_handle == 0) {
    return Fail(ClaimOutcome::Refused, "error - could not lock device, already in use\n");
  }
  claimed_ = true;
  return ClaimOutcome::Claimed;
}

ClaimOutcome WinDriverPortAccess::Fail(ClaimOutcome outcome, const char* reason) {
  SetPortErrorText(reason);
  Release();
  return outcome;
}

void WinDriverPortAccess::Release() {
  if (!open_) return;
  if (claim_.claim_handle != 0) {
    device_->Control(kWdReleaseRequest, &claim_, sizeof claim_, nullptr);
  }
  device_->Close();
  open_ = false;
  claimed_ = false;
  claim_ = PortClaimRecord{};
}

void WinDriverPortAccess::SendTransfer(bool read, PortRange range, unsigned offset,
                                       std::uint8_t* byte) {
  const ResourceItem& item = claim_.items[range == PortRange::Standard ? 0 : 1];
  TransferRecord record = MakeTransferRecord(WdTransferCommand(read, 0, WdRangeKind::Io),
                                             item.first_port + offset, 1, byte);
  device_->Control(kWdTransferRequest, &record, sizeof record, byte);
}

std::uint8_t WinDriverPortAccess::Read(PortRange range, unsigned offset) {
  std::uint8_t byte = 0;
  if (claimed_) SendTransfer(true, range, offset, &byte);
  return byte;
}

void WinDriverPortAccess::Write(PortRange range, unsigned offset, std::uint8_t value) {
  if (claimed_) SendTransfer(false, range, offset, &value);
}

}  // namespace m4410
