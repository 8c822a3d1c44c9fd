#include "ui/profile_store.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "os/files.h"
#include "os/files_posix.h"

namespace m4410 {

namespace {

std::string Shown(const std::string& path) { return "'" + PrintableName(path) + "'"; }

// Larger files are not settings files; they read as empty and are never rewritten.
constexpr off_t kMaxFileSize = 16 * 1024 * 1024;

struct Line {
  std::string text;     // without its line end
  std::string ending;   // "\r\n", "\n" or "" for a last line with none
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// The name of a section line ("[name]"), or nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view text) {
  const std::string_view t = Trim(text);
  if (t.empty() || t.front() != '[') return std::nullopt;
  const std::size_t close = t.find(']');
  const std::string_view name = t.substr(1, close == std::string_view::npos ? t.npos : close - 1);
  return Trim(name);
}

struct Entry {
  std::string_view key;
  std::string_view value;
};

// An item line's key and value; comments and lines without '=' are not items.
std::optional<Entry> ItemEntry(std::string_view text) {
  const std::string_view t = Trim(text);
  if (t.empty() || t.front() == ';' || t.front() == '#' || t.front() == '[') return std::nullopt;
  const std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return Entry{Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

enum class ReadOutcome { Read, Missing, Failed };

bool Refuse(std::string* why, const std::string& reason) {
  *why = reason;
  return false;
}

// Reached as every file the programs write is (os/files_posix.h): a link of another user, or a
// folder of theirs on the way, could lead root to read a root-only file into the window.
ReadOutcome ReadWholeFile(const std::string& path, std::string* out, std::string* why) {
  out->clear();
  ReachedName reached;
  if (!ReachName(path, false, true, &reached, why)) {
    return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::Failed;
  }
  const int fd = ::openat(reached.folder, reached.name.c_str(),
                          O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  const int open_error = errno;
  ::close(reached.folder);
  if (fd < 0 && open_error == ENOENT) return ReadOutcome::Missing;
  if (fd < 0) return Refuse(why, std::strerror(open_error)), ReadOutcome::Failed;
  struct stat st {};
  std::string refusal;
  if (::fstat(fd, &st) != 0) {
    refusal = std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    refusal = "it is not a plain file";
  } else if (!TrustedOwner(st.st_uid)) {
    refusal = "it belongs to another user";
  } else if (st.st_size > kMaxFileSize) {
    refusal = "it is too large for a settings file";
  }
  if (!refusal.empty()) {
    ::close(fd);
    return Refuse(why, refusal), ReadOutcome::Failed;
  }
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      Refuse(why, std::strerror(errno));
      ::close(fd);
      return ReadOutcome::Failed;
    }
    out->append(buffer, static_cast<std::size_t>(n));
    if (out->size() > static_cast<std::size_t>(kMaxFileSize)) {
      Refuse(why, "it is too large for a settings file");
      ::close(fd);
      return ReadOutcome::Failed;
    }
  }
  ::close(fd);
  return ReadOutcome::Read;
}

std::vector<Line> SplitLines(const std::string& content) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    const std::size_t nl = content.find('\n', start);
    if (nl == std::string::npos) {
      lines.push_back({content.substr(start), ""});
      break;
    }
    std::size_t end = nl;
    std::string ending = "\n";
    if (end > start && content[end - 1] == '\r') {
      --end;
      ending = "\r\n";
    }
    lines.push_back({content.substr(start, end - start), ending});
    start = nl + 1;
  }
  return lines;
}

// Cuts to at most max bytes without splitting a UTF-8 sequence.
std::string CutValue(std::string_view value, std::size_t max) {
  if (value.size() <= max) return std::string(value);
  std::size_t cut = max;
  while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) --cut;
  return std::string(value.substr(0, cut));
}

bool HasLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// A name no other file has in the folder, for the new content before it replaces the file.
int MakeTemporary(int folder, const std::string& name, std::string* temp) {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[6];
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return -1;
    *temp = name + ".";
    for (const unsigned char r : random) *temp += kLetters[r % (sizeof kLetters - 1)];
    const int fd = ::openat(folder, temp->c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// A settings file reached through a link is rewritten where the link points, so the link
// survives; ReachName follows it only where the link and every folder on the way are the
// user's or root's.
bool ReplaceInFolder(int folder, const std::string& name, const std::string& content,
                     std::string* why) {
  mode_t mode = 0;
  struct stat st {};
  if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (!S_ISREG(st.st_mode)) return Refuse(why, "it is not a plain file");
    if (!TrustedOwner(st.st_uid)) return Refuse(why, "it belongs to another user");
    mode = st.st_mode & 07777;
  } else if (errno != ENOENT) {
    return Refuse(why, std::strerror(errno));
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }

  std::string temp;
  const int fd = MakeTemporary(folder, name, &temp);
  if (fd < 0) return Refuse(why, std::strerror(errno));
  bool ok = WriteAll(fd, content) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::renameat(folder, temp.c_str(), folder, name.c_str()) == 0;
  if (!ok) {
    Refuse(why, std::strerror(errno));
    ::unlinkat(folder, temp.c_str(), 0);
    return false;
  }
  const int synced = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (synced >= 0) {
    ::fsync(synced);
    ::close(synced);
  }
  return true;
}

bool ReplaceFile(const std::string& path, const std::string& content, std::string* why) {
  ReachedName reached;
  if (!ReachName(path, true, true, &reached, why)) return false;
  const bool replaced = ReplaceInFolder(reached.folder, reached.name, content, why);
  ::close(reached.folder);
  return replaced;
}

}  // namespace

