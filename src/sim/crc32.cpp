#include "sim/crc32.h"

#include <zlib.h>

#include <algorithm>

namespace m4410 {

void Crc32::Update(const void* data, std::size_t n) { value_ = Crc32Extend(value_, data, n); }

std::uint32_t Crc32Extend(std::uint32_t crc, const void* data, std::size_t n) {
  // zlib takes at most a uInt at a time.
  const auto* bytes = static_cast<const Bytef*>(data);
  uLong value = crc;
  while (n > 0) {
    const auto piece = static_cast<uInt>(std::min<std::size_t>(n, 1u << 30));
    value = ::crc32(value, bytes, piece);
    bytes += piece;
    n -= piece;
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace m4410
