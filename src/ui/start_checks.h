// The parts of the Start command that do not need a window: which file the check boxes
// choose and the texts of its refusals and of the file check's reports (the check itself is
// run/update_file_check.h, the same for the command).
#pragma once

#include <string>
#include <string_view>

#include "run/update_file_check.h"

namespace m4410 {

inline constexpr char kNotYetText[] = "To be implemented in next version";
inline constexpr char kNothingChosenText[] = "Please select some file(s) to upload!";
inline constexpr char kStillFinishingText[] =
    "The previous update is still finishing. Please press Start again in a moment.";

enum class FileChoice { Complete, Menu, Program, Table, NotYet, Nothing };

// Complete wins over everything; otherwise exactly one part file is a choice, two or more
// are not offered yet, and none is nothing.
FileChoice ChooseUpdateFile(bool complete, bool menu, bool program, bool table);

// The report's text with %1 filled: the path, or "an unnamed file" for an empty one.
std::string FileErrorText(FileErrorCause cause, std::string_view path);

// How the Start check shares the file it holds open with other programs, by the choice.
FileSharing SharingWhileChecked(FileChoice choice);

}  // namespace m4410
