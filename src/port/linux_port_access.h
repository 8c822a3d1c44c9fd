// Raw port access on Linux: a lock against a second instance, the kernel's own claim of the
// port through ppdev, and register access through ioperm (root alone also /dev/port). An
// ordinary user reaches only a port the kernel lists, through the I/O permission the program
// took at start (port/start_privilege.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "port/port_access.h"
#include "port/port_permission.h"

namespace m4410 {

class SystemPrimitives;

class LinuxPortAccess final : public PortAccess {
 public:
  LinuxPortAccess(PortAddresses addresses, SystemPrimitives& system,
                  const StartGrant& start = CurrentStartGrant());
  ~LinuxPortAccess() override;  // releases a claim that is still held
  LinuxPortAccess(const LinuxPortAccess&) = delete;
  LinuxPortAccess& operator=(const LinuxPortAccess&) = delete;

  ClaimOutcome Claim() override;
  void Release() override;
  // Registers outside the claimed ranges, or reads while nothing is claimed, give 0xFF
  // (an undriven bus) and writes are dropped: an unpermitted inb/outb would kill the process.
  std::uint8_t Read(PortRange range, unsigned offset) override;
  void Write(PortRange range, unsigned offset, std::uint8_t value) override;

  // One file for every port, made at boot by the package's tmpfiles entry (root-owned folder,
  // the file root:lp 0640, opened read-only) or by a run as root. Each claim locks the byte
  // ranges of its two port ranges, so a port is one lock however its base is spelled, and
  // overlapping ranges exclude each other.
  static constexpr const char* kLockFolder = "/run/m4410";
  static constexpr const char* kLockName = "ports.lock";
  static constexpr const char* kLockPath = "/run/m4410/ports.lock";

 private:
  enum class Registers { None, IoPerm, DevPort };

  ClaimOutcome CheckFacility();
  ClaimOutcome CheckUser();
  ClaimOutcome TakeLock();
  int OpenLockFile();
  ClaimOutcome TakeKernelPort();
  ClaimOutcome TakeRegisters();
  void ReleaseAll();
  bool PortFor(PortRange range, unsigned offset, std::uint16_t* port) const;

  PortAddresses addresses_;
  SystemPrimitives& system_;
  const StartGrant& start_;
  bool granted_at_start_ = false;
  bool claimed_ = false;
  int lock_fd_ = -1;
  int parport_fd_ = -1;
  bool parport_claimed_ = false;
  std::string parport_name_;
  Registers registers_ = Registers::None;
  bool standard_granted_ = false;
  bool extended_granted_ = false;
  int devport_fd_ = -1;
};

// The Linux backend on the given addresses with the real system calls; nullptr on other
// systems. MakeDefaultPortAccess uses it with 0x378 and 0x778.
std::unique_ptr<PortAccess> MakeLinuxPortAccess(PortAddresses addresses);

}  // namespace m4410
