#include "os/library_search.h"

namespace m4410 {

void LoadLibrariesFromTheSystemOnly() {}

}  // namespace m4410
