#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include "os/files.h"
#include "os/files_posix.h"

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

// A relative path from the current folder's full name, so that the folders above it are
// judged too.
bool FullPath(const std::string& path, std::string* full) {
  if (!path.empty() && path[0] == '/') return *full = path, true;
  char* here = ::getcwd(nullptr, 0);
  if (here == nullptr) return false;
  *full = std::string(here) + "/" + path;
  std::free(here);
  return true;
}

constexpr int kMostLinks = 40;  // on one path, as the kernel allows

// What the link open at fd (O_PATH) points to; false for an empty or overlong target.
bool ReadLink(int fd, std::string* to) {
  char target[4096];
  const ssize_t length = ::readlinkat(fd, "", target, sizeof target);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) return false;
  to->assign(target, static_cast<std::size_t>(length));
  return true;
}

// The file at path, reached by ReachName, opened with flags (O_NOFOLLOW added) and kept only
// if it is the user's own plain file.
int OpenPrivateFile(const std::string& path, int flags, bool make, std::string* error) {
  ReachedName reached;
  if (!ReachName(path, make, false, &reached, error)) return -1;
  const int fd = ::openat(reached.folder, reached.name.c_str(),
                          flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0) {
    const bool link = errno == ELOOP;
    Fail(error, reached.folder);
    if (error && link) *error = "it is a link";
    return -1;
  }
  ::close(reached.folder);
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

bool TrustedOwner(uid_t owner) { return owner == 0 || owner == ::geteuid(); }

bool ReachName(const std::string& path, bool make_folders, bool follow_last_link,
               ReachedName* reached, std::string* error) {
  auto refuse = [error](int fd, const std::string& why, int code = EACCES) {
    if (fd >= 0) ::close(fd);
    if (error) *error = why;
    errno = code;
    return false;
  };
  std::string full;
  if (!FullPath(path, &full)) return Fail(error);
  const std::vector<std::string> split = FolderNames(full);
  std::deque<std::string> names(split.begin(), split.end());
  if (names.empty()) return refuse(-1, "'" + PrintableName(path) + "' names no file");
  int at = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (at < 0) return Fail(error);
  std::string walked;  // the folder reached so far, for the reasons
  int links = 0;
  std::string name;
  for (;;) {
    name = names.front();
    names.pop_front();
    const bool last = names.empty();
    const std::string shown = "'" + PrintableName(walked + "/" + name) + "'";
    if (last && (name == "." || name == "..")) return refuse(at, shown + " is a folder");
    if (last && !follow_last_link) break;
    // Looked at through a descriptor of the name itself, so what is judged is what is used.
    constexpr int kLook = O_PATH | O_NOFOLLOW | O_CLOEXEC;
    int next = ::openat(at, name.c_str(), kLook);
    if (next < 0 && errno == ENOENT && last) break;  // to be made by the caller
    if (next < 0 && errno == ENOENT && make_folders &&
        (::mkdirat(at, name.c_str(), 0700) == 0 || errno == EEXIST)) {
      next = ::openat(at, name.c_str(), kLook);
    }
    if (next < 0) {
      const int code = errno;
      return refuse(at, "cannot reach " + shown + ": " + std::strerror(code), code);
    }
    struct stat info {};
    if (::fstat(next, &info) != 0) {
      const int code = errno;
      ::close(next);
      return refuse(at, std::strerror(code), code);
    }
    if (S_ISLNK(info.st_mode)) {
      if (!TrustedOwner(info.st_uid)) {
        ::close(next);
        return refuse(at, shown + " is a link of another user");
      }
      std::string to;
      const bool read = ReadLink(next, &to);
      ::close(next);
      if (!read || ++links > kMostLinks) return refuse(at, "cannot follow the link " + shown);
      const std::vector<std::string> more = FolderNames(to);
      names.insert(names.begin(), more.begin(), more.end());
      if (to[0] == '/') {
        ::close(at);
        at = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (at < 0) return Fail(error);
        walked.clear();
      }
      if (names.empty()) return refuse(at, "the link " + shown + " leads to '/'");
      continue;
    }
    if (last) {  // not a link: the caller opens it without following one
      ::close(next);
      break;
    }
    if (!S_ISDIR(info.st_mode)) {
      ::close(next);
      return refuse(at, shown + " is not a folder");
    }
    if (!TrustedOwner(info.st_uid)) {
      ::close(next);
      return refuse(at, shown + " belongs to another user");
    }
    ::close(at);
    at = next;
    walked += "/" + name;
  }
  reached->folder = at;
  reached->name = name;
  return true;
}

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
  *created = false;
  ReachedName reached;
  if (!ReachName(path, false, false, &reached, error)) return nullptr;
  const int folder = reached.folder;
  const char* name = reached.name.c_str();
  // O_CREAT with O_EXCL makes a new file or fails; only then is an existing one considered,
  // and the kernel's guard for files in sticky folders applies to the O_CREAT as well.
  constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = ::openat(folder, name, kFlags | O_CREAT | O_EXCL, owner_only ? 0600 : 0644);
  *created = fd >= 0;
  if (fd < 0) {
    if (errno != EEXIST) return Fail(error, folder), nullptr;
    // Looked at before it is opened: opening a device could already act on it.
    struct stat seen {};
    if (::fstatat(folder, name, &seen, AT_SYMLINK_NOFOLLOW) != 0) {
      return Fail(error, folder), nullptr;
    }
    if (!OwnPlainFile(seen, error)) return ::close(folder), nullptr;
    fd = ::openat(folder, name, kFlags);
    if (fd < 0) return Fail(error, folder), nullptr;
  }
  ::close(folder);
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
