// How the progress line is drawn again in place on the stream it goes to: with the terminal's
// erase-line escape, with spaces where escapes would show as garbage (a console without
// virtual-terminal processing, a character device that is no console), or not at all (a log).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace m4410 {

enum class Redraw { Lines, Escapes, Spaces };

// Looks at the stream once; on Windows turns the console's virtual-terminal processing on
// where the system has it.
Redraw RedrawFor(std::FILE* stream);

// What goes out to show text in place of a line of shown characters.
std::string RedrawnLine(Redraw how, const std::string& text, std::size_t shown);
// What goes out to clear a line of shown characters, the cursor left at its start.
std::string ClearedLine(Redraw how, std::size_t shown);

}  // namespace m4410
