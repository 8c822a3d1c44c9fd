// Where the program looks for the system's libraries that it loads by name.
#pragma once

namespace m4410 {

// Windows: from now on a library named without a folder comes from the system folder only,
// never from the program's folder or the current one, where a downloaded archive may have
// left a library of the same name. Called first thing in both programs; nothing on Linux,
// where libraries come from the system's own paths.
void LoadLibrariesFromTheSystemOnly();

}  // namespace m4410
