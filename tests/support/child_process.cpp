#include "support/child_process.h"

#include <utility>

namespace m4410 {

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : id_(other.id_), group_(other.group_), running_(other.running_) {
  other.running_ = false;
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  std::swap(id_, other.id_);
  std::swap(group_, other.group_);
  std::swap(running_, other.running_);
  return *this;
}

}  // namespace m4410
