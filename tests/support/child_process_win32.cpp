#include <windows.h>

#include <cstdlib>

#include "support/child_process.h"

namespace m4410 {

namespace {

// One argument as CommandLineToArgvW reads it back: quoted, with the backslashes before a
// quote (or before the closing quote) doubled.
std::string Quote(const std::string& word) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : word) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + '"';
}

HANDLE Inheritable(const std::filesystem::path& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileA(path.string().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE AsHandle(long long id) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(id)); }

}  // namespace

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& dir, const std::filesystem::path& out,
                         const std::filesystem::path& err, ChildOutput output) {
  std::string command = Quote(program);
  for (const std::string& word : args) command += " " + Quote(word);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = Inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
  startup.hStdError = Inheritable(err, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE reader = nullptr;
  switch (output) {
    case ChildOutput::File:
      startup.hStdOutput = Inheritable(out, GENERIC_WRITE, CREATE_ALWAYS);
      break;
    case ChildOutput::BrokenPipe: {
      SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
      if (::CreatePipe(&reader, &startup.hStdOutput, &inherit, 0)) ::CloseHandle(reader);
      break;
    }
    case ChildOutput::Closed:
      startup.hStdOutput = nullptr;
      break;
  }
  PROCESS_INFORMATION process{};
  const std::string folder = dir.string();
  running_ = ::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE,
                              CREATE_NEW_PROCESS_GROUP, nullptr,
                              folder.c_str(), &startup, &process) != 0;
  for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
  if (!running_) return false;
  ::CloseHandle(process.hThread);
  group_ = process.dwProcessId;
  id_ = static_cast<long long>(reinterpret_cast<intptr_t>(process.hProcess));
  return true;
}

bool ChildProcess::Wait(std::chrono::milliseconds limit, int* exit_status) {
  if (!running_) return false;
  const HANDLE process = AsHandle(id_);
  const bool ended =
      ::WaitForSingleObject(process, static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
  if (!ended) {
    ::TerminateProcess(process, 137);
    ::WaitForSingleObject(process, INFINITE);
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  ::CloseHandle(process);
  running_ = false;
  *exit_status = static_cast<int>(code);
  return ended;
}

bool ChildProcess::Interrupt() {
  return running_ && ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, group_) != 0;
}

void ChildProcess::Signal(int) {}

ChildProcess::~ChildProcess() {
  int ignored;
  if (running_) Wait(std::chrono::milliseconds(0), &ignored);
}

void SetEnvironment(const std::string& name, const std::string& value) {
  ::SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
}

}  // namespace m4410
