// Marks itself a running copy of the updater, by the programs' own call, until told to let go.
// Usage: hold_running_copy READYFILE. Creates READYFILE once the mark is held and lets go when
// READYFILE is removed (or after a minute, so a failed test leaves nothing behind).
#include <windows.h>

#include <cstdio>

#include "os/running_copy.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: hold_running_copy READYFILE\n");
    return 64;
  }
  m4410::AnnounceRunningCopy();
  std::FILE* ready = std::fopen(argv[1], "w");
  if (ready == nullptr) {
    std::fprintf(stderr, "hold_running_copy: cannot create %s\n", argv[1]);
    return 1;
  }
  std::fclose(ready);
  for (int i = 0; i < 600 && ::GetFileAttributesA(argv[1]) != INVALID_FILE_ATTRIBUTES; ++i) {
    ::Sleep(100);
  }
  return 0;
}
