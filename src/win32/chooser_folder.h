// Where the file chooser opens: in the folder of the file chosen last, else, the first time,
// in the user's Documents folder, where files they keep usually are.
#pragma once

#include <string>

namespace m4410 {

std::string ChooserStartFolder(const std::string& last_path);

}  // namespace m4410
