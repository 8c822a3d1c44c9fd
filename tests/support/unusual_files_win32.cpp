#include <windows.h>

#include "support/unusual_files.h"

namespace m4410 {

UnusualFiles::UnusualFiles(const std::filesystem::path&) {
  files_.push_back({"NUL", "a character device"});
}

UnusualFiles::~UnusualFiles() = default;

std::string MissingFileReason() {
  char text[256] = {};
  ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   ERROR_FILE_NOT_FOUND, 0, text, sizeof text, nullptr);
  std::string reason = text;
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == '.' || reason.back() == ' ')) {
    reason.pop_back();
  }
  return reason;
}

// Windows' byte-range locks would make one, but Wine does not hold reads to them.
std::string UnreadablePlainFile() { return {}; }

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
