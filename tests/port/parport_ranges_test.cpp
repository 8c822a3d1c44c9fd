// A port's I/O ranges, as Windows' device configuration or the kernel books them, resolved
// into the standard and extended range and the --port value that reaches them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "port/parport_listing.h"

namespace m4410 {
namespace {

using Ranges = std::vector<std::pair<unsigned long, unsigned long>>;

TEST(ParportFromRanges, EveryLayoutInEveryOrderGivesTheSameRanges) {
  struct Layout {
    const char* what;
    unsigned long base;
    unsigned long extended;  // 0: none booked
    bool split;              // the standard range booked in two pieces
    unsigned long extended_length;
  };
  const Layout layouts[] = {
      {"built-in", 0x378, 0x778, false, 8},  {"built-in, split", 0x278, 0x678, true, 3},
      {"standard only", 0x3bc, 0, false, 0}, {"card", 0xe010, 0xe000, false, 4},
      {"card, split", 0xd810, 0xd800, true, 3},
  };
  for (const Layout& layout : layouts) {
    Ranges ranges;
    if (layout.split) {
      ranges = {{layout.base, layout.base + 2}, {layout.base + 3, layout.base + 7}};
    } else {
      ranges = {{layout.base, layout.base + 7}};
    }
    if (layout.extended) {
      ranges.emplace_back(layout.extended, layout.extended + layout.extended_length - 1);
    }
    std::sort(ranges.begin(), ranges.end());
    do {
      SCOPED_TRACE(layout.what);
      const ParportEntry entry = ParportFromRanges("LPT1", ranges);
      EXPECT_EQ(entry.name, "LPT1");
      EXPECT_EQ(entry.base, layout.base);
      EXPECT_EQ(entry.extended.value_or(0), layout.extended);
      EXPECT_EQ(entry.port_option, PortOptionFor(entry.base, entry.extended));
    } while (std::next_permutation(ranges.begin(), ranges.end()));
  }
  EXPECT_EQ(ParportFromRanges("LPT1", {{0x378, 0x37f}, {0x778, 0x77f}}).port_option, "lpt");
  EXPECT_EQ(ParportFromRanges("LPT2", {{0xe010, 0xe017}, {0xe000, 0xe003}}).port_option,
            "lpt:0xe010,0xe000");
}

}  // namespace
}  // namespace m4410
