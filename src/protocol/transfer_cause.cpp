#include "protocol/transfer_cause.h"

#include "board/run_cause.h"
#include "link/link_limits.h"
#include "os/files.h"
#include "protocol/update_protocol.h"

namespace m4410 {

namespace {

std::string Seconds(std::int32_t ms) { return std::to_string(ms / 1000) + " s"; }

std::string Quoted(const std::string& path) { return "'" + PrintableName(path) + "'"; }

constexpr char kRetryFromOff[] = "switch the box off and on, and start again";
constexpr char kCheckCable[] =
    "check the cable and that the box is on, then run the update again";
// Once image bytes have gone out the box may hold half an image: it must not lose power.
constexpr char kKeepOnAndRetry[] =
    "leave the box switched on, check the cable, and run the update again";

}  // namespace

std::string BoxRecordCause(const BlockOutcome& read) {
  const std::string record = std::to_string(kRecordBytes);
  switch (read.stop) {
    case BlockStop::NoByte:
      if (read.moved == 0) {
        return "the box never sent its record (nothing within " + Seconds(kByteReadTimeoutMs) +
               " of the link coming up); check that the box is ready for an update, then " +
               kRetryFromOff;
      }
      return "the box's record stopped after " + std::to_string(read.moved) + " of " + record +
             " bytes (nothing more for " + Seconds(kByteReadTimeoutMs) + "); " + kCheckCable;
    case BlockStop::LinkLost:
      return std::string("the link dropped before the box sent its record; ") + kCheckCable;
    case BlockStop::Left:
      return "stopped while waiting for the box's record; the box keeps its old software";
    default:
      return std::string("the box did not turn the link round to send its record; ") +
             kRetryFromOff;
  }
}

std::string HeaderCause(const BlockOutcome& write) {
  const std::string of = std::to_string(write.moved) + " of " + std::to_string(write.count);
  switch (write.stop) {
    case BlockStop::LinkLost:
      return "the link dropped after " + of + " bytes of the update's announcement; " +
             kCheckCable;
    case BlockStop::FifoStalled:
      return "the box stopped taking bytes after " + of +
             " of the update's announcement (its FIFO stayed full for " +
             Seconds(kFifoStallTimeoutMs) + "); " + kRetryFromOff;
    default:
      return std::string("the box did not turn the link round to take the update's "
                         "announcement; ") +
             kRetryFromOff;
  }
}

std::string ImageCause(const BlockOutcome& write) {
  const std::string of = std::to_string(write.moved) + " of " + std::to_string(write.count);
  switch (write.stop) {
    case BlockStop::BadArgument:
      return "the update file is empty: there is no software to send; choose the update file "
             "again";
    case BlockStop::LinkLost:
      return "the link dropped after " + of + " bytes; " + kKeepOnAndRetry;
    case BlockStop::FifoStalled:
      return "the box stopped taking bytes after " + of + " (its FIFO stayed full for " +
             Seconds(kFifoStallTimeoutMs) + "); " + kKeepOnAndRetry;
    default:
      return std::string("the box did not turn the link round to take the image; ") +
             kKeepOnAndRetry;
  }
}

std::string ConfirmationCause(const BlockOutcome& read) {
  constexpr char kWaitThenRetry[] =
      "leave the box on a few minutes more in case it is still busy, then switch it off and "
      "on and run the update again";
  switch (read.stop) {
    case BlockStop::NoByte:
      if (read.moved == 0) {
        return "the box did not confirm within " + Seconds(kClosingRecordTimeoutMs) + "; " +
               kWaitThenRetry;
      }
      return "the box's confirmation stopped after " + std::to_string(read.moved) + " of " +
             std::to_string(read.count) + " bytes; " + kWaitThenRetry;
    case BlockStop::FifoStalled:
      return "the box stopped taking bytes just before the end of the image (the last ones "
             "stayed in the port's FIFO for " +
             Seconds(kDrainTimeoutMs) + "), so it never confirmed; " + kKeepOnAndRetry;
    case BlockStop::LinkLost:
      return std::string("the link dropped after the image, before the box confirmed; ") +
             kKeepOnAndRetry;
    case BlockStop::Left:
      return kNotConfirmedText;
    default:
      return std::string("the box did not turn the link round to confirm; ") + kWaitThenRetry;
  }
}

std::string UnopenedFileCause(const std::string& path, const std::string& why) {
  return "the update file " + Quoted(path) + " would not open to be loaded (" + why +
         "); it was moved, deleted or replaced after Start: check it and start again";
}

std::string UnreopenedFileCause(const std::string& path, const std::string& why) {
  return "the update file " + Quoted(path) + " would not open a second time (" + why +
         "); check it and start again";
}

std::string UnreadFileCause(const std::string& path, const std::string& why) {
  return "the update file " + Quoted(path) + " could not be loaded: " + why +
         "; check it and start again";
}

std::string NoMemoryCause(std::int64_t size) {
  return "no memory to hold the " + std::to_string(size) +
         "-byte image; close other programs and start again";
}

std::string StoppedBeforeImageCause() {
  return "the update was stopped before the image went out; the box keeps its old software";
}

std::string ConfirmationCountdown(std::int64_t waited_ms) {
  std::int64_t left_ms = kClosingRecordTimeoutMs - waited_ms;
  if (left_ms < 0) left_ms = 0;
  // Rounded up, so the count reaches 0 only when the bound has run out.
  return "The box has " + std::to_string((left_ms + 999) / 1000) + " s left to confirm.";
}

}  // namespace m4410
