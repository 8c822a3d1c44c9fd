#include "run/update_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>

#include "protocol/update_protocol.h"

namespace m4410 {

namespace {

struct LogSettings {
  std::string program;
  std::string port;
  bool enabled = false;
  std::string warning;
};

std::mutex settings_mutex;
LogSettings& Settings() {
  static LogSettings settings;
  return settings;
}

const char* StageWord(StageStatus status) {
  switch (status) {
    case Okay: return "Okay";
    case Failed: return "Failed";
    default: return "-";
  }
}

// Paths may hold spaces and quotes; a line stays one line and splits back into its fields.
std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + '"';
}

bool MakeFolders(const std::string& folder) {
  for (std::size_t at = 1; at <= folder.size(); ++at) {
    if (at != folder.size() && folder[at] != '/') continue;
    const std::string part = folder.substr(0, at);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

std::string UpdateLogPath() {
  std::string base;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
    base = state;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    base = std::string(home) + "/.local/state";
  } else {
    return {};
  }
  return base + "/marlovine-updater/updates.log";
}

std::string FormatUpdateLogLine(const UpdateLogEntry& e) {
  std::string line = e.when + " " + e.program + " port=" + e.port + " file=" + Quote(e.file);
  char text[96];
  if (e.size >= 0) {
    std::snprintf(text, sizeof text, " size=%" PRId64 " crc32=%08x", e.size,
                  static_cast<unsigned>(e.crc32));
  } else {
    std::snprintf(text, sizeof text, " size=- crc32=-");
  }
  line += text;
  if (e.box_seen) {
    std::snprintf(text, sizeof text, " box=%08x,%08x,%08x", static_cast<unsigned>(e.box[0]),
                  static_cast<unsigned>(e.box[1]), static_cast<unsigned>(e.box[2]));
  } else {
    std::snprintf(text, sizeof text, " box=-");
  }
  line += text;
  line += " stages=";
  for (int i = 0; i < kStageCount; ++i) {
    if (i > 0) line += ',';
    line += StageWord(e.stages[static_cast<std::size_t>(i)]);
  }
  std::snprintf(text, sizeof text, " duration=%.1fs", e.seconds);
  return line + text;
}

bool AppendUpdateLog(const UpdateLogEntry& entry, std::string* error) {
  const std::string path = UpdateLogPath();
  if (path.empty()) {
    *error = "no home folder to keep the update log in";
    return false;
  }
  if (!MakeFolders(path.substr(0, path.rfind('/')))) {
    *error = "cannot make the folder of " + path + ": " + std::strerror(errno);
    return false;
  }
  // Appended whole in one write, so runs of two programs never interleave within a line.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  const std::string line = FormatUpdateLogLine(entry) + "\n";
  const ssize_t written = ::write(fd, line.data(), line.size());
  const int saved = errno;
  ::close(fd);
  if (written != static_cast<ssize_t>(line.size())) {
    *error = "cannot write " + path + ": " + std::strerror(written < 0 ? saved : ENOSPC);
    return false;
  }
  return true;
}

void ConfigureUpdateLog(const std::string& program, const std::string& port, bool enabled) {
  std::lock_guard lock(settings_mutex);
  Settings() = {program, port, enabled, {}};
}

void LogUpdateRun(const std::string& file, double seconds) {
  LogSettings settings;
  {
    std::lock_guard lock(settings_mutex);
    Settings().warning.clear();
    settings = Settings();
  }
  if (!settings.enabled) return;

  UpdateLogEntry entry;
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  ::gmtime_r(&now, &utc);
  char when[32];
  std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
  entry.when = when;
  entry.program = settings.program;
  entry.port = settings.port;
  std::error_code ignored;
  const std::filesystem::path absolute = std::filesystem::absolute(file, ignored);
  entry.file = absolute.empty() ? file : absolute.string();
  if (!LastImage(&entry.size, &entry.crc32)) entry.size = -1;
  BoxRecord opening;
  entry.box_seen = LastOpeningRecord(&opening);
  for (int i = 0; i < 3; ++i) entry.box[static_cast<std::size_t>(i)] = opening.words[i];
  for (int stage = 1; stage <= kStageCount; ++stage) {
    entry.stages[static_cast<std::size_t>(stage - 1)] = StageResult(stage);
  }
  entry.seconds = seconds;

  std::string error;
  if (!AppendUpdateLog(entry, &error)) {
    std::lock_guard lock(settings_mutex);
    Settings().warning = error;
  }
}

std::string UpdateLogWarning() {
  std::lock_guard lock(settings_mutex);
  return Settings().warning;
}

}  // namespace m4410
