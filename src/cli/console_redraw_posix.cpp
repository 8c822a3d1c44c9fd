#include <unistd.h>

#include "cli/console_redraw.h"

namespace m4410 {

// Every terminal the command meets here knows the erase-line escape.
Redraw RedrawFor(std::FILE* stream) {
  return ::isatty(::fileno(stream)) ? Redraw::Escapes : Redraw::Lines;
}

}  // namespace m4410
