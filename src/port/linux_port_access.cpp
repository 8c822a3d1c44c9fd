#include "port/linux_port_access.h"

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <string_view>
#include <system_error>

#include "port/parport_listing.h"
#include "port/port_driver.h"
#include "port/system_primitives.h"

namespace m4410 {

namespace {

constexpr unsigned kStandardPorts = 8;
constexpr unsigned kExtendedPorts = 3;
constexpr std::uint8_t kUndriven = 0xFF;

// /run/lock first; /tmp where that is not writable. Not TMPDIR: every instance, whoever
// runs it, must find the same file.
constexpr const char* kLockFolders[] = {"/run/lock", "/tmp"};
constexpr const char* kLockdownFile = "/sys/kernel/security/lockdown";

std::string ErrorName(int negative_errno) {
  return std::error_code(-negative_errno, std::generic_category()).message();
}

bool IsPermissionError(int negative_errno) {
  return negative_errno == -EPERM || negative_errno == -EACCES;
}

bool IsMissingDevice(int negative_errno) {
  return negative_errno == -ENOENT || negative_errno == -ENODEV || negative_errno == -ENXIO;
}

// The bracketed word of "none [integrity] confidentiality", when it forbids port access.
std::string ForbiddingLockdown(std::string_view text) {
  const std::size_t open = text.find('[');
  const std::size_t close = text.find(']', open);
  if (open == std::string_view::npos || close == std::string_view::npos) return {};
  const std::string_view mode = text.substr(open + 1, close - open - 1);
  if (mode == "integrity" || mode == "confidentiality") return std::string(mode);
  return {};
}

}  // namespace

LinuxPortAccess::LinuxPortAccess(PortAddresses addresses, SystemPrimitives& system)
    : addresses_(addresses), system_(system) {}

LinuxPortAccess::~LinuxPortAccess() { ReleaseAll(); }

std::string LinuxPortAccess::LockFileName(std::uint16_t base) {
  return "m4410-port-" + HexPort(base) + ".lock";
}

ClaimOutcome LinuxPortAccess::Claim() {
  if (claimed_) return ClaimOutcome::Claimed;
  if (!CheckFacility()) return ClaimOutcome::NoFacility;
  for (auto step : {&LinuxPortAccess::TakeLock, &LinuxPortAccess::TakeKernelPort,
                    &LinuxPortAccess::TakeRegisters}) {
    const ClaimOutcome outcome = (this->*step)();
    if (outcome != ClaimOutcome::Claimed) {
      ReleaseAll();
      return outcome;
    }
  }
  claimed_ = true;
  return ClaimOutcome::Claimed;
}

void LinuxPortAccess::Release() { ReleaseAll(); }

// What can be known before anything is taken: the architecture, lockdown and privilege.
bool LinuxPortAccess::CheckFacility() {
  if (!system_.ArchitectureHasPortIo()) {
    SetPortErrorText(
        "no port I/O on this architecture: the parallel port's registers can only be reached "
        "on an x86 PC.\n");
    return false;
  }
  if (const auto text = system_.ReadTextFile(kLockdownFile)) {
    const std::string mode = ForbiddingLockdown(*text);
    if (!mode.empty()) {
      SetPortErrorText("kernel lockdown (" + mode +
                       ") forbids raw port access. Start the kernel without lockdown: turn off "
                       "Secure Boot in the firmware, or its lockdown policy "
                       "(sudo mokutil --disable-validation).\n");
      return false;
    }
  }
  if (!system_.HasRawIoCapability()) {
    if (system_.EffectiveUserId() == 0) {
      SetPortErrorText(
          "running as root but without the CAP_SYS_RAWIO capability, which raw port access "
          "needs (a container or service manager has dropped it). Grant CAP_SYS_RAWIO to this "
          "program's container or service.\n");
    } else {
      std::string program = system_.ExecutablePath();
      if (program.empty()) program = "<program>";
      SetPortErrorText(
          "raw port access needs root or the CAP_SYS_RAWIO capability. Give the program the "
          "capability once: sudo setcap cap_sys_rawio+ep " +
          program + " (or, for one update from a terminal, run m4410 with sudo)\n");
    }
    return false;
  }
  return true;
}

ClaimOutcome LinuxPortAccess::TakeLock() {
  const std::string name = LockFileName(addresses_.base);
  // An existing lock file wins wherever it is, so instances agree even when only some of
  // them may create files in /run/lock. O_NOFOLLOW: the folders are world-writable and this
  // may run as root.
  int fd = -1;
  int error = -ENOENT;
  for (int flags : {O_RDONLY | O_CLOEXEC | O_NOFOLLOW,
                    O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_CREAT}) {
    for (const char* folder : kLockFolders) {
      const std::string path = std::string(folder) + "/" + name;
      fd = system_.Open(path, flags, 0644);
      if (fd >= 0) {
        lock_path_ = path;
        break;
      }
      if (error == -ENOENT) error = fd;
    }
    if (fd >= 0) break;
  }
  if (fd < 0) {
    SetPortErrorText("cannot create the lock file /run/lock/" + name + " (" + ErrorName(error) +
                     ") that keeps a second updater off the port. Make /run/lock or /tmp "
                     "writable for this program.\n");
    return ClaimOutcome::Refused;
  }
  const int locked = system_.Flock(fd, LOCK_EX | LOCK_NB);
  if (locked != 0) {
    system_.Close(fd);
    if (locked == -EWOULDBLOCK) {
      SetPortErrorText("the port " + HexPort(addresses_.base) +
                       " is in use by another instance of this program (it holds the lock "
                       "file " + lock_path_ + "). Close the other updater or wait for it to "
                       "finish.\n");
    } else {
      SetPortErrorText("cannot lock " + lock_path_ + " (" + ErrorName(locked) +
                       "), so the port cannot be kept from a second updater.\n");
    }
    lock_path_.clear();
    return ClaimOutcome::Refused;
  }
  lock_fd_ = fd;
  return ClaimOutcome::Claimed;
}

// Where the kernel has a parport for this base, take it exclusively through ppdev so that
// its printer driver and other users stay off the port while the box is updated.
ClaimOutcome LinuxPortAccess::TakeKernelPort() {
  for (const KernelParportFile& file : ReadKernelParportFiles(system_)) {
    const auto address = ParseParportBaseAddr(file.base_addr);
    if (address && address->base == addresses_.base) {
      parport_name_ = file.name;
      break;
    }
  }
  if (parport_name_.empty()) return ClaimOutcome::Claimed;
  const std::string device = "/dev/" + parport_name_;
  const int fd = system_.Open(device, O_RDWR | O_CLOEXEC, 0);
  if (fd < 0) {
    // Without the ppdev module there is no kernel claim to take.
    if (IsMissingDevice(fd)) return ClaimOutcome::Claimed;
    if (IsPermissionError(fd)) {
      SetPortErrorText("cannot open " + device + " (" + ErrorName(fd) +
                       "), through which the port is taken from the kernel's printer driver. "
                       "Run as root, or add the user to the lp group.\n");
      return ClaimOutcome::NoFacility;
    }
    SetPortErrorText("cannot open " + device + " (" + ErrorName(fd) + ").\n");
    return ClaimOutcome::Refused;
  }
  parport_fd_ = fd;
  // PPCLAIM alone would wait for a port that another driver holds; after PPEXCL the kernel
  // refuses at once (ENXIO) whenever anyone else is registered on the port.
  int result = system_.Ioctl(fd, PPEXCL);
  if (result >= 0) result = system_.Ioctl(fd, PPCLAIM);
  if (result < 0) {
    // ENXIO and EBUSY are how ppdev says someone else has the port; name anything else.
    const std::string detail =
        result == -ENXIO || result == -EBUSY ? "" : " (" + ErrorName(result) + ")";
    SetPortErrorText("the parallel port " + parport_name_ + " (" + HexPort(addresses_.base) +
                     ") is in use by another program or by the kernel's printer driver" +
                     detail + ". Stop that program, or unload the printer driver: sudo rmmod lp\n");
    return ClaimOutcome::Refused;
  }
  parport_claimed_ = true;
  return ClaimOutcome::Claimed;
}

ClaimOutcome LinuxPortAccess::TakeRegisters() {
  int ioperm_error = system_.IoPerm(addresses_.base, kStandardPorts, true);
  standard_granted_ = ioperm_error == 0;
  if (standard_granted_) {
    ioperm_error = system_.IoPerm(addresses_.extended, kExtendedPorts, true);
    extended_granted_ = ioperm_error == 0;
  }
  if (ioperm_error == 0) {
    registers_ = Registers::IoPerm;
    return ClaimOutcome::Claimed;
  }
  // Both ranges go the same way: give back a half grant before trying /dev/port.
  if (standard_granted_) system_.IoPerm(addresses_.base, kStandardPorts, false);
  standard_granted_ = false;

  const int fd = system_.Open("/dev/port", O_RDWR | O_CLOEXEC, 0);
  if (fd >= 0) {
    devport_fd_ = fd;
    registers_ = Registers::DevPort;
    return ClaimOutcome::Claimed;
  }
  const std::string detail =
      "(ioperm: " + ErrorName(ioperm_error) + "; /dev/port: " + ErrorName(fd) + ")";
  if (IsPermissionError(ioperm_error) || IsPermissionError(fd)) {
    SetPortErrorText("the kernel refused raw port access " + detail +
                     " although the program has CAP_SYS_RAWIO: kernel lockdown or a security "
                     "policy (seccomp, a container) forbids it. Lift that policy for this "
                     "program.\n");
  } else if (IsMissingDevice(fd)) {
    SetPortErrorText("no port I/O in this kernel: ioperm is not available and there is no "
                     "/dev/port " + detail +
                     ". Run on a kernel that offers port I/O (not a sandboxed or virtual "
                     "kernel without it).\n");
  } else {
    SetPortErrorText("cannot reach the port registers " + detail + ".\n");
  }
  return ClaimOutcome::NoFacility;
}

// Reverse order of taking: registers, kernel claim, lock.
void LinuxPortAccess::ReleaseAll() {
  if (extended_granted_) system_.IoPerm(addresses_.extended, kExtendedPorts, false);
  if (standard_granted_) system_.IoPerm(addresses_.base, kStandardPorts, false);
  extended_granted_ = standard_granted_ = false;
  if (devport_fd_ >= 0) system_.Close(devport_fd_);
  devport_fd_ = -1;
  registers_ = Registers::None;
  if (parport_claimed_) system_.Ioctl(parport_fd_, PPRELEASE);
  parport_claimed_ = false;
  if (parport_fd_ >= 0) system_.Close(parport_fd_);
  parport_fd_ = -1;
  parport_name_.clear();
  if (lock_fd_ >= 0) {
    system_.Flock(lock_fd_, LOCK_UN);
    system_.Close(lock_fd_);
  }
  lock_fd_ = -1;
  lock_path_.clear();
  claimed_ = false;
}

bool LinuxPortAccess::PortFor(PortRange range, unsigned offset, std::uint16_t* port) const {
  if (!claimed_) return false;
  if (range == PortRange::Standard && offset < kStandardPorts) {
    *port = static_cast<std::uint16_t>(addresses_.base + offset);
    return true;
  }
  if (range == PortRange::Extended && offset < kExtendedPorts) {
    *port = static_cast<std::uint16_t>(addresses_.extended + offset);
    return true;
  }
  return false;
}

std::uint8_t LinuxPortAccess::Read(PortRange range, unsigned offset) {
  std::uint16_t port = 0;
  if (!PortFor(range, offset, &port)) return kUndriven;
  if (registers_ == Registers::IoPerm) return system_.In(port);
  std::uint8_t byte = kUndriven;
  if (system_.PRead(devport_fd_, &byte, 1, port) != 1) return kUndriven;
  return byte;
}

void LinuxPortAccess::Write(PortRange range, unsigned offset, std::uint8_t value) {
  std::uint16_t port = 0;
  if (!PortFor(range, offset, &port)) return;
  if (registers_ == Registers::IoPerm) {
    system_.Out(port, value);
  } else {
    system_.PWrite(devport_fd_, &value, 1, port);
  }
}

}  // namespace m4410
