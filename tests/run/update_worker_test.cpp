#include "run/update_worker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <future>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "board/run_cause.h"
#include "board/stage_board.h"
#include "protocol/update_protocol.h"
#include "sim/simulated_box.h"
#include "sim/crc32.h"
#include "sim/sim_rig.h"
#include "support/unusual_files.h"
#include "support/update_faults.h"
#include "ui/run_notes.h"

namespace m4410 {
namespace {

using ::testing::ContainsRegex;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using test::Bytes;
using test::PortEvent;
using test::PortLog;

constexpr std::size_t kImageSize = test::kFaultImageSize;
constexpr std::size_t kHeaderSize = test::kFaultHeaderSize;
using test::IsFifoRead;
using test::IsFifoWrite;
using test::B;
using test::F;
using test::N;
using test::O;

std::vector<StageStatus> Stages() {
  std::vector<StageStatus> out;
  for (int stage = 1; stage <= kStageCount; ++stage) out.push_back(GetStage(stage));
  return out;
}

class UpdateWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
    RaiseKeepGoing();
    image_ = test::ImageBytes(kImageSize);
    path_ = dir_.Put("update.bin", image_);
  }
  void TearDown() override {
    // However the run ended, the host never broke the protocol.
    if (rig_) {
      EXPECT_EQ(HostFaultSummary(rig_->receipt()), "none");
    }
    rig_.reset();
    RaiseKeepGoing();
  }

  // Installs the box and watches the run: Busy on stage 5 while the image goes out, Busy on
  // stage 6 once the closing record is awaited, the box's termination at the release, and
  // the stages around the settling sleep.
  test::SimRig& Box(std::string_view sim) {
    rig_ = std::make_unique<test::SimRig>(sim);
    PortLog& log = rig_->log();
    log.watchers.push_back([this, &log](const PortEvent& e) {
      if (IsFifoWrite(e) && log.fifo_writes == kHeaderSize + 1) {
        stage5_during_image_ = GetStage(SoftwareTransmitted);
      }
      if (IsFifoWrite(e) && log.fifo_writes == kHeaderSize + kImageSize) {
        image_sent_ = true;
      } else if (image_sent_ && !closing_awaited_ &&
                 e.Is(PortEvent::Read, PortRange::Standard, 2)) {
        closing_awaited_ = true;  // the closing record's read has begun
        stage6_awaiting_closing_ = GetStage(BoxUpdated);
      }
    });
    log.before_release = [this] { terminated_at_release_ = rig_->receipt().terminated; };
    rig_->time().on_sleep = [this](std::int32_t ms) {
      if (ms == kSettleAfterTransferMs) stages_at_settle_.push_back(Stages());
    };
    return *rig_;
  }

  void Run() {
    std::string job = path_;
    EXPECT_EQ(UpdateWorker(&job), 0u);
  }

  test::ScratchDir dir_;
  Bytes image_;
  std::string path_;
  std::unique_ptr<test::SimRig> rig_;
  StageStatus stage5_during_image_ = NoReport;
  StageStatus stage6_awaiting_closing_ = NoReport;
  bool image_sent_ = false;
  bool closing_awaited_ = false;
  bool terminated_at_release_ = false;
  std::vector<std::vector<StageStatus>> stages_at_settle_;
};

// --- the fault table: what the worker adds -------------------------------------------------

class WorkerOutcomeTest : public UpdateWorkerTest,
                          public ::testing::WithParamInterface<test::UpdateFault> {};

