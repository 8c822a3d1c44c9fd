#include "run/update_log.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>

#include "board/run_cause.h"
#include "os/files.h"
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
    case kNotConfirmed: return "NotConfirmed";
    default: return "-";
  }
}

// Paths may hold spaces, quotes and control characters; a line stays one line, splits back
// into its fields, and replays on a terminal as text.
std::string Quote(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return '"' + PrintableName(out) + '"';
}

}  // namespace

std::string UpdateLogPath() {
  const std::string base = UserStateFolder();
  if (base.empty()) return {};
  return (std::filesystem::path(base) / "marlovine-updater" / "updates.log").string();
}

std::string FormatUpdateLogLine(const UpdateLogEntry& e) {
  std::string line = e.when + " " + e.program + " port=" + e.port + " file=" + Quote(e.file);
  char text[96];
  if (e.size >= 0) {
    std::snprintf(text, sizeof text, " size=%" PRId64, e.size);
  } else {
    std::snprintf(text, sizeof text, " size=-");
  }
  line += text;
  if (e.crc_seen) {
    std::snprintf(text, sizeof text, " crc32=%08x", static_cast<unsigned>(e.crc32));
  } else {
    std::snprintf(text, sizeof text, " crc32=-");
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
  line += text;
  if (!e.cause.empty()) line += " cause=" + Quote(e.cause);
  return line;
}

bool AppendUpdateLog(const UpdateLogEntry& entry, std::string* error) {
  const std::string path = UpdateLogPath();
  if (path.empty()) {
    *error = "no home folder to keep the update log in";
    return false;
  }
  // Appended whole in one write, so runs of two programs never interleave within a line.
  std::string reason;
  if (!AppendToPrivateFile(path, FormatUpdateLogLine(entry) + "\n", &reason)) {
    *error = "cannot write " + PrintableName(path) + ": " + reason;
    return false;
  }
  return true;
}

std::FILE* OpenUpdateLogToRead(std::string* error) {
  const std::string path = UpdateLogPath();
  if (path.empty()) {
    *error = "no home folder to keep the update log in";
    return nullptr;
  }
  return OpenPrivateFileToRead(path, error);
}

void ConfigureUpdateLog(const std::string& program, const std::string& port, bool enabled) {
  std::lock_guard lock(settings_mutex);
  Settings() = {program, port, enabled, {}};
}

void LogUpdateRun(const std::string& file, std::int64_t size_at_stage_one, double seconds) {
  LogSettings settings;
  {
    std::lock_guard lock(settings_mutex);
    Settings().warning.clear();
    settings = Settings();
  }
  if (!settings.enabled) return;

  UpdateLogEntry entry;
  const std::time_t now = std::time(nullptr);
  const std::tm utc = UtcTime(now);
  char when[32];
  std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
  entry.when = when;
  entry.program = settings.program;
  entry.port = settings.port;
  std::error_code ignored;
  const std::filesystem::path absolute = std::filesystem::absolute(file, ignored);
  entry.file = absolute.empty() ? file : absolute.string();
  entry.crc_seen = LastImage(&entry.size, &entry.crc32);
  if (!entry.crc_seen) entry.size = size_at_stage_one;
  BoxRecord opening;
  entry.box_seen = LastOpeningRecord(&opening);
  for (int i = 0; i < 3; ++i) entry.box[static_cast<std::size_t>(i)] = opening.words[i];
  bool failed = false;
  for (int stage = 1; stage <= kStageCount; ++stage) {
    entry.stages[static_cast<std::size_t>(stage - 1)] = StageResult(stage);
    failed = failed || StageResult(stage) == Failed;
  }
  if (LeftBeforeConfirmation()) {
    entry.stages[BoxUpdated - 1] = kNotConfirmed;
    entry.cause = kNotConfirmedText;
  } else if (failed) {
    entry.cause = RunCause();
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
