// Holds what setup and the uninstaller must, or must not, take for a running copy, until told
// to let go.
//   hold_running_copy READYFILE PROGRAM   runs PROGRAM, held before its first instruction: a
//                                         running copy of an installed program
//   hold_running_copy READYFILE --squat   takes the name older versions marked a running copy
//                                         with, open to every user, as any user could
// Creates READYFILE once it holds and lets go when READYFILE is removed (or after a minute, so
// a failed test leaves nothing behind).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Older versions' setup refused to install while this existed: a user could hold it for ever.
constexpr char kOldRunningMark[] = "Global\\Marlovine4410UpdaterRunning";

}  // namespace


int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: hold_running_copy READYFILE PROGRAM|--squat\n");
    return 64;
  }
  PROCESS_INFORMATION copy{};
  if (std::strcmp(argv[2], "--squat") == 0) {
    SECURITY_DESCRIPTOR open{};
    ::InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);  // no list: anyone may do anything
    SECURITY_ATTRIBUTES everyone{sizeof everyone, &open, FALSE};
    if (::CreateMutexA(&everyone, TRUE, kOldRunningMark) == nullptr) {
      std::fprintf(stderr, "hold_running_copy: cannot take %s\n", kOldRunningMark);
      return 1;
    }
  } else {
    std::string command = std::string("\"") + argv[2] + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!::CreateProcessA(argv[2], command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                          nullptr, nullptr, &startup, &copy)) {
      std::fprintf(stderr, "hold_running_copy: cannot start %s\n", argv[2]);
      return 1;
    }
  }
  std::FILE* ready = std::fopen(argv[1], "w");
  if (ready == nullptr) {
    std::fprintf(stderr, "hold_running_copy: cannot create %s\n", argv[1]);
    if (copy.hProcess != nullptr) ::TerminateProcess(copy.hProcess, 1);
    return 1;
  }
  std::fclose(ready);
  for (int i = 0; i < 600 && ::GetFileAttributesA(argv[1]) != INVALID_FILE_ATTRIBUTES; ++i) {
    ::Sleep(100);
  }
  if (copy.hProcess != nullptr) {
    ::TerminateProcess(copy.hProcess, 0);
    ::WaitForSingleObject(copy.hProcess, INFINITE);
  }
  return 0;
}
