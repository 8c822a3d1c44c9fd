#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "support/unusual_files.h"

namespace m4410 {

UnusualFiles::UnusualFiles(const std::filesystem::path& dir) {
  const std::string pipe = (dir / "pipe").string();
  if (::mkfifo(pipe.c_str(), 0600) == 0) files_.push_back({pipe, "a named pipe"});
  const std::string socket_path = (dir / "socket").string();
  socket_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_path.c_str());
  if (socket_ >= 0 &&
      ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    files_.push_back({socket_path, "a socket"});
  }
  files_.push_back({"/dev/zero", "a character device"});
}

UnusualFiles::~UnusualFiles() {
  if (socket_ >= 0) ::close(socket_);
}

std::string MissingFileReason() { return std::strerror(ENOENT); }

// Reading this process's memory from address 0 fails with EIO, yet the file is plain.
std::string UnreadablePlainFile() { return "/proc/self/mem"; }

bool MakeSparseFile(const std::filesystem::path& path, std::int64_t length) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  struct stat info {};
  const bool sparse = ::ftruncate(fd, static_cast<off_t>(length)) == 0 &&
                      ::fstat(fd, &info) == 0 && info.st_blocks < 1024;
  ::close(fd);
  if (!sparse) std::filesystem::remove(path);
  return sparse;
}

}  // namespace m4410
