#include "ui/profile_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <vector>

namespace m4410 {

namespace {

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

ReadOutcome ReadWholeFile(const std::string& path, std::string* out) {
  out->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::Failed;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileSize) {
    ::close(fd);
    return ReadOutcome::Failed;
  }
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return ReadOutcome::Failed;
    }
    out->append(buffer, static_cast<std::size_t>(n));
    if (out->size() > static_cast<std::size_t>(kMaxFileSize)) {
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

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool MakeDirectories(const std::string& dir) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const std::string parent = DirectoryOf(dir);
  if (parent != dir && !MakeDirectories(parent)) return false;
  return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// A settings file reached through a symbolic link is rewritten where the link points, so the
// link survives.
std::string ResolvedTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

bool ReplaceFile(const std::string& path, const std::string& content) {
  const std::string target = ResolvedTarget(path);
  const std::string dir = DirectoryOf(target);
  if (!MakeDirectories(dir)) return false;

  mode_t mode = 0;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }

  std::string temp = target + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = WriteAll(fd, content) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  const int dir_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    ::fsync(dir_fd);
    ::close(dir_fd);
  }
  return true;
}

}  // namespace

ProfileStore::ProfileStore(std::string path) : path_(std::move(path)) {}

std::string ProfileStore::GetString(std::string_view section, std::string_view item) const {
  // The names are trimmed as a write trims them, so a name reads what it wrote.
  section = Trim(section);
  item = Trim(item);
  if (section.empty() || item.empty()) return {};
  std::string content;
  if (ReadWholeFile(path_, &content) != ReadOutcome::Read) return {};
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
    return false;
  }

  std::string content;
  const ReadOutcome read = ReadWholeFile(path_, &content);
  if (read == ReadOutcome::Failed) return false;  // never overwrite what could not be read
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
  return ReplaceFile(path_, out);
}

}  // namespace m4410
