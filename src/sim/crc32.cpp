#include "sim/crc32.h"

#include <zlib.h>

namespace m4410 {

void Crc32::Update(const void* data, std::size_t n) { value_ = Crc32Extend(value_, data, n); }

std::uint32_t Crc32Extend(std::uint32_t crc, const void* data, std::size_t n) {
  return static_cast<std::uint32_t>(::crc32_z(crc, static_cast<const Bytef*>(data), n));
}

}  // namespace m4410
