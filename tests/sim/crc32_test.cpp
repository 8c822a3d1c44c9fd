#include "sim/crc32.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace m4410 {
namespace {

TEST(Crc32Test, KnownVectors) {
  const std::string_view check = "123456789";
  EXPECT_EQ(Crc32Extend(0, check.data(), check.size()), 0xCBF43926u);
  EXPECT_EQ(Crc32Extend(0, nullptr, 0), 0u);
  const std::string_view fox = "The quick brown fox jumps over the lazy dog";
  EXPECT_EQ(Crc32Extend(0, fox.data(), fox.size()), 0x414FA339u);
  const std::vector<std::uint8_t> zeros(32, 0);
  EXPECT_EQ(Crc32Extend(0, zeros.data(), zeros.size()), 0x190A55ADu);
}

TEST(Crc32Test, PiecesGiveTheSameFigureAsTheWhole) {
  std::vector<std::uint8_t> data(1000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 3);
  const std::uint32_t whole = Crc32Extend(0, data.data(), data.size());

  std::uint32_t pieces = Crc32Extend(0, data.data(), 1);
  pieces = Crc32Extend(pieces, data.data() + 1, 499);
  pieces = Crc32Extend(pieces, data.data() + 500, 0);
  pieces = Crc32Extend(pieces, data.data() + 500, 500);
  EXPECT_EQ(pieces, whole);

  Crc32 running;
  for (std::size_t i = 0; i < 10; ++i) running.Update(data[i]);
  running.Update(data.data() + 10, data.size() - 10);
  EXPECT_EQ(running.Value(), whole);

  running.Reset();
  EXPECT_EQ(running.Value(), 0u);
  running.Update("123456789", 9);
  EXPECT_EQ(running.Value(), 0xCBF43926u);
}

}  // namespace
}  // namespace m4410
