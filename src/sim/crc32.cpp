#include "sim/crc32.h"

namespace m4410 {

namespace {
constexpr std::array<std::uint32_t, 256> MakeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}
}  // namespace

const std::array<std::uint32_t, 256> kCrc32Table = MakeTable();

void Crc32::Update(const void* data, std::size_t n) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  for (std::size_t i = 0; i < n; ++i) Update(bytes[i]);
}

std::uint32_t Crc32Extend(std::uint32_t crc, const void* data, std::size_t n) {
  // Undo the final inversion of the earlier result to continue from its register.
  std::uint32_t reg = crc ^ 0xFFFFFFFFu;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  for (std::size_t i = 0; i < n; ++i) reg = kCrc32Table[(reg ^ bytes[i]) & 0xFFu] ^ (reg >> 8);
  return reg ^ 0xFFFFFFFFu;
}

}  // namespace m4410
