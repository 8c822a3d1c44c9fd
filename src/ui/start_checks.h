// The parts of the Start command that do not need a window: which file the check boxes
// choose, the open-and-close check of that file, and the texts of its refusals and reports.
#pragma once

#include <string>
#include <string_view>

namespace m4410 {

inline constexpr char kNotYetText[] = "To be implemented in next version";
inline constexpr char kNothingChosenText[] = "Please select some file(s) to upload!";
inline constexpr char kStillFinishingText[] =
    "The previous update is still finishing. Please press Start again in a moment.";

enum class FileChoice { Complete, Menu, Program, Table, NotYet, Nothing };

// Complete wins over everything; otherwise exactly one part file is a choice, two or more
// are not offered yet, and none is nothing.
FileChoice ChooseUpdateFile(bool complete, bool menu, bool program, bool table);

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
  NotPlainFile,  // ours: a pipe, a device or a socket, which the run could block on
  TraceFile,     // ours: the file the port trace is being written to
};

// Linux: the cause for an errno value. Windows maps its own error codes inside the check.
FileErrorCause FileErrorCauseFromErrno(int error);

// The report's text with %1 filled: the path, or "an unnamed file" for an empty one.
std::string FileErrorText(FileErrorCause cause, std::string_view path);

struct FileCheckResult {
  bool ok = false;
  FileErrorCause cause = FileErrorCause::None;
  bool named = true;  // false when the failure concerns no name (the close)
};

// What the check lets other programs do with the file while it holds it open: the whole image
// may be read meanwhile, a part file not touched at all. Only Windows has sharing modes; on
// Linux every choice opens alike.
enum class FileSharing { OthersMayRead, None };
FileSharing SharingWhileChecked(FileChoice choice);

// Opens an existing file for reading and writing (never creating it) with that sharing and
// closes it again, reading and writing nothing. A regular file without any write permission
// bit is refused as read-only, for every user. A pipe, a device or a socket is refused as NotPlainFile without
// being opened, and the trace file being written (--trace) as TraceFile.
FileCheckResult CheckFileOpens(const std::string& path,
                               FileSharing sharing = FileSharing::OthersMayRead);

}  // namespace m4410
