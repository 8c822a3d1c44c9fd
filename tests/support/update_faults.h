// Every fault a run can meet, in one table that the link, protocol and worker tests read: the
// box's options and the circumstance set up on the port's log, then what each level makes of
// it. A level asserts only what it adds (the link: the step's result and the phase the
// registers show; the protocol: SendUpdate's result, its lines and its time; the worker:
// stages, termination, release, cause) and skips a row it cannot show. Add a fault here.
#pragma once

#include <array>
#include <filesystem>
#include <ostream>
#include <string>

#include "board/stage_board.h"
#include "link/block_transfer.h"
#include "link/parallel_link.h"
#include "protocol/update_protocol.h"
#include "sim/sim_rig.h"
#include "support/unusual_files.h"

namespace m4410::test {

inline constexpr std::size_t kFaultImageSize = 3000;
inline constexpr std::size_t kFaultHeaderSize = 12;

inline bool IsFifoRead(const PortEvent& e) { return e.Fifo() && e.kind == PortEvent::Read; }
inline bool IsFifoWrite(const PortEvent& e) { return e.Fifo() && e.kind == PortEvent::Write; }

// --- circumstances the box's options cannot make ------------------------------------------

inline void Nothing(PortLog&, std::string*) {}
inline void RefuseClaim(PortLog& log, std::string*) { log.refuse_claim = true; }
inline void LowerOnClaim(PortLog& log, std::string*) {
  log.after_claim = [] { LowerKeepGoing(); };
}
// ECR 0x74 is the last step of the ECP set-up: the link is up.
inline void LowerWhenLinked(PortLog& log, std::string*) {
  log.watchers.push_back([](const PortEvent& e) {
    if (e.Is(PortEvent::Write, PortRange::Extended, 2) && e.value == 0x74) LowerKeepGoing();
  });
}
// Control 0x06 is the negotiation request of a link attempt.
inline void LowerOnFirstAttempt(PortLog& log, std::string*) {
  log.watchers.push_back([](const PortEvent& e) {
    if (e.Is(PortEvent::Write, PortRange::Standard, 2) && e.value == 0x06) LowerKeepGoing();
  });
}
inline void RemoveFile(PortLog&, std::string* path) { *path += ".gone"; }
// A named pipe with no writer on Linux, a device on Windows.
inline void NotAPlainFile(PortLog&, std::string* path) {
  const UnusualFiles unusual(std::filesystem::path(*path).parent_path());
  *path = unusual.all().front().path;
}
// A plain file whose every read fails.
inline void UnreadableFile(PortLog&, std::string* path) { *path = UnreadablePlainFile(); }
inline void LowerAfterBoxRecord(PortLog& log, std::string*) {
  log.watchers.push_back([&log](const PortEvent& e) {
    if (IsFifoRead(e) && log.fifo_reads == 12) LowerKeepGoing();
  });
}
inline void DropSelectAfterBoxRecord(PortLog& log, std::string*) {
  log.read_filter = [&log](const PortEvent& e) {
    return e.Is(PortEvent::Read, PortRange::Standard, 1) && log.fifo_reads >= 12
               ? static_cast<std::uint8_t>(e.value & ~0x10)
               : e.value;
  };
}
inline void LowerAfterHeader(PortLog& log, std::string*) {
  log.watchers.push_back([&log](const PortEvent& e) {
    if (IsFifoWrite(e) && log.fifo_writes == kFaultHeaderSize) LowerKeepGoing();
  });
}
inline void LowerDuringImage(PortLog& log, std::string*) {
  log.watchers.push_back([&log](const PortEvent& e) {
    if (IsFifoWrite(e) && log.fifo_writes == kFaultHeaderSize + kFaultImageSize / 2) {
      LowerKeepGoing();
    }
  });
}

// --- the link's steps that meet a fault ---------------------------------------------------

inline int ThirdAttempt(PortDriverContext* context) {
  NegotiateEcp(context);
  NegotiateEcp(context);
  return EstablishLink(context);
}
inline int ReadOpeningRecordThenTurnForward(PortDriverContext* context) {
  std::uint8_t record[12];
  if (BlockRead(context, record, 12) != 0) return 99;
  return SwitchToForward(context);
}
// A byte the box never takes stays in the FIFO, and the turn cannot drain it.
inline int TurnWithAByteTheBoxKeeps(PortDriverContext* context) {
  const std::uint8_t header[12] = {0, 0, 0, 1, 0x40, 0x20, 0, 0, 0, 0, 0, 100};
  const std::uint8_t byte = 0xAA;
  if (BlockWrite(context, header, 12) != 0 || BlockWrite(context, &byte, 1) != 0) return 99;
  return SwitchToReverse(context);
}

// --- the table ------------------------------------------------------------------------------

using StageRow = std::array<StageStatus, kStageCount>;

struct LinkLevel {
  int (*step)(PortDriverContext*) = nullptr;  // nullptr: the link alone does not show it
  bool linked_first = false;                  // the link established before the step
  int result = 0;
  const char* phase = "";                     // as the registers show it afterwards
};

inline constexpr int kNoExchange = 1;  // not a TransferResult: the row ends before SendUpdate

struct ProtocolLevel {
  int outcome = kNoExchange;  // SendUpdate's result, the link up at the first attempt
  const char* lines = "";     // what it writes on standard output (a pattern)
  int min_ms = 0;             // how long it takes in simulated time, at least
  int max_ms = 0;             // and less than this (0: no bound)
};

struct WorkerLevel {
  StageRow stages;
  StageStatus busy5;  // stage 5 while the image goes out
  StageStatus busy6;  // stage 6 while the closing record is awaited
  bool terminated;    // the box terminated by the handshake, before the release
  int releases;       // ClosePortDriver
  bool settled;       // the 3000 ms sleep before stage 7
  const char* cause;  // what the operator is told at the first failure (a pattern)
};

struct UpdateFault {
  const char* name;
  const char* sim;
  void (*arrange)(PortLog& log, std::string* path);  // may change the update's path
  LinkLevel link;
  ProtocolLevel protocol;
  WorkerLevel worker;
};

inline void PrintTo(const UpdateFault& fault, std::ostream* out) { *out << fault.name; }

inline constexpr StageStatus O = Okay, F = Failed, N = NoReport, B = Busy;

namespace faults {
constexpr int kSecond = 1000;  // in milliseconds
const char* const kNoLink = "no box answered the ECP negotiation in 3 attempts";
const char* const kNeverSent = "^the box never sent its record \\(nothing within 10 s";
const char* const kStopped = "^the update was stopped before the image went out";
const char* const kWouldNotOpen = "^the update file '.*' would not open to be loaded \\(.+\\)";
}  // namespace faults

inline const UpdateFault kUpdateFaults[] = {
    // clang-format off
    {"OpenPortDriverFails", "", RefuseClaim, {}, {},
     {{O, F, N, N, N, N, N}, N, N, false, 0, false, "^cannot open the port"}},
    {"KeepGoingLoweredAfterStage2", "", LowerOnClaim, {}, {},
     {{O, O, N, N, N, N, N}, N, N, false, 1, false, ""}},
    {"ThreeLinkAttemptsFail", "answer-on-attempt=0", Nothing,
     {EstablishLink, false, 1, "compatibility idle"}, {},
     {{O, O, F, N, N, N, N}, N, N, false, 1, false, faults::kNoLink}},
    {"EcpNotConfirmed", "confirm=no", Nothing, {NegotiateEcp, false, -3, "compatibility idle"},
     {}, {{O, O, F, N, N, N, N}, N, N, false, 1, false, faults::kNoLink}},
    {"SetupUnanswered", "setup=no", Nothing, {EstablishLink, false, 1, "between phases"}, {},
     {{O, O, F, N, N, N, N}, N, N, false, 1, false, faults::kNoLink}},
    // As slow to leave its answer to the request as to give it: the next attempt must not
    // take that answer for its own.
    {"SlowBoxNeverConfirming", "confirm=no,latency-us=30000", Nothing,
     {ThirdAttempt, false, 1, "compatibility idle"}, {},
     {{O, O, F, N, N, N, N}, N, N, false, 1, false, faults::kNoLink}},
    {"LinkOnTheThirdAttempt", "answer-on-attempt=3", Nothing,
     {ThirdAttempt, false, 0, "ECP forward idle"}, {},
     {{O, O, O, O, O, O, O}, B, B, true, 1, true, ""}},
    {"LateNackStillLinks", "nack-delay-ms=5", Nothing,
     {EstablishLink, false, 0, "ECP forward idle"}, {Completed},
     {{O, O, O, O, O, O, O}, B, B, true, 1, true, ""}},
    {"KeepGoingLoweredAfterStage3", "", LowerWhenLinked, {}, {Cancelled},
     {{O, O, O, N, N, N, N}, N, N, true, 1, false, ""}},
    {"KeepGoingLoweredDuringLinkAttempts", "answer-on-attempt=2", LowerOnFirstAttempt, {}, {},
     {{O, O, O, N, N, N, N}, N, N, true, 1, false, ""}},
    {"UpdateFileVanished", "", RemoveFile, {}, {OpenFailed},
     {{O, O, O, N, N, N, F}, N, N, true, 1, true, faults::kWouldNotOpen}},
    {"UpdateFileIsNotAPlainFile", "", NotAPlainFile, {}, {OpenFailed},
     {{O, O, O, N, N, N, F}, N, N, true, 1, true, faults::kWouldNotOpen}},
    {"UpdateFileUnreadable", "", UnreadableFile, {},
     {ReadFailed, "error during reading file '.*' up in memory\n"},
     {{O, O, O, N, N, N, F}, N, N, true, 1, true, "^the update file '.*' could not be loaded: .+"}},
    {"NoBoxRecord", "opening=no", Nothing, {},
     {NoBoxRecord, "", 10 * faults::kSecond, 11 * faults::kSecond},
     {{O, O, O, F, N, N, F}, N, N, true, 1, true, faults::kNeverSent}},
    {"ReverseUnanswered", "reverse=no", Nothing,
     {SwitchToReverse, true, -1, "ECP reverse idle"},  // the host turned; the box did not
     {NoBoxRecord},
     {{O, O, O, F, N, N, F}, N, N, true, 1, true, faults::kNeverSent}},
    {"TurnWithBytesTheBoxKeeps", "stall-at=0,opening=no", Nothing,
     {TurnWithAByteTheBoxKeeps, true, -1, "ECP forward idle"}, {},
     {{O, O, O, F, N, N, F}, N, N, true, 1, true, faults::kNeverSent}},
    {"KeepGoingLoweredAfterBoxRecord", "", LowerAfterBoxRecord, {}, {Cancelled},
     {{O, O, O, N, N, N, F}, N, N, true, 1, true, faults::kStopped}},
    {"ForwardTurnLate", "forward-ack-ms=40", Nothing,
     {ReadOpeningRecordThenTurnForward, true, -2, "between phases"},  // mid-turn
     {HeaderFailed},
     {{O, O, O, F, N, N, F}, N, N, true, 1, true,
      "^the box did not turn the link round to take the update's announcement"}},
    {"HeaderNotSent", "", DropSelectAfterBoxRecord, {},
     {HeaderFailed, "Write error -1, byte written 0\n"},
     {{O, O, O, F, N, N, F}, N, N, true, 1, true,
      "^the link dropped after 0 of 12 bytes of the update's announcement"}},
    {"KeepGoingLoweredAfterHeader", "", LowerAfterHeader, {},
     {Cancelled, "", faults::kSecond / 2 - 1, 0},  // the pause after the header first
     {{O, O, O, O, N, N, F}, N, N, true, 1, true, faults::kStopped}},
    // What went into the FIFO: the 1000 the box took and a little more (at most a FIFO's
    // worth: simulated_box_test). Patterns stay within what both regex engines read.
    {"ImageNotSent", "drop-select-at=1000", Nothing, {},
     {ImageFailed, "Write error -1, byte written 10..\n"},
     {{O, O, O, O, F, N, F}, B, N, true, 1, true,
      "^the link dropped after 10.. of 3000 bytes; leave the box switched on"}},
    {"ImageStalled", "stall-at=1000", Nothing, {},
     {ImageFailed, "Write error -1, byte written ", 10 * faults::kSecond, 12 * faults::kSecond},
     {{O, O, O, O, F, N, F}, B, N, true, 1, true,
      "^the box stopped taking bytes after 10.. of 3000 \\(its FIFO stayed full for 10 s\\)"}},
    {"ClosingRecordNotReceived", "closing=no", Nothing, {},
     {NoConfirmation, "", 600 * faults::kSecond, 605 * faults::kSecond},
     {{O, O, O, O, O, F, F}, B, B, true, 1, true, "^the box did not confirm within 600 s; "}},
    // The last bytes of the image still in the FIFO when the box stops taking them, or
    // drops the link: the port never turns round, so no closing record is read.
    {"StalledWithTheImageEndInTheFifo", "stall-at=2988", Nothing, {}, {NoConfirmation},
     {{O, O, O, O, O, F, F}, B, B, true, 1, true,
      "^the box stopped taking bytes just before the end of the image"}},
    {"LinkLostWithTheImageEndInTheFifo", "rate=1000,drop-select-at=2988", Nothing, {},
     {NoConfirmation},
     {{O, O, O, O, O, F, F}, B, B, true, 1, true,
      "^the link dropped after the image, before the box confirmed"}},
    {"Completed", "", Nothing, {}, {Completed, "^size read\n$"},
     {{O, O, O, O, O, O, O}, B, B, true, 1, true, ""}},
    {"KeepGoingLoweredDuringImage", "", LowerDuringImage, {}, {Completed},
     {{O, O, O, O, O, O, O}, B, B, true, 1, true, ""}},
    // The result stands; the lines are reset to compatibility, the ECR left in ECP mode.
    {"TerminationUnanswered", "terminate=no", Nothing, {TerminateLink, true, 0, "between phases"},
     {Completed},
     {{O, O, O, O, O, O, O}, B, B, false, 1, true, ""}},
    // clang-format on
};

}  // namespace m4410::test
