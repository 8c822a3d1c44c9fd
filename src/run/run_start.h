// The start of an update run, the same from every front end.
#pragma once

#include <string>

namespace m4410 {

using WorkerStart = bool (*)(const std::string* path);

// Refuses (false) while an earlier run's worker still holds the port, leaving the board as it
// was. Otherwise empties the stage board and raises KeepGoing before the worker starts, so it
// begins on a clean board, and starts it on path with start (StartUpdateWorker, or a front
// end's wrapper of it); KeepGoing is lowered again if the worker does not start.
bool BeginUpdateRun(const std::string* path, WorkerStart start);

}  // namespace m4410
