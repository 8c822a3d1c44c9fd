// The one check of an update file, made by both programs before the port is touched: only a
// plain, non-empty file the box protocol can announce is an update.
#pragma once

#include <string>

namespace m4410 {

enum class FileErrorCause {
  None,
  Generic,
  FileNotFound,
  BadPath,
  TooManyOpenFiles,
  AccessDenied,
  InvalidFile,
  RemoveCurrentDir,
  DirectoryFull,
  BadSeek,
  HardIO,
  SharingViolation,
  LockViolation,
  DiskFull,
  EndOfFile,
  NotPlainFile,  // ours: a folder, a pipe, a device or a socket, which the run could block on
  TraceFile,     // ours: the file the port trace is being written to
  Empty,         // ours: nothing to send
  TooLarge,      // ours: more than the header's 32-bit length can announce
};

// The command only reads the file. The window's Start opens it for reading and writing, as
// the operator's program always has, so a read-only file is refused there. A file still being
// written is refused by both where the system can tell (Windows' sharing modes).
enum class UpdateFileAccess { Read, ReadWrite };

// What the check lets other programs do with the file while it holds it open (Windows only;
// Linux has no sharing modes): the whole image may be read meanwhile, a part file not touched.
enum class FileSharing { OthersMayRead, None };

struct UpdateFileCheck {
  bool ok = false;
  FileErrorCause cause = FileErrorCause::None;
  bool named = true;  // false when the failure concerns no name (the close)
  std::string why;    // the reason in a sentence's words: "it is empty", the system's reason
};

// What the operator can do about a refusal of this cause, as a sentence; empty where the
// reason already says it.
std::string FileRefusalRemedy(FileErrorCause cause);

// Opens the existing file (never creating it) as access asks and closes it again, reading and
// writing nothing. A folder, a pipe, a device or a socket is refused without being opened, and
// so is the trace file being written (--trace).
UpdateFileCheck CheckUpdateFile(const std::string& path, UpdateFileAccess access,
                                FileSharing sharing = FileSharing::OthersMayRead);

// Linux: the cause for an errno value. Windows maps its own error codes inside the check.
FileErrorCause FileErrorCauseFromErrno(int error);

}  // namespace m4410
