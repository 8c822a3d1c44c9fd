#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "os/files.h"

namespace m4410 {

namespace {

std::string SystemReason(DWORD code) {
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string reason = length ? std::string(text, length) : "system error " + std::to_string(code);
  if (text) ::LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == '.' || reason.back() == ' ')) {
    reason.pop_back();
  }
  return reason;
}

bool Fail(std::string* error, HANDLE handle = INVALID_HANDLE_VALUE) {
  const DWORD code = ::GetLastError();
  if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  if (error) *error = SystemReason(code);
  return false;
}

// A reparse point (a symbolic link or a junction) is a link; anything that is not on a disk
// (a pipe, a console, a device such as COM1 or NUL) is not a plain file.
bool FactsOf(HANDLE handle, FileFacts* facts) {
  BY_HANDLE_FILE_INFORMATION info{};
  const DWORD type = ::GetFileType(handle);
  if (type != FILE_TYPE_DISK) {
    *facts = {type == FILE_TYPE_PIPE ? FileKind::NamedPipe
              : type == FILE_TYPE_CHAR ? FileKind::CharacterDevice
                                       : FileKind::Other,
              0, 0, 0};
    return true;
  }
  if (!::GetFileInformationByHandle(handle, &info)) return false;
  FileKind kind = FileKind::Plain;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    kind = FileKind::Link;
  } else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    kind = FileKind::Directory;
  }
  *facts = {kind, info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
            static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                      info.nFileSizeLow)};
  return true;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::FILE* Stream(HANDLE handle, int flags, const char* mode, std::string* error) {
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
  if (fd < 0) return Fail(error, handle), nullptr;
  std::FILE* file = ::_fdopen(fd, mode);
  if (!file) {
    if (error) *error = "cannot make a stream of the open file";
    ::_close(fd);
  }
  return file;
}

}  // namespace

std::string SystemErrorText(unsigned long code) { return SystemReason(code); }

bool LookAtPath(const std::string& path, FileFacts* facts, std::string* error) {
  // No access asked for: nothing is read, written or started, even on a device.
  const HANDLE handle = ::CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Fail(error);
  const bool looked = FactsOf(handle, facts);
  if (!looked) return Fail(error, handle);
  ::CloseHandle(handle);
  return true;
}

std::FILE* OpenPlainFileToRead(const std::string& path, FileFacts* facts, std::string* error) {
  const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Fail(error), nullptr;
  if (!FactsOf(handle, facts)) return Fail(error, handle), nullptr;
  if (facts->kind != FileKind::Plain) {
    if (error) *error = std::string("it is ") + FileKindText(facts->kind);
    ::CloseHandle(handle);
    return nullptr;
  }
  return Stream(handle, _O_RDONLY, "rb", error);
}

std::FILE* OpenOwnFileToWrite(const std::string& path, bool, FileFacts* facts, bool* created,
                              std::string* error) {
  // A new file takes its folder's permissions; an existing one is opened as itself, never
  // through a reparse point, so a link or a device at the name is seen and refused. Windows has
  // no shared sticky folder where another user's file sits under a name of ours: who may write
  // a file is its access list's business, which CreateFile already asks.
  constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                                kFlags, nullptr);
  *created = handle != INVALID_HANDLE_VALUE;
  if (!*created) {
    if (::GetLastError() != ERROR_FILE_EXISTS) return Fail(error), nullptr;
    handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                           kFlags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return Fail(error), nullptr;
  }
  if (!FactsOf(handle, facts)) return Fail(error, handle), nullptr;
  if (facts->kind != FileKind::Plain) {
    if (error) *error = std::string("it is ") + FileKindText(facts->kind);
    ::CloseHandle(handle);
    return nullptr;
  }
  return Stream(handle, _O_WRONLY, "wb", error);
}

bool EmptyFile(std::FILE* file) {
  return std::fflush(file) == 0 && ::_chsize_s(::_fileno(file), 0) == 0;
}

void RemoveFile(const std::string& path) { ::DeleteFileA(path.c_str()); }

bool AppendToPrivateFile(const std::string& path, const std::string& text, std::string* error) {
  std::error_code made;
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty() && !std::filesystem::create_directories(folder, made) && made) {
    if (error) *error = made.message();
    return false;
  }
  // Append access only: every write lands at the end, whoever else appends meanwhile. The
  // folder under the user's profile is the user's own.
  const HANDLE handle = ::CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Fail(error);
  FileFacts facts;
  if (!FactsOf(handle, &facts)) return Fail(error, handle);
  if (facts.kind != FileKind::Plain) {
    ::CloseHandle(handle);
    if (error) *error = std::string("it is ") + FileKindText(facts.kind);
    return false;
  }
  DWORD written = 0;
  const BOOL wrote =
      ::WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  if (!wrote) return Fail(error, handle);
  ::CloseHandle(handle);
  if (written != text.size()) {
    if (error) *error = SystemReason(ERROR_DISK_FULL);
    return false;
  }
  return true;
}

std::FILE* OpenPrivateFileToRead(const std::string& path, std::string* error) {
  const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr,
                                      OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Fail(error), nullptr;
  FileFacts facts;
  if (!FactsOf(handle, &facts)) return Fail(error, handle), nullptr;
  if (facts.kind != FileKind::Plain) {
    if (error) *error = std::string("it is ") + FileKindText(facts.kind);
    ::CloseHandle(handle);
    return nullptr;
  }
  return Stream(handle, _O_RDONLY, "rb", error);
}

std::string UserStateFolder() {
  // XDG_STATE_HOME is honoured here too, so a test run keeps its log in the build tree.
  for (const char* name : {"XDG_STATE_HOME", "LOCALAPPDATA", "APPDATA"}) {
    if (const char* folder = std::getenv(name); folder != nullptr && folder[0] != '\0') {
      return folder;
    }
  }
  return {};
}

bool IsTerminal(std::FILE* stream) { return ::_isatty(::_fileno(stream)) != 0; }

std::tm UtcTime(std::time_t when) {
  std::tm utc{};
  ::gmtime_s(&utc, &when);
  return utc;
}

}  // namespace m4410
