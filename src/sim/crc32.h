// CRC-32 of IEEE 802.3, as zlib computes it: the figure the simulated box reports for the
// image it took, and the one `crc32` and zip tools print for the update file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace m4410 {

// Running CRC over bytes fed in any number of pieces.
class Crc32 {
 public:
  void Update(std::uint8_t byte) { Update(&byte, 1); }
  void Update(const void* data, std::size_t n);
  std::uint32_t Value() const { return value_; }
  void Reset() { value_ = 0; }

 private:
  std::uint32_t value_ = 0;
};

// zlib's convention: start with crc 0 and pass each result back in for the next piece.
std::uint32_t Crc32Extend(std::uint32_t crc, const void* data, std::size_t n);

}  // namespace m4410
