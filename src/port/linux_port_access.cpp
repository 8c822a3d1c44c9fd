#include "port/linux_port_access.h"

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <system_error>

#include "port/parport_listing.h"
#include "port/port_copy.h"
#include "port/port_driver.h"
#include "port/system_primitives.h"

namespace m4410 {

namespace {

constexpr unsigned kStandardPorts = 8;
constexpr unsigned kExtendedPorts = 3;
constexpr std::uint8_t kUndriven = 0xFF;

constexpr const char* kLockdownFile = "/sys/kernel/security/lockdown";
constexpr unsigned kLockMode = 0640;  // root:lp

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

std::string NoPortIoInKernel(int ioperm_error, int devport_error) {
  return "no port I/O in this kernel: ioperm is not available and there is no /dev/port "
         "(ioperm: " + ErrorName(ioperm_error) + "; /dev/port: " + ErrorName(devport_error) +
         "). Run on a kernel that offers port I/O (not a sandboxed or virtual kernel without "
         "it).\n";
}

}  // namespace

LinuxPortAccess::LinuxPortAccess(PortAddresses addresses, SystemPrimitives& system,
                                 const StartGrant& start)
    : addresses_(addresses), system_(system), start_(start) {}

LinuxPortAccess::~LinuxPortAccess() { ReleaseAll(); }

ClaimOutcome LinuxPortAccess::Claim() {
  if (claimed_) return ClaimOutcome::Claimed;
  if (const ClaimOutcome outcome = CheckFacility(); outcome != ClaimOutcome::Claimed) {
    return outcome;
  }
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
ClaimOutcome LinuxPortAccess::CheckFacility() {
  granted_at_start_ = false;
  if (!system_.ArchitectureHasPortIo()) {
    SetPortErrorText(
        "no port I/O on this architecture: the parallel port's registers can only be reached "
        "on an x86 PC.\n");
    return ClaimOutcome::NoFacility;
  }
  // A kernel without port I/O is the cause for every user, whatever port or capability.
  if (!system_.KernelHasIoPerm()) {
    const int devport = system_.Open("/dev/port", O_PATH | O_CLOEXEC, 0);
    if (devport >= 0) system_.Close(devport);
    if (IsMissingDevice(devport)) {
      SetPortErrorText(NoPortIoInKernel(-ENOSYS, devport));
      return ClaimOutcome::NoFacility;
    }
  }
  // Before anything else: an ordinary user's unlisted port is refused whatever else holds.
  if (system_.RealUserId() != 0) {
    const auto listed = KernelListedPorts(ReadKernelParportFiles(system_));
    if (!PortIsListed(addresses_, listed)) {
      SetPortErrorText(UnlistedPortRefusal(addresses_, listed));
      return ClaimOutcome::Refused;
    }
  }
  if (const auto text = system_.ReadTextFile(kLockdownFile)) {
    const std::string mode = ForbiddingLockdown(*text);
    if (!mode.empty()) {
      SetPortErrorText("kernel lockdown (" + mode +
                       ") forbids raw port access. Start the kernel without lockdown: turn off "
                       "Secure Boot in the firmware, or its lockdown policy "
                       "(sudo mokutil --disable-validation).\n");
      return ClaimOutcome::NoFacility;
    }
  }
  return CheckUser();
}

// The I/O permission an ordinary user's program took at start serves every run; without it
// only the capability itself will do.
ClaimOutcome LinuxPortAccess::CheckUser() {
  const auto& granted = start_.granted;
  if (granted && granted->base == addresses_.base && granted->extended == addresses_.extended) {
    granted_at_start_ = true;
    return ClaimOutcome::Claimed;
  }
  if (!start_.failure.empty()) {
    SetPortErrorText(start_.failure);
    return ClaimOutcome::NoFacility;
  }
  if (system_.HasRawIoCapability()) return ClaimOutcome::Claimed;
  if (system_.EffectiveUserId() == 0) {
    SetPortErrorText(
        "running as root but without the CAP_SYS_RAWIO capability, which raw port access "
        "needs (a container or service manager has dropped it). Grant CAP_SYS_RAWIO to this "
        "program's container or service.\n");
    return ClaimOutcome::NoFacility;
  }
  std::string program = system_.ExecutablePath();
  // A program with a port copy that this user may not run (privilege/port_copy_handoff.h):
  // the group is what is missing, whether or not the copy has its capability yet.
  const std::string copy = PortCopyPath(program);
  const bool copy_found = !copy.empty() && copy != program && system_.Access(copy, F_OK) == 0;
  if (copy_found) program = copy;
  if (program.empty()) program = "<program>";
  if (start_.dropped) {
    SetPortErrorText("the port " + HexPort(addresses_.base) +
                     " is not the one this program took at start, and it holds no capability "
                     "any more. Start it again with this port.\n");
  } else if (copy_found && system_.Access(copy, X_OK) != 0) {
    SetPortErrorText(
        "port access belongs to the group lp, and this login is not in it: only its members "
        "may run " + copy + ", which takes the port. An administrator adds a user to it once "
        "(sudo usermod -aG lp NAME, or sudo adduser NAME lp); log in again after being added, "
        "as a new group counts from the next login. The simulated box (--port sim) needs no "
        "group.\n");
  } else {
    SetPortErrorText(
        "raw port access needs root or the CAP_SYS_RAWIO capability. An administrator gives "
        "it to the program once: sudo chown root:lp " + program + "; sudo chmod 0750 " +
        program + "; sudo setcap cap_sys_rawio+ep " + program +
        " (or, for one update from a terminal, run m4410 with sudo)\n");
  }
  return ClaimOutcome::NoFacility;
}

// The lock file must be root's regular file in root's own folder: anything else there (a
// pipe, a link, another user's file) is refused at once, never waited on or worked around.
int LinuxPortAccess::OpenLockFile() {
  const std::string lock = kLockPath;
  const bool root = system_.EffectiveUserId() == 0;
  if (root) system_.MakeFolder(kLockFolder, 0755);  // already there is fine
  const int folder =
      system_.Open(kLockFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
  if (folder < 0) {
    SetPortErrorText(
        std::string("cannot open the lock folder ") + kLockFolder + " (" + ErrorName(folder) +
        "), which keeps a second updater off the port. The package's tmpfiles entry makes it "
        "at boot (sudo systemd-tmpfiles --create marlovine-updater.conf); a run as root makes "
        "it too.\n");
    return -1;
  }
  SystemPrimitives::Status status;
  if (system_.StatusOf(folder, &status) != 0 || !status.folder || status.owner != 0 ||
      (status.mode & 022) != 0) {
    system_.Close(folder);
    SetPortErrorText(std::string("the lock folder ") + kLockFolder +
                     " is not root's own folder, so anyone could replace the lock in it. "
                     "Remove it: sudo rm -r " + kLockFolder + "\n");
    return -1;
  }
  // Read only: the claim needs no write access, so operators in lp get none, and no member
  // can grow the file until /run is full.
  int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  if (root) flags |= O_CREAT;
  const int fd = system_.OpenAt(folder, kLockName, flags, kLockMode);
  system_.Close(folder);
  if (fd < 0) {
    std::string remedy = ".";
    if (IsPermissionError(fd)) remedy = ": add the user to the lp group (sudo usermod -aG lp NAME).";
    if (fd == -ELOOP) remedy = ": it is a link. Remove it: sudo rm " + lock;
    if (fd == -ENOENT) remedy = ": it is made at boot by the package's tmpfiles entry, or by a run as root.";
    SetPortErrorText("cannot open the lock file " + lock + " (" + ErrorName(fd) +
                     ") that keeps a second updater off the port" + remedy + "\n");
    return -1;
  }
  if (system_.StatusOf(fd, &status) != 0 || !status.regular || status.owner != 0) {
    system_.Close(fd);
    SetPortErrorText("the lock file " + lock +
                     " is not root's plain file, so it cannot keep a second updater off the "
                     "port. Remove it: sudo rm " + lock + "\n");
    return -1;
  }
  if (root) {
    // Whatever the umask of the run that made it (or an older version's 0660), operators in
    // lp may open it and only that.
    if (status.mode != kLockMode) system_.ChangeMode(fd, kLockMode);
    if (const auto lp = system_.GroupId("lp"); lp && status.group != *lp) {
      system_.ChangeGroup(fd, *lp);
    }
  }
  return fd;
}

ClaimOutcome LinuxPortAccess::TakeLock() {
  const int fd = OpenLockFile();
  if (fd < 0) return ClaimOutcome::NoFacility;
  int locked = system_.LockRange(fd, addresses_.base, kStandardPorts);
  if (locked == 0) locked = system_.LockRange(fd, addresses_.extended, kExtendedPorts);
  if (locked != 0) {
    system_.Close(fd);
    if (locked == -EAGAIN) {
      SetPortErrorText("the port " + HexPort(addresses_.base) + "," +
                       HexPort(addresses_.extended) +
                       " is in use by another instance of this program, on these ports or on "
                       "ports overlapping them (it holds them in the lock file " +
                       std::string(kLockPath) +
                       "). Close the other updater or wait for it to finish.\n");
    } else {
      SetPortErrorText("cannot lock " + std::string(kLockPath) + " (" + ErrorName(locked) +
                       "), so the port cannot be kept from a second updater.\n");
    }
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
  // Taken for the whole process at start; nothing to take or give back per run.
  if (granted_at_start_) {
    registers_ = Registers::IoPerm;
    return ClaimOutcome::Claimed;
  }
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

  // /dev/port reaches every port there is: root's alone.
  const int fd = system_.RealUserId() == 0 ? system_.Open("/dev/port", O_RDWR | O_CLOEXEC, 0)
                                           : -EPERM;
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
    SetPortErrorText(NoPortIoInKernel(ioperm_error, fd));
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
  if (lock_fd_ >= 0) system_.Close(lock_fd_);  // the last descriptor: the ranges are free
  lock_fd_ = -1;
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
