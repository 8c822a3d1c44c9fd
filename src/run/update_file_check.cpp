#include "run/update_file_check.h"

#include <cstdint>
#include <limits>
#include <utility>

#include "os/files.h"
#include "run/port_environment.h"
#include "run/update_file_open.h"

namespace m4410 {

namespace {

UpdateFileCheck Refuse(FileErrorCause cause, std::string why, bool named = true) {
  return {false, cause, named, std::move(why)};
}

UpdateFileCheck NotPlain(FileKind kind) {
  return Refuse(FileErrorCause::NotPlainFile,
                std::string("it is ") + FileKindText(kind) + "; only a plain file can be sent");
}

}  // namespace

std::string FileRefusalRemedy(FileErrorCause cause) {
  if (cause != FileErrorCause::SharingViolation) return {};
  return "Close the program that is still writing the file, or wait until the copy ends, then "
         "try again.";
}

UpdateFileCheck CheckUpdateFile(const std::string& path, UpdateFileAccess access,
                                FileSharing sharing) {
  if (path.empty()) return Refuse(FileErrorCause::BadPath, "no file is named");
  // Looked at before it is opened: opening a device can act on it, and the worker would
  // block for ever on a pipe with the port claimed and the link up. A path that cannot be
  // looked at is left to the open, which names the reason.
  FileFacts facts;
  if (LookAtPath(path, &facts, nullptr) && facts.kind != FileKind::Plain) return NotPlain(facts.kind);

  // The trace grows while the run reads it: the box would be sent a log as its software. Named
  // as such before the open, which would see this program's own writer.
  if (IsActiveTraceFile(path)) {
    return Refuse(FileErrorCause::TraceFile, "it is the port trace this program is writing");
  }
  // The file that opened is the one to judge, in case the name changed hands meanwhile.
  const OpenedUpdateFile opened = OpenAndCloseUpdateFile(path, access, sharing);
  if (opened.cause != FileErrorCause::None) return Refuse(opened.cause, opened.why, opened.named);
  if (!opened.plain) return NotPlain(FileKind::Other);
  // Refused for every user, root too, as the operator's program always has.
  if (access == UpdateFileAccess::ReadWrite && opened.no_write_bits) {
    return Refuse(FileErrorCause::AccessDenied, "it is read-only");
  }
  // An empty image is never an update: the box would take a header with nothing behind it.
  if (opened.size == 0) return Refuse(FileErrorCause::Empty, "it is empty");
  if (opened.size > std::numeric_limits<std::int32_t>::max()) {
    return Refuse(FileErrorCause::TooLarge,
                  "it is larger than the 2 GiB the box protocol can announce");
  }
  return {true, FileErrorCause::None, true, {}};
}

}  // namespace m4410
