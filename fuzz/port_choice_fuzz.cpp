// --port text: a choice written back as a --port value reads as the same choice; a refusal
// always says why.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "port/port_choice.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const m4410::PortChoiceResult result = m4410::ParsePortChoice(text);
  if (!result.choice) {
    FUZZ_CHECK(!result.error.empty());
    return 0;
  }
  const m4410::PortChoice& choice = *result.choice;
  const m4410::PortChoiceResult again = m4410::ParsePortChoice(m4410::PortChoiceName(choice));
  FUZZ_CHECK(again.choice.has_value());
  FUZZ_CHECK(again.choice->kind == choice.kind);
  if (choice.kind == m4410::PortKind::Lpt) {
    FUZZ_CHECK(again.choice->addresses.base == choice.addresses.base);
    FUZZ_CHECK(again.choice->addresses.extended == choice.addresses.extended);
  }
  return 0;
}
