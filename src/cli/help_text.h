// The --help text, wrapped for an 80-column terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace m4410 {

inline constexpr std::size_t kHelpWidth = 79;

// Breaks every line longer than width at spaces. A continuation is indented to where the
// line's text starts after its label (the first run of two spaces), so a long entry reads as
// one block; a word longer than the room stays whole on a line of its own.
std::string WrapHelp(std::string_view text, std::size_t width = kHelpWidth);

// Everything `m4410 --help` prints.
std::string HelpText();

}  // namespace m4410
