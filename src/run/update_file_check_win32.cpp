#include <windows.h>

#include "os/files.h"
#include "run/update_file_open.h"

namespace m4410 {

namespace {

// The causes the platform's file exception gives for each system error.
FileErrorCause CauseOf(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS: return FileErrorCause::None;
    case ERROR_FILE_NOT_FOUND: return FileErrorCause::FileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BAD_NETPATH:
      return FileErrorCause::BadPath;
    case ERROR_TOO_MANY_OPEN_FILES: return FileErrorCause::TooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_NETWORK_ACCESS_DENIED:
      return FileErrorCause::AccessDenied;
    case ERROR_INVALID_HANDLE: return FileErrorCause::InvalidFile;
    case ERROR_CURRENT_DIRECTORY: return FileErrorCause::RemoveCurrentDir;
    case ERROR_CANNOT_MAKE: return FileErrorCause::DirectoryFull;
    case ERROR_NEGATIVE_SEEK:
    case ERROR_SEEK_ON_DEVICE:
      return FileErrorCause::BadSeek;
    case ERROR_SHARING_VIOLATION: return FileErrorCause::SharingViolation;
    case ERROR_LOCK_VIOLATION: return FileErrorCause::LockViolation;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
      return FileErrorCause::DiskFull;
    case ERROR_HANDLE_EOF: return FileErrorCause::EndOfFile;
    case ERROR_CRC:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
      return FileErrorCause::HardIO;
    default: return FileErrorCause::Generic;
  }
}

OpenedUpdateFile Failed(DWORD error, bool named = true) {
  OpenedUpdateFile failed;
  failed.cause = CauseOf(error);
  if (failed.cause == FileErrorCause::None) failed.cause = FileErrorCause::Generic;
  failed.why = SystemErrorText(error);
  failed.named = named;
  return failed;
}

}  // namespace

OpenedUpdateFile OpenAndCloseUpdateFile(const std::string& path, UpdateFileAccess access,
                                        FileSharing sharing) {
  // Not shared for writing, whichever access: a file another program is still writing (a
  // download or a copy in progress) is refused with a sharing violation rather than sent
  // half-made. Readers may share it, except a part file the window holds to itself.
  const bool write = access == UpdateFileAccess::ReadWrite;
  const DWORD wanted = write ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  const DWORD share = !write || sharing == FileSharing::OthersMayRead ? FILE_SHARE_READ : 0;
  const HANDLE file = ::CreateFileA(path.c_str(), wanted, share, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed(::GetLastError());
  OpenedUpdateFile opened;
  LARGE_INTEGER size{};
  opened.plain = ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileSizeEx(file, &size);
  opened.size = opened.plain ? static_cast<std::int64_t>(size.QuadPart) : 0;
  if (!::CloseHandle(file)) return Failed(::GetLastError(), false);
  return opened;
}

}  // namespace m4410
