#include "port/port_permission.h"

namespace m4410 {

namespace {

constexpr unsigned kExtendedDistance = 0x400;
constexpr unsigned kLegacyPortSpace = 0x400;

StartGrant& GrantRecord() {
  static StartGrant grant;
  return grant;
}

std::string Describe(PortAddresses addresses) {
  return HexPort(addresses.base) + "," + HexPort(addresses.extended);
}

}  // namespace

bool PortIsListed(PortAddresses addresses, const std::vector<ParportEntry>& listed) {
  for (const ParportEntry& entry : listed) {
    if (entry.base != addresses.base) continue;
    if (entry.extended) return *entry.extended == addresses.extended;
    // The kernel lists no extended range where it found no ECP registers. On a legacy ISA
    // base those are decoded at BASE+0x400, where the kernel itself looks for them; PCI
    // cards, above 0x400, get no such allowance.
    return addresses.base < kLegacyPortSpace &&
           addresses.extended == addresses.base + kExtendedDistance;
  }
  return false;
}

std::string UnlistedPortRefusal(PortAddresses addresses, const std::vector<ParportEntry>& listed) {
  // With none listed the cause is the missing driver, whichever port was asked for.
  if (listed.empty()) {
    return "no parallel port found: the kernel lists none. Load its driver "
           "(sudo modprobe parport_pc), then see the port with m4410 ports.\n";
  }
  // The default port was never named: only a port given with --port was.
  const bool named = addresses.base != PortAddresses{}.base ||
                     addresses.extended != PortAddresses{}.extended;
  std::string text = named ? "the port " + Describe(addresses) +
                                 " is not a parallel port the kernel lists, and only root may "
                                 "name another. The kernel lists:"
                           : "no parallel port at " + Describe(addresses) +
                                 ", the default: choose one the kernel lists with --port:";
  for (const ParportEntry& entry : listed) {
    text += " " + entry.name + " (--port " + entry.port_option + ")";
  }
  return text + ".\n";
}

const StartGrant& CurrentStartGrant() { return GrantRecord(); }

void RecordStartGrant(StartGrant grant) { GrantRecord() = std::move(grant); }

}  // namespace m4410
