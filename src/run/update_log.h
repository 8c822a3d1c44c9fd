// The update log: one line per run of either program, in the user's state folder, so that a
// technician who updates many boxes can tell afterwards which image went where. A log that
// cannot be written never fails an update; the program says so once.
#pragma once

#include <array>
#include <cstdio>
#include <cstdint>
#include <string>

#include "board/stage_board.h"

namespace m4410 {

// Stage 6 of a run left after the image, before the box confirmed (not a board code).
inline constexpr StageStatus kNotConfirmed = -1;

struct UpdateLogEntry {
  std::string when;     // UTC, ISO 8601 to the second
  std::string program;  // m4410 or marlovine-updater
  std::string port;     // as chosen: lpt, lpt:BASE,ECPBASE or sim
  std::string file;
  std::int64_t size = -1;  // as stage 1 saw it, or read whole; -1: not known
  std::uint32_t crc32 = 0;
  bool crc_seen = false;   // the image was read whole
  bool box_seen = false;   // the box's opening record arrived
  std::array<std::uint32_t, 3> box{};
  // NoReport where a stage was not reached; stage 6 may be kNotConfirmed.
  std::array<StageStatus, kStageCount> stages{};
  double seconds = 0;
  std::string cause;  // why it stopped short, as the programs said it; empty when it did not
};

// "$XDG_STATE_HOME/marlovine-updater/updates.log", or under ~/.local/state.
std::string UpdateLogPath();
std::string FormatUpdateLogLine(const UpdateLogEntry& entry);
// Appends one line, making the folders it needs; false with the reason otherwise.
bool AppendUpdateLog(const UpdateLogEntry& entry, std::string* error);

// The log to read, reached as it is written (no link followed, only the user's own file);
// null with the reason otherwise.
std::FILE* OpenUpdateLogToRead(std::string* error);

// Each program says once, at start-up, who it is and which port it uses; until then (in the
// tests, say) and with --no-log nothing is logged.
void ConfigureUpdateLog(const std::string& program, const std::string& port, bool enabled);

// Called by the worker at the end of every run, with the run's update file, its size as
// stage 1 saw it (-1: unknown) and the run's length.
void LogUpdateRun(const std::string& file, std::int64_t size_at_stage_one, double seconds);
// Why the last run's line could not be written; empty when it was, or nothing was to be.
std::string UpdateLogWarning();

}  // namespace m4410
