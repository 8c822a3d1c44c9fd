#include <windows.h>

#include "os/library_search.h"

namespace m4410 {

void LoadLibrariesFromTheSystemOnly() {
  // Also takes the current folder out of the search of any library loaded without flags.
  ::SetDllDirectoryA("");
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace m4410
