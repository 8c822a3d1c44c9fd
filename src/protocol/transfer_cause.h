// What the operator is told when a transfer stops short: what happened, with the figures the
// link gave, and what to check. One line each, worded as both windows and m4410 show it.
#pragma once

#include <cstdint>
#include <string>

#include "link/block_transfer.h"

namespace m4410 {

// Stage 4: the box's opening record did not come (a read), or our header did not go (a write).
std::string BoxRecordCause(const BlockOutcome& read);
std::string HeaderCause(const BlockOutcome& write);
// Stage 5: the image did not go out whole.
std::string ImageCause(const BlockOutcome& write);
// Stage 6: the box's closing record did not come.
std::string ConfirmationCause(const BlockOutcome& read);

// Stage 7 with stages 4 to 6 unreported: the update file could not be loaded (why: what the
// system or the loader said), or the run was stopped before the image went out.
std::string UnopenedFileCause(const std::string& path, const std::string& why);
std::string UnreopenedFileCause(const std::string& path, const std::string& why);
std::string UnreadFileCause(const std::string& path, const std::string& why);
std::string NoMemoryCause(std::int64_t size);
std::string StoppedBeforeImageCause();

// While stage 6 waits past the displays' own estimate: how long the box has left to send its
// closing record, counted down from the bound the protocol waits with.
std::string ConfirmationCountdown(std::int64_t waited_ms);

}  // namespace m4410
