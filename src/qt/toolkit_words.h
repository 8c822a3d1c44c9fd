// The words Qt takes out of a command line for itself (-platform NAME, -style=NAME, -reverse
// and the rest, each also with two dashes), known before Qt runs: the window program refuses
// a line Qt would leave a word of before its start step takes any port permission. Qt may
// take fewer than these on some windowing systems (the X11 ones, -display and -geometry,
// elsewhere); what it leaves is refused again once it has run.
#pragma once

#include <string>
#include <vector>

namespace m4410 {

// The words Qt leaves, in order. An option that needs a value and has none is left.
std::vector<std::string> WordsQtLeaves(const std::vector<std::string>& words);

}  // namespace m4410
