// CRC-32 of IEEE 802.3 (reflected, polynomial 0xEDB88320, initial and final value all ones),
// the same figure zlib's crc32 gives. Own code, so the core needs nothing beyond the standard
// library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace m4410 {

extern const std::array<std::uint32_t, 256> kCrc32Table;

// Running CRC over bytes fed in any number of pieces.
class Crc32 {
 public:
  void Update(std::uint8_t byte) { reg_ = kCrc32Table[(reg_ ^ byte) & 0xFFu] ^ (reg_ >> 8); }
  void Update(const void* data, std::size_t n);
  std::uint32_t Value() const { return reg_ ^ 0xFFFFFFFFu; }
  void Reset() { reg_ = 0xFFFFFFFFu; }

 private:
  std::uint32_t reg_ = 0xFFFFFFFFu;
};

// zlib's convention: start with crc 0 and pass each result back in for the next piece.
std::uint32_t Crc32Extend(std::uint32_t crc, const void* data, std::size_t n);

}  // namespace m4410
