#include <io.h>
#include <windows.h>

#include "cli/console_redraw.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace m4410 {

Redraw RedrawFor(std::FILE* stream) {
  const int fd = ::_fileno(stream);
  if (!::_isatty(fd)) return Redraw::Lines;  // a file or a pipe: a log
  // _isatty holds for every character device: NUL or a serial line is no console.
  const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  DWORD mode = 0;
  if (!::GetConsoleMode(handle, &mode)) return Redraw::Spaces;
  // Windows 10 and later take escapes once asked; older consoles refuse the mode.
  if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) ||
      ::SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
    return Redraw::Escapes;
  }
  return Redraw::Spaces;
}

}  // namespace m4410
