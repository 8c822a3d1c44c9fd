// Both programs start with descriptors 0, 1 and 2 open, so no file they open later can take
// one of those numbers and receive diagnostics meant for a closed standard stream.
#pragma once

namespace m4410 {

// Opens /dev/null on each of descriptors 0 to 2 that is closed (Linux; Windows needs nothing).
// Call first thing in main.
// False if one stays closed (no /dev/null); the caller can go on, as it would have anyway.
bool EnsureStandardDescriptors();

}  // namespace m4410
