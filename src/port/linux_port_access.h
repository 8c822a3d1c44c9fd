// Raw port access on Linux: an advisory lock against a second instance, the kernel's own
// claim of the port through ppdev, and register access through ioperm or /dev/port.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "port/port_access.h"

namespace m4410 {

class SystemPrimitives;

class LinuxPortAccess final : public PortAccess {
 public:
  LinuxPortAccess(PortAddresses addresses, SystemPrimitives& system);
  ~LinuxPortAccess() override;  // releases a claim that is still held
  LinuxPortAccess(const LinuxPortAccess&) = delete;
  LinuxPortAccess& operator=(const LinuxPortAccess&) = delete;

  ClaimOutcome Claim() override;
  void Release() override;
  // Registers outside the claimed ranges, or reads while nothing is claimed, give 0xFF
  // (an undriven bus) and writes are dropped: an unpermitted inb/outb would kill the process.
  std::uint8_t Read(PortRange range, unsigned offset) override;
  void Write(PortRange range, unsigned offset, std::uint8_t value) override;

  // "m4410-port-0x378.lock": one lock per base address, shared by every instance.
  static std::string LockFileName(std::uint16_t base);

 private:
  enum class Registers { None, IoPerm, DevPort };

  bool CheckFacility();
  ClaimOutcome TakeLock();
  ClaimOutcome TakeKernelPort();
  ClaimOutcome TakeRegisters();
  void ReleaseAll();
  bool PortFor(PortRange range, unsigned offset, std::uint16_t* port) const;

  PortAddresses addresses_;
  SystemPrimitives& system_;
  bool claimed_ = false;
  int lock_fd_ = -1;
  std::string lock_path_;
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
