// --sim text: what parses formats back to text that parses to the same options; what does
// not parse says why and changes nothing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "sim/sim_options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  m4410::SimOptions parsed;
  std::string error;
  if (!m4410::ParseSimOptions(text, &parsed, &error)) {
    FUZZ_CHECK(!error.empty());
    FUZZ_CHECK(parsed == m4410::SimOptions{});
    return 0;
  }
  const std::string formatted = m4410::FormatSimOptions(parsed);
  m4410::SimOptions again;
  again.rate = parsed.rate + 1;  // so a parse that sets nothing cannot pass by accident
  FUZZ_CHECK(m4410::ParseSimOptions(formatted, &again, &error));
  FUZZ_CHECK(again == parsed);
  return 0;
}
