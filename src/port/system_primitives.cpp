#include "port/system_primitives.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define M4410_HAS_PORT_IO 1
#else
#define M4410_HAS_PORT_IO 0
#endif

namespace m4410 {

namespace {

int ResultOrErrno(long result) { return result < 0 ? -errno : static_cast<int>(result); }

class RealPrimitives final : public SystemPrimitives {
 public:
  bool ArchitectureHasPortIo() override { return M4410_HAS_PORT_IO != 0; }

  // An ioperm of no ports changes nothing; a kernel that has the call refuses it as invalid.
  bool KernelHasIoPerm() override { return IoPerm(0, 0, false) != -ENOSYS; }

  int IoPerm(unsigned long from, unsigned long count, bool on) override {
#if M4410_HAS_PORT_IO
    return ResultOrErrno(ioperm(from, count, on ? 1 : 0));
#else
    (void)from;
    (void)count;
    (void)on;
    return -ENOSYS;
#endif
  }

  std::uint8_t In(std::uint16_t port) override {
#if M4410_HAS_PORT_IO
    return inb(port);
#else
    (void)port;
    return 0xFF;
#endif
  }

  void Out(std::uint16_t port, std::uint8_t value) override {
#if M4410_HAS_PORT_IO
    outb(value, port);
#else
    (void)port;
    (void)value;
#endif
  }

  int Open(const std::string& path, int flags, unsigned mode) override {
    int fd;
    do {
      fd = ::open(path.c_str(), flags, static_cast<mode_t>(mode));
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? -errno : fd;
  }

  int OpenAt(int folder_fd, const std::string& name, int flags, unsigned mode) override {
    int fd;
    do {
      fd = ::openat(folder_fd, name.c_str(), flags, static_cast<mode_t>(mode));
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? -errno : fd;
  }

  int MakeFolder(const std::string& path, unsigned mode) override {
    return ResultOrErrno(::mkdir(path.c_str(), static_cast<mode_t>(mode)));
  }

  int StatusOf(int fd, Status* status) override {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return -errno;
    status->regular = S_ISREG(info.st_mode);
    status->folder = S_ISDIR(info.st_mode);
    status->owner = static_cast<unsigned>(info.st_uid);
    status->group = static_cast<unsigned>(info.st_gid);
    status->mode = static_cast<unsigned>(info.st_mode & 07777);
    return 0;
  }

  int ChangeMode(int fd, unsigned mode) override {
    return ResultOrErrno(::fchmod(fd, static_cast<mode_t>(mode)));
  }

  int ChangeGroup(int fd, unsigned group) override {
    return ResultOrErrno(::fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(group)));
  }

  std::optional<unsigned> GroupId(const std::string& name) override {
    struct group entry {};
    struct group* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
      return std::nullopt;
    }
    return static_cast<unsigned>(found->gr_gid);
  }

  // No retry on EINTR: on Linux the descriptor is gone either way.
  int Close(int fd) override { return ResultOrErrno(::close(fd)); }

  long PRead(int fd, void* buffer, std::size_t count, std::int64_t offset) override {
    ssize_t n;
    do {
      n = ::pread(fd, buffer, count, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -errno : static_cast<long>(n);
  }

  long PWrite(int fd, const void* buffer, std::size_t count, std::int64_t offset) override {
    ssize_t n;
    do {
      n = ::pwrite(fd, buffer, count, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -errno : static_cast<long>(n);
  }

  int Ioctl(int fd, unsigned long request) override {
    int result;
    do {
      result = ::ioctl(fd, request);
    } while (result < 0 && errno == EINTR);
    return result < 0 ? -errno : result;
  }

  int LockRange(int fd, std::uint64_t first, std::uint64_t count) override {
    // A write lock needs a descriptor open for writing, and so a lock file its users could
    // fill /run with. A read lock needs none, but is shared: it is taken, then the range is
    // asked for as if for writing, which any other holder's lock would stand in the way of.
    // Two claims at the same moment may both give way; two never both hold.
    struct flock range {};
    range.l_type = F_RDLCK;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(first);
    range.l_len = static_cast<off_t>(count);
    if (::fcntl(fd, F_OFD_SETLK, &range) != 0) {
      return errno == EACCES ? -EAGAIN : -errno;  // both mean "held elsewhere" for F_SETLK
    }
    struct flock others = range;
    others.l_type = F_WRLCK;
    int result = 0;
    if (::fcntl(fd, F_OFD_GETLK, &others) != 0) {
      result = -errno;
    } else if (others.l_type != F_UNLCK) {
      result = -EAGAIN;
    }
    if (result != 0) {
      range.l_type = F_UNLCK;
      ::fcntl(fd, F_OFD_SETLK, &range);
    }
    return result;
  }

  std::optional<std::string> ReadTextFile(const std::string& path) override {
    constexpr std::size_t kLimit = 1 << 20;  // far above any sysfs or procfs text used here
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text;
    char chunk[4096];
    while (text.size() < kLimit && in.read(chunk, sizeof chunk).gcount() > 0) {
      text.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) return std::nullopt;
    return text;
  }

  std::vector<std::string> ListDirectory(const std::string& path) override {
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator it(path, error);
    if (error) return names;
    for (const auto end = std::filesystem::directory_iterator(); it != end; it.increment(error)) {
      if (error) break;
      names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  unsigned EffectiveUserId() override { return static_cast<unsigned>(::geteuid()); }
  unsigned RealUserId() override { return static_cast<unsigned>(::getuid()); }

  bool HasRawIoCapability() override {
    __user_cap_header_struct header{};
    header.version = _LINUX_CAPABILITY_VERSION_3;
    header.pid = 0;
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    return (data[CAP_TO_INDEX(CAP_SYS_RAWIO)].effective & CAP_TO_MASK(CAP_SYS_RAWIO)) != 0;
  }

  std::string ExecutablePath() override {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
  }

  int Access(const std::string& path, int mode) override {
    return ResultOrErrno(::access(path.c_str(), mode));
  }
};

}  // namespace

SystemPrimitives& RealSystemPrimitives() {
  static RealPrimitives primitives;
  return primitives;
}

}  // namespace m4410
