#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "os/files.h"
#include "run/update_file_open.h"

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

OpenedUpdateFile Failed(int error, bool named = true) {
  OpenedUpdateFile failed;
  failed.cause = FileErrorCauseFromErrno(error);
  if (failed.cause == FileErrorCause::None) failed.cause = FileErrorCause::Generic;
  failed.why = SystemErrorText(static_cast<unsigned long>(error));
  failed.named = named;
  return failed;
}

// Whether another program has the file open for writing (a download still arriving), where
// the system can tell: a read lease is refused while anyone holds it open for writing. Only
// the file's owner (or a holder of CAP_LEASE) may ask, and not every file system answers;
// where it cannot be asked, nothing is known and the file is let through.
bool HeldOpenForWriting(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  // A writer opening it in the moment the lease stands breaks it with a signal, SIGIO unless
  // told otherwise, which would end the program: SIGURG is ignored unless caught.
  ::fcntl(fd, F_SETSIG, SIGURG);
  const bool held = ::fcntl(fd, F_SETLEASE, F_RDLCK) != 0 && errno == EAGAIN;
  if (!held) ::fcntl(fd, F_SETLEASE, F_UNLCK);
  ::close(fd);
  return held;
}

}  // namespace

OpenedUpdateFile OpenAndCloseUpdateFile(const std::string& path, UpdateFileAccess access,
                                        FileSharing /*Windows only*/) {
  // Non-blocking and without taking a terminal, should the name change hands meanwhile.
  const int mode = access == UpdateFileAccess::ReadWrite ? O_RDWR : O_RDONLY;
  const int fd = ::open(path.c_str(), mode | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return Failed(errno);
  struct stat st {};
  const bool looked = ::fstat(fd, &st) == 0;
  if (::close(fd) != 0) return Failed(errno, false);
  // Asked once the check's own descriptor is closed, which would count as a writer itself.
  if (looked && S_ISREG(st.st_mode) && HeldOpenForWriting(path)) {
    OpenedUpdateFile held;
    held.cause = FileErrorCause::SharingViolation;
    held.why = "another program has it open for writing";
    return held;
  }
  OpenedUpdateFile opened;
  opened.plain = looked && S_ISREG(st.st_mode);
  opened.no_write_bits = opened.plain && (st.st_mode & 0222) == 0;
  opened.size = looked ? static_cast<std::int64_t>(st.st_size) : 0;
  return opened;
}

}  // namespace m4410
