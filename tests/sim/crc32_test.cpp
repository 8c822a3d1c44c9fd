#include "sim/crc32.h"

#include <gtest/gtest.h>

#include <vector>

namespace m4410 {
namespace {

// The check figure of CRC-32/IEEE, and the same figure whichever way the bytes are fed.
TEST(Crc32Test, AnySplitOfTheBytesGivesTheWholeFigure) {
  EXPECT_EQ(Crc32Extend(0, "123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32Extend(0, nullptr, 0), 0u);

  std::vector<std::uint8_t> data(1000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 3);
  const std::uint32_t whole = Crc32Extend(0, data.data(), data.size());
  for (const std::size_t split : {std::size_t{0}, std::size_t{1}, std::size_t{16}, std::size_t{999}}) {
    EXPECT_EQ(Crc32Extend(Crc32Extend(0, data.data(), split), data.data() + split, data.size() - split),
              whole);
    Crc32 running;
    for (std::size_t i = 0; i < split; ++i) running.Update(data[i]);
    running.Update(data.data() + split, data.size() - split);
    EXPECT_EQ(running.Value(), whole);
    running.Reset();
    EXPECT_EQ(running.Value(), 0u);
  }
}

}  // namespace
}  // namespace m4410
