// A thread no signal is ever delivered to: the program's own handling of signals stays on its
// other threads, and none breaks off one of this thread's system calls.
#pragma once

#include <functional>
#include <thread>

namespace m4410 {

std::thread StartThreadWithoutSignals(std::function<void()> body);

}  // namespace m4410
