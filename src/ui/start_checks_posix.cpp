#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "run/port_environment.h"
#include "ui/start_checks.h"

namespace m4410 {

FileErrorCause FileErrorCauseFromErrno(int error) {
  switch (error) {
    case 0:
      return FileErrorCause::None;
    case ENOENT:
      return FileErrorCause::FileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
      return FileErrorCause::BadPath;
    case EMFILE:
    case ENFILE:
      return FileErrorCause::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
      return FileErrorCause::AccessDenied;
    case EBUSY:
    case ETXTBSY:
      return FileErrorCause::SharingViolation;
    default:
      return FileErrorCause::Generic;
  }
}

namespace {

// Directories are left to the open, which refuses them as the platform always has.
bool IsSpecialFile(mode_t mode) {
  return S_ISFIFO(mode) || S_ISCHR(mode) || S_ISBLK(mode) || S_ISSOCK(mode);
}

}  // namespace

FileCheckResult CheckFileOpens(const std::string& path, FileSharing /*Windows only*/) {
  if (path.empty()) return {false, FileErrorCause::BadPath, true};
  // Looked at before it is opened: opening a device can act on it, and the worker would
  // block for ever on a pipe with the port claimed and the link up.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {false, FileErrorCauseFromErrno(errno), true};
  if (IsSpecialFile(st.st_mode)) return {false, FileErrorCause::NotPlainFile, true};
  // Non-blocking and without taking a terminal, should the name change hands meanwhile.
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return {false, FileErrorCauseFromErrno(errno), true};
  const bool looked = ::fstat(fd, &st) == 0;
  const bool special = looked && IsSpecialFile(st.st_mode);
  const bool read_only = looked && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0;
  if (::close(fd) != 0) return {false, FileErrorCauseFromErrno(errno), false};
  if (special) return {false, FileErrorCause::NotPlainFile, true};
  // The trace grows while the run reads it: the box would be sent a log as its software.
  if (IsActiveTraceFile(path)) return {false, FileErrorCause::TraceFile, true};
  if (read_only) return {false, FileErrorCause::AccessDenied, true};
  return {true, FileErrorCause::None, true};
}

}  // namespace m4410