TEST_P(WorkerOutcomeTest, StagesTerminationAndRelease) {
  const test::UpdateFault& fault = GetParam();
  const test::WorkerLevel& row = fault.worker;
  if (fault.arrange == test::UnreadableFile && UnreadablePlainFile().empty()) {
    GTEST_SKIP() << "no plain file here fails its reads";
  }
  test::SimRig& rig = Box(fault.sim);
  fault.arrange(rig.log(), &path_);
  Run();

  EXPECT_THAT(Stages(), ElementsAreArray(row.stages));
  EXPECT_EQ(stage5_during_image_, row.busy5);
  EXPECT_EQ(stage6_awaiting_closing_, row.busy6);
  EXPECT_EQ(rig.log().claims, 1);
  EXPECT_EQ(rig.log().releases, row.releases);
  EXPECT_EQ(terminated_at_release_, row.terminated);
  if (!row.settled) {
    EXPECT_TRUE(stages_at_settle_.empty());
  } else {
    // Slept once through the time source, with the transfer's stages already written and
    // stage 7 held back.
    ASSERT_EQ(stages_at_settle_.size(), 1u);
    std::vector<StageStatus> expected(row.stages.begin(), row.stages.end());
    expected.back() = NoReport;
    EXPECT_EQ(stages_at_settle_[0], expected);
  }
  // The first failure comes with what happened and a help page on it; a run that did not fail
  // has nothing to explain.
  const auto failed = std::find(row.stages.begin(), row.stages.end(), Failed);
  if (failed == row.stages.end()) {
    EXPECT_EQ(RunCause(), "");
  } else {
    const int stage = static_cast<int>(failed - row.stages.begin()) + 1;
    EXPECT_THAT(CauseLine(stage, RunCause()), ContainsRegex(row.cause));
    const HelpPage help = CauseHelpPage(stage);
    EXPECT_EQ(help.page, stage == DriverInitialized ? std::string("port-access.html")
                                                    : "stages.html#s" + std::to_string(stage));
    EXPECT_NE(help.title, "");
  }
  // Completed means the box holds the whole image.
  if (row.stages[UpdatingCompleted - 1] == Okay) {
    EXPECT_TRUE(rig.receipt().image_complete);
    EXPECT_EQ(rig.receipt().image_bytes, image_.size());
    EXPECT_EQ(rig.receipt().image_crc32, Crc32Extend(0, image_.data(), image_.size()));
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, WorkerOutcomeTest, ::testing::ValuesIn(test::kUpdateFaults),
                         [](const ::testing::TestParamInfo<test::UpdateFault>& info) {
                           return std::string(info.param.name);
                         });

// --- what the table does not show ----------------------------------------------------------

TEST_F(UpdateWorkerTest, FailedOpenMakesNoPortAccess) {
  test::SimRig& rig = Box("");
  rig.log().refuse_claim = true;
  Run();
  EXPECT_TRUE(rig.log().events.empty());
  EXPECT_EQ(rig.log().releases, 0);
}

TEST_F(UpdateWorkerTest, KeepGoingLoweredAfterStage2ReleasesWithoutTouchingTheRegisters) {
  test::SimRig& rig = Box("");
  test::LowerOnClaim(rig.log(), nullptr);
  Run();
  std::vector<PortEvent::Kind> kinds;
  for (const PortEvent& e : rig.log().events) kinds.push_back(e.kind);
  EXPECT_THAT(kinds, ElementsAre(PortEvent::Claim, PortEvent::Release));
}

TEST_F(UpdateWorkerTest, ThreeFailedAttemptsThenReleaseWithNothingBetween) {
  test::SimRig& rig = Box("answer-on-attempt=4");
  Run();
  EXPECT_EQ(rig.receipt().negotiation_attempts, 3u);
  // After the third attempt's withdrawal (data 0, control 0x0C) only the ECP register check
  // touches the port (control 0x0C, its data pattern, no FIFO), then the port is released.
  const auto& events = rig.log().events;
  const auto withdrawal = std::find_if(events.rbegin(), events.rend(), [](const PortEvent& e) {
    return e.Is(PortEvent::Write, PortRange::Standard, 0) && e.value == 0x00;
  });
  ASSERT_NE(withdrawal, events.rend());
  for (auto e = withdrawal.base(); e != events.end() - 1; ++e) {
    EXPECT_FALSE(e->Fifo());
    if (e->Is(PortEvent::Write, PortRange::Standard, 2)) EXPECT_EQ(e->value, 0x0C);
    if (e->Is(PortEvent::Write, PortRange::Standard, 0)) EXPECT_EQ(e->value, 0xAA);
  }
  EXPECT_EQ(RunCause(), NoLinkCause(LinkAttempts));
  EXPECT_EQ(events.back().kind, PortEvent::Release);
}

TEST_F(UpdateWorkerTest, AttemptsStopAtTheFirstThatLinks) {
  test::SimRig& rig = Box("answer-on-attempt=3");
  Run();
  EXPECT_EQ(rig.receipt().negotiation_attempts, 3u);
}

TEST_F(UpdateWorkerTest, KeepGoingLoweredDuringAttemptsLetsThemFinish) {
  test::SimRig& rig = Box("answer-on-attempt=2");
  test::LowerOnFirstAttempt(rig.log(), nullptr);
  Run();
  EXPECT_EQ(rig.receipt().negotiation_attempts, 2u);
  EXPECT_EQ(GetStage(DatalinkEstablished), Okay);
  EXPECT_EQ(rig.log().fifo_reads + rig.log().fifo_writes, 0u);
}

TEST_F(UpdateWorkerTest, KeepGoingLoweredAfterStage3ExchangesNothingWithTheBox) {
  test::SimRig& rig = Box("box-data=50");
  test::LowerWhenLinked(rig.log(), nullptr);
  Run();
  EXPECT_EQ(rig.log().fifo_reads + rig.log().fifo_writes, 0u);
  EXPECT_TRUE(dir_.CwdEntries().empty());
}

TEST_F(UpdateWorkerTest, BoxDataReplacesFileZeroInTheCurrentDirectory) {
  Box("box-data=250");
  dir_.Put("cwd/0", Bytes(400, 0xEE));
  Run();
  EXPECT_EQ(GetStage(UpdatingCompleted), Okay);
  EXPECT_EQ(test::ReadWhole(dir_.cwd() / "0"), test::BoxDataBytes(250));
}

// --- the invariant, swept -------------------------------------------------------------------

// Whole runs of a small image (three bursts of 16 and a remainder) against a box that fails
// at position p, for every p: the run completes with the box holding exactly the image, or
// fails at one of the stages `may_fail` and at stage 7. Never Completed with less.
class InvariantSweepTest : public UpdateWorkerTest {
 protected:
  static constexpr std::size_t kSmall = 3 * 16 + 5;
  static constexpr std::int64_t kReadingStepUs = 25;

  void Sweep(const std::string& failure, std::size_t positions, std::vector<int> may_fail) {
    const Bytes image = test::ImageBytes(kSmall);
    const std::uint32_t crc = Crc32Extend(0, image.data(), image.size());
    std::string job = dir_.Put("small.bin", image);
    for (std::size_t p = 0; p <= positions; ++p) {
      SCOPED_TRACE(failure + std::to_string(p));
      for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
      rig_.reset();
      rig_ = std::make_unique<test::SimRig>(failure + std::to_string(p), kReadingStepUs);
      UpdateWorker(&job);
      const BoxReceipt r = rig_->receipt();
      EXPECT_EQ(HostFaultSummary(r), "none");
      if (GetStage(UpdatingCompleted) == Okay) {
        EXPECT_EQ(r.image_bytes, kSmall);
        EXPECT_EQ(r.image_crc32, crc);
        continue;
      }
      EXPECT_EQ(GetStage(UpdatingCompleted), Failed);
      int failed = 0;
      for (const int stage : may_fail) failed += GetStage(stage) == Failed;
      EXPECT_EQ(failed, 1) << ::testing::PrintToString(Stages());
    }
  }
};

// A prompt box takes each byte as it comes; a slow one (1 ms a byte) leaves the FIFO full.
TEST_F(InvariantSweepTest, PromptBoxStallingAtEveryImageByte) {
  Sweep("stall-at=", kSmall, {SoftwareTransmitted, BoxUpdated});
}

TEST_F(InvariantSweepTest, SlowBoxStallingAtEveryImageByte) {
  Sweep("rate=1000,stall-at=", kSmall, {SoftwareTransmitted, BoxUpdated});
}

TEST_F(InvariantSweepTest, PromptBoxDroppingTheLinkAtEveryImageByte) {
  Sweep("drop-select-at=", kSmall, {SoftwareTransmitted, BoxUpdated});
}

TEST_F(InvariantSweepTest, SlowBoxDroppingTheLinkAtEveryImageByte) {
  Sweep("rate=1000,drop-select-at=", kSmall, {SoftwareTransmitted, BoxUpdated});
}

TEST_F(InvariantSweepTest, BoxDyingAtEveryByteOfItsRecordAndData) {
  Sweep("box-data=20,drop-select-at-sent=", 12 + 20,
        {BoxInformationReceived, SoftwareTransmitted, BoxUpdated});
}

// --- the timing envelope, swept ---------------------------------------------------------------

// One of the box's answers made late by its own key. Its limits are in the key's own terms
// (from where the box starts counting), host waits and pauses before them included: `ignored`
// are waits the link goes on from, `hard` (0: none) the one past which the run must fail, at
// `stage` and with `result` (Completed standing for "no transfer": stage 3 fails before it).
struct LateAnswer {
  const char* key;
  std::vector<std::int64_t> ignored;
  std::int64_t hard;
  int stage;
  TransferResult result;
};

const LateAnswer kLateAnswers[] = {
    {"negotiate-ms", {}, 35, DatalinkEstablished, Completed},
    {"confirm-ms", {}, 35, DatalinkEstablished, Completed},
    // The 2 ms nAck wait goes on either way; the set-up's 35 ms answer queues behind the nAck.
    {"nack-delay-ms", {2}, 2 + 35, DatalinkEstablished, Completed},
    {"setup-ms", {}, 35, DatalinkEstablished, Completed},
    {"opening-ms", {}, 10000, BoxInformationReceived, NoBoxRecord},
    // A late acknowledgement of the turn is waited out by the wait for the record's bytes.
    {"reverse-ack-ms", {35}, 35 + 10000, BoxInformationReceived, NoBoxRecord},
    {"forward-ack-ms", {}, 35, BoxInformationReceived, HeaderFailed},
    // Counted from the image's last byte: the 500 ms pause, then the 1000 ms wait before the
    // turn, then the closing record's 600 s.
    {"ready-ms", {500 + 1000}, 500 + 1000 + 600000, BoxUpdated, NoConfirmation},
    {"update-ms", {}, 500 + 600000, BoxUpdated, NoConfirmation},
    {"terminate-ms", {35}, 0, 0, Completed},
    {"terminate-ack-ms", {35}, 0, 0, Completed},
};

// 0, each limit give or take the host's clock (a few ms), twice and ten times each limit.
std::vector<std::int64_t> DelaysAround(const LateAnswer& answer) {
  constexpr std::int64_t kMargin = 5;
  std::vector<std::int64_t> limits = answer.ignored;
  if (answer.hard > 0) limits.push_back(answer.hard);
  std::vector<std::int64_t> delays{0};
  for (const std::int64_t limit : limits) {
    for (const std::int64_t d : {limit - kMargin, limit + kMargin, 2 * limit, 10 * limit}) {
      if (d >= 0 && d <= kMaxAnswerMs) delays.push_back(d);
    }
  }
  std::sort(delays.begin(), delays.end());
  delays.erase(std::unique(delays.begin(), delays.end()), delays.end());
  return delays;
}

TEST_F(UpdateWorkerTest, EveryAnswerLateFromZeroToWellPastItsLimits) {
  constexpr std::int64_t kReadingStepUs = 25;
  const Bytes image = test::ImageBytes(100);
  const std::uint32_t crc = Crc32Extend(0, image.data(), image.size());
  std::string job = dir_.Put("small.bin", image);
  for (const LateAnswer& answer : kLateAnswers) {
    for (const std::int64_t delay : DelaysAround(answer)) {
      const std::string sim = std::string(answer.key) + "=" + std::to_string(delay);
      SCOPED_TRACE(sim);
      for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
      test::SimRig rig(sim, kReadingStepUs);
      UpdateWorker(&job);
      const BoxReceipt box = rig.receipt();
      const bool completed = GetStage(UpdatingCompleted) == Okay;

      // Never Completed with less than the image; never Failed once the box holds it and
      // its closing record has come in.
      if (completed) {
        EXPECT_TRUE(box.image_complete);
        EXPECT_EQ(box.image_crc32, crc);
      }
      if (box.image_complete && rig.log().fifo_reads == 2 * kRecordBytes) {
        EXPECT_TRUE(completed) << ::testing::PrintToString(Stages());
      }

      if (answer.hard == 0 || delay < answer.hard) {
        EXPECT_TRUE(completed) << ::testing::PrintToString(Stages());
        EXPECT_EQ(HostFaultSummary(box), "none");
        continue;
      }
      // Without a link there is no transfer, and so no stage 7.
      EXPECT_EQ(GetStage(UpdatingCompleted),
                answer.stage == DatalinkEstablished ? NoReport : Failed);
      EXPECT_EQ(GetStage(answer.stage), Failed) << ::testing::PrintToString(Stages());
      for (int later = answer.stage + 1; later < UpdatingCompleted; ++later) {
        EXPECT_EQ(GetStage(later), NoReport) << later;
      }
      BoxRecord opening;
      switch (answer.result) {
        case NoBoxRecord: EXPECT_FALSE(LastOpeningRecord(&opening)); break;
        case HeaderFailed:
          EXPECT_TRUE(LastOpeningRecord(&opening));
          EXPECT_FALSE(box.header_seen);
          break;
        case NoConfirmation: EXPECT_TRUE(box.image_complete); break;
        default: EXPECT_EQ(rig.log().fifo_reads + rig.log().fifo_writes, 0u); break;
      }
    }
  }
}

// --- the one-worker guard --------------------------------------------------------------------

TEST_F(UpdateWorkerTest, SecondStartIsRefusedWhileOneRunsAndThePathIsCopied) {
  test::SimRig& rig = Box("");
  std::atomic<int> claims{0};
  std::promise<void> entered;
  std::promise<void> go;
  std::shared_future<void> go_signal = go.get_future().share();
  // The first run's claim waits for the test; later claims go straight through.
  rig.log().before_claim = [&claims, &entered, go_signal] {
    if (claims.fetch_add(1) == 0) {
      entered.set_value();
      go_signal.wait();
    }
  };
  // Lets the first run go and waits for it on every way out of this test.
  struct LetGo {
    std::promise<void>& go;
    bool released = false;
    void operator()() {
      if (!released) go.set_value();
      released = true;
      WaitForUpdateWorker();
    }
    ~LetGo() { (*this)(); }
  } let_go{go};

  std::string job = path_;
  ASSERT_TRUE(StartUpdateWorker(&job));
  job = (dir_.root() / "not-this.bin").string();  // the run keeps the path it was given
  entered.get_future().wait();
  EXPECT_TRUE(UpdateWorkerRunning());
  std::string second = path_;
  EXPECT_FALSE(StartUpdateWorker(&second));

  let_go();
  EXPECT_FALSE(UpdateWorkerRunning());
  EXPECT_THAT(Stages(), ElementsAre(O, O, O, O, O, O, O));
  EXPECT_EQ(rig.receipt().image_crc32, Crc32Extend(0, image_.data(), image_.size()));
  EXPECT_EQ(claims.load(), 1);  // the refused start never reached the port

  // Once the first has ended, the next may start.
  for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
  ASSERT_TRUE(StartUpdateWorker(&second));
  WaitForUpdateWorker();
  EXPECT_EQ(claims.load(), 2);
  EXPECT_EQ(GetStage(UpdatingCompleted), Okay);
}

}  // namespace
}  // namespace m4410
