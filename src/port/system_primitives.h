// The operating-system calls behind raw port access, behind one interface so that the Linux
// backend's claim, fallbacks and clean-up can be driven by a fake in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace m4410 {

// Calls that can fail return the negated errno value (-EPERM, ...) instead of setting errno,
// so a fake can script each failure without touching global state.
class SystemPrimitives {
 public:
  virtual ~SystemPrimitives() = default;

  // False where the processor has no separate I/O port space (anything but x86).
  virtual bool ArchitectureHasPortIo() = 0;
  // False where the kernel was built without ioperm (it answers ENOSYS).
  virtual bool KernelHasIoPerm() = 0;
  // ioperm(from, count, on): 0 or -errno.
  virtual int IoPerm(unsigned long from, unsigned long count, bool on) = 0;
  // inb/outb; only valid on ports that IoPerm has granted.
  virtual std::uint8_t In(std::uint16_t port) = 0;
  virtual void Out(std::uint16_t port, std::uint8_t value) = 0;

  // open(2) with O_* flags: a descriptor or -errno; OpenAt relative to a folder's descriptor.
  virtual int Open(const std::string& path, int flags, unsigned mode) = 0;
  virtual int OpenAt(int folder_fd, const std::string& name, int flags, unsigned mode) = 0;
  // mkdir(2): 0 or -errno.
  virtual int MakeFolder(const std::string& path, unsigned mode) = 0;
  struct Status {
    bool regular = false;
    bool folder = false;
    unsigned owner = 0;
    unsigned group = 0;
    unsigned mode = 0;  // permission bits
  };
  // fstat(2), fchmod(2), fchown(2) of the group only: 0 or -errno.
  virtual int StatusOf(int fd, Status* status) = 0;
  virtual int ChangeMode(int fd, unsigned mode) = 0;
  virtual int ChangeGroup(int fd, unsigned group) = 0;
  // The group's number, from the system's group database.
  virtual std::optional<unsigned> GroupId(const std::string& name) = 0;
  virtual int Close(int fd) = 0;
  // pread/pwrite: bytes moved or -errno.
  virtual long PRead(int fd, void* buffer, std::size_t count, std::int64_t offset) = 0;
  virtual long PWrite(int fd, const void* buffer, std::size_t count, std::int64_t offset) = 0;
  // ioctl without an argument (PPEXCL, PPCLAIM, PPRELEASE): >= 0 or -errno.
  virtual int Ioctl(int fd, unsigned long request) = 0;
  // An exclusive claim of bytes [first, first + count) of a file that may be open for reading
  // only, held by the open file itself (OFD locks) until its last descriptor closes: 0,
  // -EAGAIN when anyone holds an overlapping range, or another -errno.
  virtual int LockRange(int fd, std::uint64_t first, std::uint64_t count) = 0;

  // A small text file (sysfs, procfs) whole, or nothing when it cannot be read.
  virtual std::optional<std::string> ReadTextFile(const std::string& path) = 0;
  // Entry names of a folder, sorted; empty when it cannot be read.
  virtual std::vector<std::string> ListDirectory(const std::string& path) = 0;

  virtual unsigned EffectiveUserId() = 0;
  virtual unsigned RealUserId() = 0;
  // CAP_SYS_RAWIO in the effective set: what ioperm and /dev/port demand.
  virtual bool HasRawIoCapability() = 0;
  // The running program's file, for remedies that name it; empty if unknown.
  virtual std::string ExecutablePath() = 0;
  // access(2), with the real user's and group's rights: 0 or -errno.
  virtual int Access(const std::string& path, int mode) = 0;
};

// The real calls; one process-wide instance.
SystemPrimitives& RealSystemPrimitives();

}  // namespace m4410
