#include "sim/box_receipt.h"

namespace m4410 {

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
