#include "ui/start_checks.h"

namespace m4410 {

FileChoice ChooseUpdateFile(bool complete, bool menu, bool program, bool table) {
  if (complete) return FileChoice::Complete;
  const int parts = int{menu} + int{program} + int{table};
  if (parts >= 2) return FileChoice::NotYet;
  if (menu) return FileChoice::Menu;
  if (program) return FileChoice::Program;
  if (table) return FileChoice::Table;
  return FileChoice::Nothing;
}

FileSharing SharingWhileChecked(FileChoice choice) {
  return choice == FileChoice::Program || choice == FileChoice::Table ? FileSharing::None
                                                                      : FileSharing::OthersMayRead;
}

std::string FileErrorText(FileErrorCause cause, std::string_view path) {
  const char* text = "An unknown error occurred while accessing %1.";
  switch (cause) {
    case FileErrorCause::None: text = "No error occurred."; break;
    case FileErrorCause::Generic: break;
    case FileErrorCause::FileNotFound: text = "%1 was not found."; break;
    case FileErrorCause::BadPath: text = "%1 contains an invalid path."; break;
    case FileErrorCause::TooManyOpenFiles:
      text = "%1 could not be opened because there are too many open files.";
      break;
    case FileErrorCause::AccessDenied: text = "Access to %1 was denied."; break;
    case FileErrorCause::InvalidFile:
      text = "An invalid file handle was associated with %1.";
      break;
    case FileErrorCause::RemoveCurrentDir:
      text = "%1 could not be removed because it is the current directory.";
      break;
    case FileErrorCause::DirectoryFull:
      text = "%1 could not be created because the directory is full.";
      break;
    case FileErrorCause::BadSeek: text = "Seek failed on %1"; break;
    case FileErrorCause::HardIO:
      text = "A hardware I/O error was reported while accessing %1.";
      break;
    case FileErrorCause::SharingViolation:
      text = "A sharing violation occurred while accessing %1.";
      break;
    case FileErrorCause::LockViolation:
      text = "A locking violation occurred while accessing %1.";
      break;
    case FileErrorCause::DiskFull: text = "Disk full while accessing %1."; break;
    case FileErrorCause::EndOfFile:
      text = "An attempt was made to access %1 past its end.";
      break;
    case FileErrorCause::NotPlainFile:
      text = "%1 is not a plain file. Only a plain file can be sent as an update.";
      break;
    case FileErrorCause::TraceFile:
      text = "%1 is the port trace file this program is writing. It cannot be sent as an update.";
      break;
    case FileErrorCause::Empty:
      text = "%1 is empty. An empty file is not an update.";
      break;
    case FileErrorCause::TooLarge:
      text = "%1 is larger than the 2 GiB the box protocol can announce. It cannot be sent as an "
             "update.";
      break;
  }
  // Filled by hand rather than with a formatter: a path may itself hold "%1" or "%2".
  std::string out = text;
  const std::string_view name = path.empty() ? std::string_view("an unnamed file") : path;
  const std::size_t at = out.find("%1");
  if (at != std::string::npos) out.replace(at, 2, name);
  return out;
}

}  // namespace m4410
