// The system's half of the update-file check: one open and close, and what opened.
#pragma once

#include <cstdint>
#include <string>

#include "run/update_file_check.h"

namespace m4410 {

struct OpenedUpdateFile {
  FileErrorCause cause = FileErrorCause::None;  // None: it opened and closed
  std::string why;                              // the system's reason when it did not
  bool named = true;                            // false for a failed close
  bool plain = false;                           // what opened is a plain file on a disk
  bool no_write_bits = false;                   // Linux: a plain file nobody may write
  std::int64_t size = 0;
};

OpenedUpdateFile OpenAndCloseUpdateFile(const std::string& path, UpdateFileAccess access,
                                        FileSharing sharing);

}  // namespace m4410
