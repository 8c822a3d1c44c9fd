#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "port/port_copy.h"
#include "port/system_primitives.h"
#include "privilege/held_privileges.h"
#include "privilege/port_copy_handoff.h"

namespace m4410 {

namespace {

// The same file, by identity, so that no name (a link, a second path) can make the copy
// hand off to itself.
bool SameFile(const char* one, const std::string& other) {
  struct stat a {}, b {};
  return ::stat(one, &a) == 0 && ::stat(other.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

// The arguments as the kernel keeps them for this process: main's own, untouched so far.
std::vector<std::string> OwnArguments() {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  const std::string all{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  std::vector<std::string> arguments;
  std::size_t start = 0;
  for (std::size_t end; (end = all.find('\0', start)) != std::string::npos; start = end + 1) {
    arguments.push_back(all.substr(start, end - start));
  }
  return arguments;
}

}  // namespace

void HandRealPortRunToCopy(const char* program, const PortChoice* port) {
  HandOffFacts facts;
  facts.root = ::getuid() == 0;
  facts.holds_capability = HoldsAnyCapability();
  facts.real_port = port != nullptr && port->kind == PortKind::Lpt;
  // Root, a holder of a capability and a run without a port are decided before any file is
  // looked at: as if the copy were there for the taking.
  facts.copy_exists = facts.copy_executable = true;
  if (!ShouldHandToPortCopy(facts)) return;

  SystemPrimitives& system = RealSystemPrimitives();
  const std::string copy = PortCopyPath(system.ExecutablePath());
  facts.copy_exists = !copy.empty() && system.Access(copy, F_OK) == 0;
  facts.copy_executable = facts.copy_exists && system.Access(copy, X_OK) == 0;
  facts.self_is_copy = facts.copy_exists && SameFile("/proc/self/exe", copy);
  if (!ShouldHandToPortCopy(facts)) return;

  std::vector<std::string> arguments = OwnArguments();
  if (arguments.empty()) return;
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  ::execv(copy.c_str(), argv.data());
  std::fprintf(stderr, "%s: cannot start the port copy %s (%s)\n", program, copy.c_str(),
               std::strerror(errno));
}

}  // namespace m4410
