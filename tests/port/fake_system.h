// A scripted stand-in for the system calls behind raw port access. It keeps what is held
// (descriptors, locks, port grants, parport claims) so tests can see that nothing leaks, and
// a log of every call in order.
#pragma once

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "port/parport_listing.h"
#include "port/system_primitives.h"

namespace m4410 {

class FakeSystem final : public SystemPrimitives {
 public:
  // Script.
  bool has_port_io = true;
  bool has_ioperm = true;  // false: a kernel built without the call (ENOSYS)
  bool has_capability = true;
  unsigned euid = 0;
  unsigned ruid = 0;
  unsigned umask = 022;
  std::string executable = "/usr/bin/m4410";
  std::map<std::string, std::string> files;                      // ReadTextFile
  std::map<std::string, std::vector<std::string>> folders;       // ListDirectory
  std::set<std::string> existing;                                // found without O_CREAT
  std::map<std::string, int> open_errors;                        // path -> -errno
  std::set<std::string> links;                                   // refused by O_NOFOLLOW
  std::map<std::string, Status> statuses;                        // regular root 0640 if absent
  std::map<unsigned long, int> ioperm_errors;                    // first port -> -errno
  std::map<unsigned long, int> ioctl_errors;                     // request -> -errno
  std::map<std::uint16_t, std::uint8_t> ports;                   // register contents
  std::map<std::string, int> runnable;  // Access(X_OK) there, 0 or -errno; others do not exist

  // What is held now.
  std::map<int, std::string> open_fds;
  struct RangeLock {
    std::string path;
    int fd;
    std::uint64_t first;
    std::uint64_t count;
  };
  std::vector<RangeLock> locks;
  std::set<std::pair<unsigned long, unsigned long>> grants;
  std::set<int> claimed_parports;
  // Every call, in order; accesses to ports that were never granted.
  std::vector<std::string> log;
  int ungranted_accesses = 0;

  bool NothingHeld() const {
    return open_fds.empty() && locks.empty() && grants.empty() && claimed_parports.empty();
  }

  // A kernel parport for the given base, with its ppdev node.
  void AddKernelPort(const std::string& name, unsigned base, unsigned extended) {
    folders["/proc/sys/dev/parport"].push_back(name);
    files["/proc/sys/dev/parport/" + name + "/base-addr"] =
        std::to_string(base) + "\t" + std::to_string(extended) + "\n";
    existing.insert("/dev/" + name);
  }

  bool ArchitectureHasPortIo() override { return has_port_io; }
  bool KernelHasIoPerm() override { return has_ioperm; }

  int IoPerm(unsigned long from, unsigned long count, bool on) override {
    log.push_back(std::string("ioperm ") + (on ? "on " : "off ") + HexPort(from) + " " +
                  std::to_string(count));
    if (!has_ioperm) return -ENOSYS;
    if (!on) {
      grants.erase({from, count});
      return 0;
    }
    if (auto it = ioperm_errors.find(from); it != ioperm_errors.end()) return it->second;
    grants.insert({from, count});
    return 0;
  }

  std::uint8_t In(std::uint16_t port) override {
    log.push_back("in " + HexPort(port));
    if (!Granted(port)) ++ungranted_accesses;
    return ports[port];
  }

  void Out(std::uint16_t port, std::uint8_t value) override {
    log.push_back("out " + HexPort(port) + " " + HexPort(value));
    if (!Granted(port)) ++ungranted_accesses;
    ports[port] = value;
  }

  int Open(const std::string& path, int flags, unsigned mode) override {
    log.push_back("open " + path);
    if (auto it = open_errors.find(path); it != open_errors.end()) return it->second;
    if ((flags & O_NOFOLLOW) && links.count(path)) return -ELOOP;
    if (!(flags & O_CREAT) && !existing.count(path)) return -ENOENT;
    if ((flags & O_DIRECTORY) && !statuses[path].folder) return -ENOTDIR;
    if (!(flags & O_CLOEXEC)) ++opened_without_cloexec;
    if (!existing.count(path)) {
      statuses[path] = Status{true, false, euid, 0, mode & ~umask};
      existing.insert(path);
    }
    const int fd = next_fd_++;
    open_fds[fd] = path;
    return fd;
  }

  int OpenAt(int folder_fd, const std::string& name, int flags, unsigned mode) override {
    if (!open_fds.count(folder_fd)) return -EBADF;
    return Open(PathOf(folder_fd) + "/" + name, flags, mode);
  }

