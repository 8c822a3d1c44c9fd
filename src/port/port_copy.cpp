#include "port/port_copy.h"

#include <filesystem>

namespace m4410 {

std::string PortCopyPath(const std::string& executable) {
  // From the program's own place rather than the configured prefix, which a package or
  // "cmake --install --prefix" may move: the layout below the prefix is what stays fixed.
  const std::filesystem::path self(executable);
  if (!self.is_absolute()) return {};
  return (self.parent_path() / M4410_PORT_COPY_FROM_BIN / self.filename())
      .lexically_normal()
      .string();
}

}  // namespace m4410
