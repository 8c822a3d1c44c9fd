#include <windows.h>

#include "os/files.h"
#include "run/port_environment.h"
#include "ui/start_checks.h"

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

bool NotPlainOrFolder(FileKind kind) {
  return kind != FileKind::Plain && kind != FileKind::Directory;
}

}  // namespace

FileCheckResult CheckFileOpens(const std::string& path, FileSharing sharing) {
  if (path.empty()) return {false, FileErrorCause::BadPath, true};
  // Looked at before it is opened for reading and writing: opening a device can act on it.
  FileFacts facts;
  if (LookAtPath(path, &facts, nullptr) && NotPlainOrFolder(facts.kind)) {
    return {false, FileErrorCause::NotPlainFile, true};
  }
  // Not shared for writing: a file another program is still writing (a copy in progress) is
  // refused with a sharing violation rather than sent half-made.
  const DWORD share = sharing == FileSharing::OthersMayRead ? FILE_SHARE_READ : 0;
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {false, CauseOf(::GetLastError()), true};
  const bool on_disk = ::GetFileType(file) == FILE_TYPE_DISK;
  if (!::CloseHandle(file)) return {false, CauseOf(::GetLastError()), false};
  if (!on_disk) return {false, FileErrorCause::NotPlainFile, true};
  // The trace grows while the run reads it: the box would be sent a log as its software.
  if (IsActiveTraceFile(path)) return {false, FileErrorCause::TraceFile, true};
  return {true, FileErrorCause::None, true};
}

}  // namespace m4410
