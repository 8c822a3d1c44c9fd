#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

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

// A file another user may have put at a name in a shared folder is written only if it is the
// running user's own plain file with no second name (a hard link could be any file of theirs).
bool OwnPlainFile(const struct stat& info, std::string* error) {
  if (!S_ISREG(info.st_mode)) {
    if (error) *error = std::string("it is ") + FileKindText(KindOf(info.st_mode));
    return false;
  }
  if (info.st_uid != ::geteuid()) {
    if (error) *error = "it belongs to another user";
    return false;
  }
  if (info.st_nlink > 1) {
    if (error) *error = "it has another name (a hard link)";
    return false;
  }
  return true;
}

std::vector<std::string> FolderNames(const std::string& path) {
  std::vector<std::string> names;
  std::size_t at = 0;
  while (at < path.size()) {
    const std::size_t end = std::min(path.find('/', at), path.size());
    if (end > at) names.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  return names;
}

// Walks an absolute folder from the root, one name at a time, following no link and passing
// only folders of root or of the running user; make: missing folders are made, 0700. Gives
// the open folder, or -1 with the reason.
int WalkToFolder(const std::string& folder, bool make, std::string* error) {
  if (folder.empty() || folder[0] != '/') {
    if (error) *error = "the folder '" + PrintableName(folder) + "' is not an absolute path";
    return -1;
  }
  int at = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (at < 0) return Fail(error), -1;
  std::string walked;
  for (const std::string& name : FolderNames(folder)) {
    walked += "/" + name;
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int next = ::openat(at, name.c_str(), kFlags);
    if (next < 0 && errno == ENOENT && make &&
        (::mkdirat(at, name.c_str(), 0700) == 0 || errno == EEXIST)) {
      next = ::openat(at, name.c_str(), kFlags);
    }
    if (next < 0) {
      const bool link = errno == ELOOP || errno == ENOTDIR;
      Fail(error, at);
      if (error && link) *error = "'" + PrintableName(walked) + "' is a link or not a folder";
      return -1;
    }
    ::close(at);
    at = next;
    struct stat info {};
    if (::fstat(at, &info) != 0) return Fail(error, at), -1;
    if (info.st_uid != 0 && info.st_uid != ::geteuid()) {
      ::close(at);
      if (error) *error = "'" + PrintableName(walked) + "' belongs to another user";
      return -1;
    }
  }
  return at;
}

// The file at path, reached by WalkToFolder, opened with flags (O_NOFOLLOW added) and kept only
// if it is the user's own plain file.
int OpenPrivateFile(const std::string& path, int flags, bool make, std::string* error) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    if (error) *error = "'" + PrintableName(path) + "' is not an absolute path";
    return -1;
  }
  const int folder = WalkToFolder(path.substr(0, slash), make, error);
  if (folder < 0) return -1;
  const int fd = ::openat(folder, path.c_str() + slash + 1,
                          flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0) {
    const bool link = errno == ELOOP;
    Fail(error, folder);
    if (error && link) *error = "it is a link";
    return -1;
  }
  ::close(folder);
  struct stat info {};
  if (::fstat(fd, &info) != 0) return Fail(error, fd), -1;
  if (!OwnPlainFile(info, error)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Whether everything on the way to folder, as far as it exists, is root's and no link: a folder
// the environment names is root's to use only then. Only a look; the log is reached by
// WalkToFolder, which judges again.
bool RootsOwnFolder(const std::string& folder) {
  std::string walked;
  for (const std::string& name : FolderNames(folder)) {
    walked += "/" + name;
    struct stat info {};
    if (::lstat(walked.c_str(), &info) != 0) return errno == ENOENT;
    if (S_ISLNK(info.st_mode) || info.st_uid != 0) return false;
  }
  return true;
}

}  // namespace

std::string SystemErrorText(unsigned long code) { return std::strerror(static_cast<int>(code)); }

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

std::FILE* OpenOwnFileToWrite(const std::string& path, bool owner_only, FileFacts* facts,
                              bool* created, std::string* error) {
  // O_CREAT with O_EXCL makes a new file or fails; only then is an existing one considered,
  // and the kernel's guard for files in sticky folders applies to the O_CREAT as well.
  constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, owner_only ? 0600 : 0644);
  *created = fd >= 0;
  if (fd < 0) {
    if (errno != EEXIST) return Fail(error), nullptr;
    // Looked at before it is opened: opening a device could already act on it.
    struct stat seen {};
    if (::lstat(path.c_str(), &seen) != 0) return Fail(error), nullptr;
    if (!OwnPlainFile(seen, error)) return nullptr;
    fd = ::open(path.c_str(), kFlags);
    if (fd < 0) return Fail(error), nullptr;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) return Fail(error, fd), nullptr;
  if (!*created && !OwnPlainFile(info, error)) {  // changed hands between the look and the open
    ::close(fd);
    return nullptr;
  }
  *facts = FactsOf(info);
  return Stream(fd, "wb", error);
}

bool EmptyFile(std::FILE* file) {
  return std::fflush(file) == 0 && ::ftruncate(::fileno(file), 0) == 0;
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

bool AppendToPrivateFile(const std::string& path, const std::string& text, std::string* error) {
  if (error) error->clear();
  const int fd = OpenPrivateFile(path, O_WRONLY | O_APPEND | O_CREAT, true, error);
  if (fd < 0) return false;
  const ssize_t written = ::write(fd, text.data(), text.size());
  if (written < 0) return Fail(error, fd);
  ::close(fd);
  if (static_cast<std::size_t>(written) != text.size()) {
    if (error) *error = std::strerror(ENOSPC);
    return false;
  }
  return true;
}

std::FILE* OpenPrivateFileToRead(const std::string& path, std::string* error) {
  if (error) error->clear();
  const int fd = OpenPrivateFile(path, O_RDONLY, false, error);
  return fd < 0 ? nullptr : Stream(fd, "rb", error);
}

std::string UserStateFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  const bool state_named = state != nullptr && state[0] == '/';
  if (::geteuid() == 0) {
    if (state_named && RootsOwnFolder(state)) return state;
    const passwd* entry = ::getpwuid(0);
    if (entry == nullptr || entry->pw_dir == nullptr || entry->pw_dir[0] != '/') return {};
    return std::string(entry->pw_dir) + "/.local/state";
  }
  if (state_named) return state;
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