ProfileStore::ProfileStore(std::string path) : path_(std::move(path)) {}

std::string ProfileStore::GetString(std::string_view section, std::string_view item) const {
  // The names are trimmed as a write trims them, so a name reads what it wrote.
  section = Trim(section);
  item = Trim(item);
  if (section.empty() || item.empty()) return {};
  std::string content;
  std::string reason;
  const ReadOutcome read = ReadWholeFile(path_, &content, &reason);
  why_ = read == ReadOutcome::Failed ? "cannot read " + Shown(path_) + ": " + reason : "";
  if (read != ReadOutcome::Read) return {};
  bool in_section = false;
  for (const Line& line : SplitLines(content)) {
    if (const auto name = SectionName(line.text)) {
      // The first section of that name is the one that counts.
      if (in_section) return {};
      in_section = SameName(*name, section);
      continue;
    }
    if (!in_section) continue;
    if (const auto entry = ItemEntry(line.text); entry && SameName(entry->key, item)) {
      return CutValue(entry->value, kMaxValueLength);
    }
  }
  return {};
}

bool ProfileStore::WriteString(std::string_view section, std::string_view item,
                               std::string_view value) {
  const std::string_view section_name = Trim(section);
  const std::string_view item_name = Trim(item);
  if (section_name.empty() || item_name.empty() || HasLineBreakOrNul(section) ||
      HasLineBreakOrNul(item) || HasLineBreakOrNul(value) ||
      section_name.find(']') != std::string_view::npos ||
      item_name.find('=') != std::string_view::npos || item_name.front() == '[' ||
      item_name.front() == ';' || item_name.front() == '#') {
    why_ = "a name or a value does not fit on one line of " + Shown(path_);
    return false;
  }

  std::string content;
  std::string reason;
  const ReadOutcome read = ReadWholeFile(path_, &content, &reason);
  if (read == ReadOutcome::Failed) {  // never overwrite what could not be read
    why_ = "cannot read " + Shown(path_) + ": " + reason;
    return false;
  }
  std::vector<Line> lines = SplitLines(content);

  std::string eol = "\n";
  for (const Line& line : lines) {
    if (!line.ending.empty()) {
      eol = line.ending;
      break;
    }
  }
  const std::string new_text = std::string(item_name) + "=" + std::string(value);

  // Find the first section of that name, its item, and its last non-blank line.
  std::optional<std::size_t> header;
  std::optional<std::size_t> found;
  std::size_t last_in_section = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (const auto name = SectionName(lines[i].text)) {
      if (header) break;
      if (SameName(*name, section_name)) {
        header = i;
        last_in_section = i;
      }
      continue;
    }
    if (!header) continue;
    if (!Trim(lines[i].text).empty()) last_in_section = i;
    if (const auto entry = ItemEntry(lines[i].text); entry && SameName(entry->key, item_name)) {
      found = i;
      break;
    }
  }

  if (found) {
    const auto entry = ItemEntry(lines[*found].text);
    lines[*found].text = std::string(entry->key) + "=" + std::string(value);
  } else if (header) {
    if (lines[last_in_section].ending.empty()) lines[last_in_section].ending = eol;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last_in_section) + 1,
                 Line{new_text, eol});
  } else {
    if (!lines.empty()) {
      if (lines.back().ending.empty()) lines.back().ending = eol;
      if (!Trim(lines.back().text).empty()) lines.push_back({"", eol});
    }
    lines.push_back({"[" + std::string(section_name) + "]", eol});
    lines.push_back({new_text, eol});
  }

  std::string out;
  out.reserve(content.size() + new_text.size() + 64);
  for (const Line& line : lines) out += line.text + line.ending;
  if (!ReplaceFile(path_, out, &reason)) {
    why_ = "cannot write " + Shown(path_) + ": " + reason;
    return false;
  }
  why_.clear();
  return true;
}

}  // namespace m4410
