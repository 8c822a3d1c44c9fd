// The kernel's /proc/ioports and parport base-addr texts: the --port value listed with a port
// never reaches another port, and a base-addr pair printed the kernel's way reads back as
// itself.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "port/parport_listing.h"
#include "port/port_choice.h"

namespace {

void CheckReachable(const m4410::ParportEntry& entry) {
  const m4410::PortChoiceResult choice = m4410::ParsePortChoice(entry.port_option);
  // A base that --port cannot take (one not on a 4-port boundary, which no kernel reports)
  // is refused with a reason; that is safe.
  if (!choice.choice) {
    FUZZ_CHECK(!choice.error.empty());
    return;
  }
  FUZZ_CHECK(choice.choice->kind == m4410::PortKind::Lpt);
  FUZZ_CHECK(choice.choice->addresses.base == entry.base);
  if (entry.extended) FUZZ_CHECK(choice.choice->addresses.extended == *entry.extended);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  std::vector<m4410::KernelParportFile> files(in.ConsumeIntegralInRange<std::size_t>(0, 4));
  for (auto& file : files) {
    file.name = in.ConsumeRandomLengthString(16);
    file.base_addr = in.ConsumeRandomLengthString(48);
  }
  const std::string ioports = in.ConsumeRemainingBytesAsString();

  for (const auto& entry : m4410::ParseIoports(ioports)) CheckReachable(entry);
  const auto listing = m4410::BuildParportListing(ioports, files);
  for (const auto& entry : listing) CheckReachable(entry);
  FUZZ_CHECK(!m4410::FormatParportListing(listing).empty());

  for (const auto& file : files) {
    const auto parsed = m4410::ParseParportBaseAddr(file.base_addr);
    if (!parsed) continue;
    const std::string printed = std::to_string(parsed->base) + "\t" +
                                std::to_string(parsed->extended.value_or(0)) + "\n";
    const auto again = m4410::ParseParportBaseAddr(printed);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(again->base == parsed->base);
    FUZZ_CHECK(again->extended == parsed->extended);
  }
  return 0;
}
