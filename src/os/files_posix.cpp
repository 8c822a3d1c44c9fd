#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "os/files.h"

namespace m4410 {

namespace {

FileKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::Plain;
  if (S_ISDIR(mode)) return FileKind::Directory;
  if (S_ISFIFO(mode)) return FileKind::NamedPipe;
  if (S_ISCHR(mode)) return FileKind::CharacterDevice;
  if (S_ISBLK(mode)) return FileKind::BlockDevice;
  if (S_ISSOCK(mode)) return FileKind::Socket;
  if (S_ISLNK(mode)) return FileKind::Link;
  return FileKind::Other;
}

FileFacts FactsOf(const struct stat& info) {
  return {KindOf(info.st_mode), static_cast<std::uint64_t>(info.st_dev),
          static_cast<std::uint64_t>(info.st_ino), static_cast<std::int64_t>(info.st_size)};
}

bool Fail(std::string* error, int fd = -1) {
  if (error) *error = std::strerror(errno);
  if (fd >= 0) ::close(fd);
  return false;
}

std::FILE* Stream(int fd, const char* mode, std::string* error) {
  std::FILE* file = ::fdopen(fd, mode);
  if (!file) Fail(error, fd);
  return file;
}

bool MakePrivateFolders(const std::string& folder) {
  for (std::size_t at = 1; at <= folder.size(); ++at) {
    if (at != folder.size() && folder[at] != '/') continue;
    if (::mkdir(folder.substr(0, at).c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

bool LookAtPath(const std::string& path, FileFacts* facts, std::string* error) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return Fail(error);
  *facts = FactsOf(info);
  return true;
}

std::FILE* OpenPlainFileToRead(const std::string& path, FileFacts* facts, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return Fail(error), nullptr;
  struct stat info {};
  if (::fstat(fd, &info) != 0) return Fail(error, fd), nullptr;
  *facts = FactsOf(info);
  if (facts->kind != FileKind::Plain) {
    if (error) *error = std::string("it is ") + FileKindText(facts->kind);
    ::close(fd);
    return nullptr;
  }
  return Stream(fd, "rb", error);
}

std::FILE* OpenFileToWrite(const std::string& path, const WriteOpening& how, FileFacts* facts,
                           bool* created, std::string* error) {
  int flags = O_WRONLY | O_NOCTTY | O_CLOEXEC;
  if (!how.follow_links) flags |= O_NOFOLLOW;
  if (how.nonblocking) flags |= O_NONBLOCK;
  *created = false;
  int fd = ::open(path.c_str(), flags);
  if (fd < 0 && errno == ENOENT) {
    fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0644);
    *created = fd >= 0;
  }
  if (fd < 0) return Fail(error), nullptr;
  struct stat info {};
  if (::fstat(fd, &info) != 0) return Fail(error, fd), nullptr;
  *facts = FactsOf(info);
  return Stream(fd, "wb", error);
}

bool EmptyFile(std::FILE* file) {
  return std::fflush(file) == 0 && ::ftruncate(::fileno(file), 0) == 0;
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

bool AppendToPrivateFile(const std::string& path, const std::string& text, std::string* error) {
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakePrivateFolders(path.substr(0, slash))) {
    return Fail(error);
  }
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return Fail(error);
  const ssize_t written = ::write(fd, text.data(), text.size());
  if (written < 0) return Fail(error, fd);
  ::close(fd);
  if (static_cast<std::size_t>(written) != text.size()) {
    if (error) *error = std::strerror(ENOSPC);
    return false;
  }
  return true;
}

std::string UserStateFolder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
    return state;
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    return std::string(home) + "/.local/state";
  }
  return {};
}

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }

std::tm UtcTime(std::time_t when) {
  std::tm utc{};
  ::gmtime_r(&when, &utc);
  return utc;
}

}  // namespace m4410
