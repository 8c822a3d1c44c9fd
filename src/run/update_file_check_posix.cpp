#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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
  OpenedUpdateFile opened;
  opened.plain = looked && S_ISREG(st.st_mode);
  opened.no_write_bits = opened.plain && (st.st_mode & 0222) == 0;
  opened.size = looked ? static_cast<std::int64_t>(st.st_size) : 0;
  return opened;
}

}  // namespace m4410
