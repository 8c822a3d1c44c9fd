#include <windows.h>

#include "support/special_files.h"

namespace m4410 {

SpecialFiles::SpecialFiles(const std::filesystem::path&) {
  files_.push_back({"NUL", "a character device"});
}

SpecialFiles::~SpecialFiles() = default;

std::string MissingFileReason() { return "The system cannot find the file specified"; }

// A file locked whole by this process: it opens as a plain file, and every read fails.
std::string UnreadablePlainFile() {
  static const std::string path = [] {
    const std::string name = (std::filesystem::temp_directory_path() /
                              ("m4410-unreadable-" + std::to_string(::GetCurrentProcessId())))
                                 .string();
    const HANDLE file = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE || !::WriteFile(file, "locked", 6, &written, nullptr) ||
        !::LockFile(file, 0, 0, MAXDWORD, 0)) {
      return std::string();
    }
    return name;  // the handle stays open, and the lock with it, until the process ends
  }();
  return path;
}

bool MakeSparseFile(const std::filesystem::path& path, std::int64_t length) {
  const HANDLE file = ::CreateFileA(path.string().c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD returned = 0;
  LARGE_INTEGER end;
  end.QuadPart = length;
  const bool sparse =
      ::DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr) &&
      ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
  ::CloseHandle(file);
  if (!sparse) std::filesystem::remove(path);
  return sparse;
}

}  // namespace m4410
