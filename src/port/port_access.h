// The port seam: every register access of the link goes through PortAccess, so the same link
// code runs on a real port, on the simulated box and under test doubles.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace m4410 {

// Standard range: data, status, control (0x378..0x37F on the usual port).
// Extended range: ECP FIFO, configuration register B, ECR (0x778..0x77A).
enum class PortRange { Standard = 0, Extended = 1 };

// What a claim came to; OpenPortDriver maps these onto its results 0, 1 and 2.
enum class ClaimOutcome { Claimed, NoFacility, Refused };

class PortAccess {
 public:
  virtual ~PortAccess() = default;
  // Exclusive claim of both ranges. On failure nothing stays held, and the backend has
  // put its reason into PortErrorText (port_driver.h).
  virtual ClaimOutcome Claim() = 0;
  virtual void Release() = 0;
  // One synchronous access each, in program order, never cached or merged.
  virtual std::uint8_t Read(PortRange range, unsigned offset) = 0;
  virtual void Write(PortRange range, unsigned offset, std::uint8_t value) = 0;
};

// Where a port's two ranges start: 0x378 and 0x778 on the machine's own port; a PCI or PCIe
// card puts its extended registers elsewhere.
struct PortAddresses {
  std::uint16_t base = 0x378;
  std::uint16_t extended = 0x778;
};

using PortAccessFactory = std::function<std::unique_ptr<PortAccess>()>;

// The process's port: the one seam through which OpenPortDriver, which takes no port, finds
// the run's backend. A program sets it in one place, its port environment
// (run/port_environment.h); tests set it per case. An empty factory means the platform's
// default backend.
void SetProcessPortFactory(PortAccessFactory factory);
std::unique_ptr<PortAccess> MakeProcessPortAccess();
// The platform's own backend, whatever factory is set: on 0x378 and 0x778, or on the given
// addresses. Raw port I/O on Linux, the kernel port driver on Windows; nullptr where the
// build has none (OpenPortDriver then reports result 1).
std::unique_ptr<PortAccess> MakeDefaultPortAccess();
std::unique_ptr<PortAccess> MakeSystemPortAccess(PortAddresses addresses);

}  // namespace m4410