  int MakeFolder(const std::string& path, unsigned mode) override {
    log.push_back("mkdir " + path);
    if (existing.count(path)) return -EEXIST;
    existing.insert(path);
    statuses[path] = Status{false, true, euid, 0, mode & ~umask};
    return 0;
  }

  int StatusOf(int fd, Status* status) override {
    if (!open_fds.count(fd)) return -EBADF;
    *status = StatusAt(PathOf(fd));
    return 0;
  }

  int ChangeMode(int fd, unsigned mode) override {
    log.push_back("chmod " + PathOf(fd));
    StatusAt(PathOf(fd)).mode = mode;
    return 0;
  }

  int ChangeGroup(int fd, unsigned group) override {
    log.push_back("chgrp " + PathOf(fd));
    StatusAt(PathOf(fd)).group = group;
    return 0;
  }

  std::optional<unsigned> GroupId(const std::string& name) override {
    if (name == "lp") return 7;
    return std::nullopt;
  }

  int Close(int fd) override {
    log.push_back("close " + PathOf(fd));
    std::erase_if(locks, [fd](const RangeLock& lock) { return lock.fd == fd; });
    return open_fds.erase(fd) ? 0 : -EBADF;
  }

  long PRead(int fd, void* buffer, std::size_t count, std::int64_t offset) override {
    log.push_back("pread " + PathOf(fd) + " " + HexPort(static_cast<unsigned>(offset)) + " " +
                  std::to_string(count));
    if (PathOf(fd) != "/dev/port" || count != 1) return -EINVAL;
    *static_cast<std::uint8_t*>(buffer) = ports[static_cast<std::uint16_t>(offset)];
    return 1;
  }

  long PWrite(int fd, const void* buffer, std::size_t count, std::int64_t offset) override {
    const std::uint8_t value = *static_cast<const std::uint8_t*>(buffer);
    log.push_back("pwrite " + PathOf(fd) + " " + HexPort(static_cast<unsigned>(offset)) + " " +
                  HexPort(value) + " " + std::to_string(count));
    if (PathOf(fd) != "/dev/port" || count != 1) return -EINVAL;
    ports[static_cast<std::uint16_t>(offset)] = value;
    return 1;
  }

  int Ioctl(int fd, unsigned long request) override {
    const char* name = request == PPEXCL    ? "PPEXCL"
                       : request == PPCLAIM   ? "PPCLAIM"
                       : request == PPRELEASE ? "PPRELEASE"
                                              : "other";
    log.push_back(std::string("ioctl ") + name + " " + PathOf(fd));
    if (!open_fds.count(fd)) return -EBADF;
    if (auto it = ioctl_errors.find(request); it != ioctl_errors.end()) return it->second;
    if (request == PPCLAIM) claimed_parports.insert(fd);
    if (request == PPRELEASE) claimed_parports.erase(fd);
    return 0;
  }

  int LockRange(int fd, std::uint64_t first, std::uint64_t count) override {
    const std::string path = PathOf(fd);
    log.push_back("lock " + path + " " + HexPort(static_cast<unsigned>(first)) + " " +
                  std::to_string(count));
    for (const RangeLock& held : locks) {
      if (held.path == path && held.fd != fd && first < held.first + held.count &&
          held.first < first + count) {
        return -EAGAIN;
      }
    }
    locks.push_back({path, fd, first, count});
    return 0;
  }

  std::optional<std::string> ReadTextFile(const std::string& path) override {
    if (auto it = files.find(path); it != files.end()) return it->second;
    return std::nullopt;
  }

  std::vector<std::string> ListDirectory(const std::string& path) override {
    if (auto it = folders.find(path); it != folders.end()) return it->second;
    return {};
  }

  unsigned EffectiveUserId() override { return euid; }
  unsigned RealUserId() override { return ruid; }
  bool HasRawIoCapability() override { return has_capability; }
  std::string ExecutablePath() override { return executable; }
  int Access(const std::string& path, int mode) override {
    const auto it = runnable.find(path);
    if (it == runnable.end()) return -ENOENT;
    return (mode & X_OK) ? it->second : 0;
  }

  int opened_without_cloexec = 0;

 private:
  Status& StatusAt(const std::string& path) {
    return statuses.try_emplace(path, Status{true, false, 0, 0, 0640}).first->second;
  }

  std::string PathOf(int fd) const {
    auto it = open_fds.find(fd);
    return it == open_fds.end() ? "fd" + std::to_string(fd) : it->second;
  }

  bool Granted(std::uint16_t port) const {
    for (const auto& [from, count] : grants) {
      if (port >= from && port < from + count) return true;
    }
    return false;
  }

  int next_fd_ = 3;
};

}  // namespace m4410
