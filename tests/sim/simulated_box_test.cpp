// The simulated box, driven by the project's own link on the virtual clock: its answers, its
// records, what it takes and counts, and the faults it can be told to show. The chip alone is
// ecp_chip_test's; what each fault does to a run is the fault table's.
#include "sim/simulated_box.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/block_transfer.h"
#include "link/parallel_link.h"
#include "port/parport_bits.h"
#include "port/port_driver.h"
#include "sim/box_protocol.h"
#include "sim/crc32.h"
#include "sim/ecp_chip.h"
#include "sim/sim_rig.h"

namespace m4410 {
namespace {

using test::Bytes;
using test::PortEvent;

constexpr std::int64_t kMs = 1000;  // in microseconds

Bytes Header(std::uint32_t length) { return test::RecordBytes(1, 0x40200000, length); }
std::uint32_t CrcOf(const Bytes& bytes) { return Crc32Extend(0, bytes.data(), bytes.size()); }

// A box shaped by `sim` on a port opened through the port seam, as a run opens it.
class SimulatedBoxTest : public ::testing::Test {
 protected:
  void TearDown() override { Close(); }

  void Open(std::string_view sim) {
    Close();
    rig_.reset();  // its end takes the port seam down with it
    rig_ = std::make_unique<test::SimRig>(sim);
    ASSERT_EQ(OpenPortDriver(&context_), 0);
  }
  void Close() {
    if (context_) ClosePortDriver(std::move(context_));
  }
  // Quietly: the link's message is not what these tests are about.
  int Negotiate() { return Quietly(NegotiateEcp); }
  int Establish() { return Quietly(EstablishLink); }
  int Quietly(int (*step)(PortDriverContext*)) {
    testing::internal::CaptureStdout();
    const int result = step(context());
    testing::internal::GetCapturedStdout();
    return result;
  }
  // Up to forward idle with the opening record (and box data) read off.
  void LinkAndReadOpening() {
    ASSERT_EQ(Establish(), 0);
    Bytes opening(12 + rig_->box().Options().box_data);
    ASSERT_EQ(Read(&opening), 0);
    ASSERT_EQ(SwitchToForward(context()), 0);
  }
  int Write(const Bytes& bytes) {
    testing::internal::CaptureStdout();
    const int result = BlockWrite(context(), bytes.data(), static_cast<std::int32_t>(bytes.size()));
    testing::internal::GetCapturedStdout();
    return result;
  }
  int Read(Bytes* bytes) {
    return BlockRead(context(), bytes->data(), static_cast<std::int32_t>(bytes->size()));
  }
  void Drain() {
    for (int state = FifoState(context()); state == 1 || state == 2;) state = FifoState(context());
  }

  PortDriverContext* context() { return context_.get(); }
  BoxReceipt receipt() const { return rig_->receipt(); }
  std::int64_t Now() const { return rig_->clock().PeekMicros(); }

  std::unique_ptr<test::SimRig> rig_;
  std::unique_ptr<PortDriverContext> context_;
};

// --- the handle and its claim --------------------------------------------------------------

TEST(SimulatedPortTest, OneClaimAtATimeAndAccessesOutliveTheHandle) {
  VirtualClock clock;
  PortAccessFactory factory;
  std::unique_ptr<PortAccess> first;
  {
    SimulatedBox box(SimOptions{}, &clock);
    factory = box.Factory();
    first = box.MakeAccess();
  }
  auto second = factory();
  EXPECT_EQ(first->Claim(), ClaimOutcome::Claimed);
  SetPortErrorText("");
  EXPECT_EQ(second->Claim(), ClaimOutcome::Refused);
  EXPECT_NE(PortErrorText(), "");
  // An access without the claim reaches nothing.
  EXPECT_EQ(second->Read(PortRange::Standard, 1), 0xFF);
  first->Release();
  EXPECT_EQ(second->Claim(), ClaimOutcome::Claimed);
  EXPECT_EQ(second->Read(PortRange::Standard, 1), 0xD8);
  second.reset();  // dropping the access gives up its claim
  EXPECT_EQ(first->Claim(), ClaimOutcome::Claimed);
}

TEST(SimulatedPortTest, RunsOnTheRealClock) {
  SimOptions options;
  options.latency_us = 0;
  SimulatedBox box(options, nullptr);
  auto access = box.MakeAccess();
  ASSERT_EQ(access->Claim(), ClaimOutcome::Claimed);
  access->Write(PortRange::Standard, 0, kExtensibilityEcp);
  access->Write(PortRange::Standard, 2, kControlAutoFd | kControlInit);  // the request
  EXPECT_EQ(access->Read(PortRange::Standard, 1), 0xB8);
}

// --- negotiation -----------------------------------------------------------------------------

TEST_F(SimulatedBoxTest, LinksAndRestsInForwardIdle) {
  Open("");
  ASSERT_EQ(Establish(), 0);
  EXPECT_EQ(ReadStatus(context()), 0xF8);
  const BoxReceipt r = receipt();
  EXPECT_EQ(r.negotiation_attempts, 1u);
  EXPECT_EQ(r.extensibility_byte, kExtensibilityEcp);
  EXPECT_TRUE(r.opening_queued);
  EXPECT_FALSE(r.terminated);
}

// Each answer comes latency-us after its step: about 10 ms to the request, 5 ms to its
// answer, the strobe's 1 ms and 5 ms to the confirmation; past 35 ms the request goes
// unanswered.
TEST_F(SimulatedBoxTest, AnswersAfterItsLatency) {
  Open("latency-us=5000");
  const std::int64_t start = Now();
  EXPECT_EQ(Negotiate(), 0);
  EXPECT_GE(Now() - start, 20 * kMs);
  EXPECT_LT(Now() - start, 23 * kMs);
  Open("latency-us=40000");
  EXPECT_EQ(Negotiate(), -2);
}

TEST_F(SimulatedBoxTest, AnswersFromTheChosenAttemptOnCountedFromTheClaim) {
  Open("answer-on-attempt=3");
  EXPECT_EQ(Negotiate(), -2);
  EXPECT_EQ(ReadStatus(context()), 0xD8);  // an unanswered request leaves the lines alone
  EXPECT_EQ(Negotiate(), -2);
  Close();
  EXPECT_EQ(receipt().negotiation_attempts, 2u);  // the last session stays readable
  ASSERT_EQ(OpenPortDriver(&context_), 0);
  EXPECT_EQ(receipt().negotiation_attempts, 0u);
  for (const int expected : {-2, -2, 0, 0}) EXPECT_EQ(Negotiate(), expected);

  Open("answer-on-attempt=0");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Negotiate(), -2);
  EXPECT_EQ(receipt().negotiation_attempts, 5u);
}

// After a negotiation the box did not carry through, the next request is a new attempt.
TEST_F(SimulatedBoxTest, UnconfirmedOrUnsetUpLinksLetTheNextAttemptStartAfresh) {
  Open("confirm=no");
  EXPECT_EQ(Negotiate(), -3);
  EXPECT_EQ(Negotiate(), -3);  // the request answered again, the mode again not confirmed
  EXPECT_EQ(receipt().negotiation_attempts, 2u);

  Open("setup=no");
  EXPECT_EQ(Establish(), 1);
  EXPECT_EQ(ReadStatus(context()), 0xD8);
  EXPECT_FALSE(receipt().opening_queued);
  EXPECT_EQ(Negotiate(), 0);
  EXPECT_EQ(receipt().negotiation_attempts, 2u);
}

// The link never asks for another mode; a port access that changes the byte on the cable
// does, and the box refuses it, then takes the right request as ever.
TEST_F(SimulatedBoxTest, RefusesAModeOtherThanEcp) {
  Open("");
  rig_->log().watchers.push_back([this](const PortEvent& e) {
    if (e.Is(PortEvent::Write, PortRange::Standard, 0) && e.value == kExtensibilityEcp &&
        receipt().negotiation_attempts == 0) {
      WriteData(context(), 0x14);
    }
  });
  EXPECT_EQ(Negotiate(), -3);
  EXPECT_EQ(receipt().extensibility_byte, 0x14);
  EXPECT_EQ(Negotiate(), 0);
  EXPECT_EQ(receipt().extensibility_byte, kExtensibilityEcp);
}

// nAck rises late: no message, and the set-up goes on; the box answers it after the rise.
TEST_F(SimulatedBoxTest, NackRisesAfterItsDelayAndSetupWaitsForIt) {
  Open("nack-delay-ms=5");
  testing::internal::CaptureStdout();
  EXPECT_EQ(NegotiateEcp(context()), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(ReadStatus(context()) & kStatusNAck, 0);
  const std::int64_t confirmed = Now();
  EXPECT_EQ(SetupEcpForward(context()), 0);
  EXPECT_GE(Now() - confirmed, 3 * kMs);
  EXPECT_EQ(ReadStatus(context()), 0xF8);
}

// --- records, turns and termination ------------------------------------------------------

TEST_F(SimulatedBoxTest, SendsItsOpeningRecordThenBoxDataByteIModulo251) {
  for (const std::uint32_t box_data : {0u, 250u, 600u}) {
    Open("box-data=" + std::to_string(box_data));
    ASSERT_EQ(Establish(), 0);
    Bytes got(12 + box_data);
    ASSERT_EQ(Read(&got), 0) << box_data;
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 12),
              test::RecordBytes(BoxProtocol::kModelWord, BoxProtocol::kFirmwareWord, box_data));
    for (std::size_t i = 0; i < box_data; ++i) ASSERT_EQ(got[12 + i], i % 251) << i;
    EXPECT_EQ(receipt().bytes_sent, 12u + box_data);
    EXPECT_EQ(receipt().box_data_queued, box_data);
  }
  Open("opening=no");
  ASSERT_EQ(Establish(), 0);
  Bytes none(12);
  EXPECT_EQ(Read(&none), -1);
  EXPECT_FALSE(receipt().opening_queued);
}

// The box fills the FIFO only once it has taken the data lines (event 40), never before.
TEST_F(SimulatedBoxTest, SendsOnlyOnceItHasAcknowledgedTheReverseRequest) {
  Open("latency-us=1000");
  std::size_t level_at_request = 99;
  rig_->log().watchers.push_back([&](const PortEvent& e) {
    if (e.Is(PortEvent::Write, PortRange::Standard, 2) && e.value == kControlReverse) {
      level_at_request = rig_->box().FifoLevel();
    }
  });
  ASSERT_EQ(Establish(), 0);
  Bytes opening(12);
  ASSERT_EQ(Read(&opening), 0);
  EXPECT_EQ(level_at_request, 0u);
}

TEST_F(SimulatedBoxTest, TerminatesBackToCompatibilityAndTheNextNegotiationIsAFreshOne) {
  Open("");
  ASSERT_EQ(Establish(), 0);
  EXPECT_EQ(TerminateLink(context()), 0);
  rig_->clock().Advance(1 * kMs);
  EXPECT_EQ(ReadStatus(context()), 0xD8);
  EXPECT_TRUE(receipt().terminated);
  EXPECT_EQ(Negotiate(), 0);
  EXPECT_EQ(receipt().negotiation_attempts, 2u);
  EXPECT_FALSE(receipt().terminated);
}

// --- the update exchange -----------------------------------------------------------------

TEST_F(SimulatedBoxTest, TakesHeaderAndImageThenConfirmsAfterUpdateMs) {
  Open("update-ms=50");
  LinkAndReadOpening();
  const Bytes image = test::ImageBytes(1000);
  ASSERT_EQ(Write(Header(1000)), 0);
  Drain();
  BoxReceipt r = receipt();
  EXPECT_TRUE(r.header_seen);
  EXPECT_TRUE(r.header_ok);
  EXPECT_EQ(r.header_words, (std::array<std::uint32_t, 3>{1, 0x40200000, 1000}));
  EXPECT_EQ(r.image_bytes, 0u);

  ASSERT_EQ(Write(image), 0);
  Drain();
  const std::int64_t done = Now();
  r = receipt();
  EXPECT_EQ(r.image_bytes, 1000u);
  EXPECT_EQ(r.image_crc32, CrcOf(image));
  EXPECT_TRUE(r.image_complete);
  EXPECT_EQ(r.stray_bytes, 0u);

  // The box rewrites itself for update-ms before its closing record.
  rig_->clock().Advance(done + 49 * kMs - Now());
  ReadStatus(context());
  EXPECT_FALSE(receipt().closing_queued);
  rig_->clock().Advance(2 * kMs);
  ReadStatus(context());
  EXPECT_TRUE(receipt().closing_queued);
  Bytes closing(12);
  ASSERT_EQ(Read(&closing), 0);
  EXPECT_EQ(closing, test::RecordBytes(BoxProtocol::kModelWord, CrcOf(image), 1000));
  EXPECT_EQ(TerminateLink(context()), 0);
  EXPECT_EQ(receipt().fifo_bytes_discarded, 0u);
}

TEST_F(SimulatedBoxTest, RefusesABadHeaderAndTakesTheImageAfterItAsStray) {
  for (const Bytes& header : {test::RecordBytes(2, 0x40200000, 100),
                              test::RecordBytes(1, 0x40200001, 100)}) {
    Open("update-ms=0");
    LinkAndReadOpening();
    ASSERT_EQ(Write(header), 0);
    ASSERT_EQ(Write(test::ImageBytes(100)), 0);  // taken all the same, so the host never hangs
    Drain();
    rig_->clock().Advance(10 * kMs);
    ReadStatus(context());
    const BoxReceipt r = receipt();
    EXPECT_TRUE(r.header_seen);
    EXPECT_FALSE(r.header_ok);
    EXPECT_EQ(r.header_words[0], header[3]);
    EXPECT_EQ(r.image_bytes, 0u);
    EXPECT_EQ(r.stray_bytes, 100u);
    EXPECT_FALSE(r.closing_queued);
  }
}

// Turned round mid-image and back, and past the image's end: every byte counted once.
TEST_F(SimulatedBoxTest, KeepsItsPlaceAcrossTurnsAndCountsBytesPastTheEndAsStray) {
  Open("update-ms=5000");
  LinkAndReadOpening();
  const Bytes image = test::ImageBytes(1000);
  ASSERT_EQ(Write(Header(990)), 0);
  ASSERT_EQ(Write(Bytes(image.begin(), image.begin() + 400)), 0);
  ASSERT_EQ(SwitchToReverse(context()), 0);  // waits for the FIFO to drain into the box
  ASSERT_EQ(SwitchToForward(context()), 0);
  ASSERT_EQ(Write(Bytes(image.begin() + 400, image.end())), 0);
  Drain();
  const BoxReceipt r = receipt();
  EXPECT_EQ(r.image_bytes, 990u);
  EXPECT_EQ(r.image_crc32, CrcOf(Bytes(image.begin(), image.begin() + 990)));
  EXPECT_TRUE(r.image_complete);
  EXPECT_EQ(r.stray_bytes, 10u);
  EXPECT_EQ(r.fifo_bytes_discarded, 0u);
}

// Dropped mid-image, with the last byte, or before the first: nothing more is taken or said.
TEST_F(SimulatedBoxTest, DropsSelectAfterTheChosenImageByte) {
  for (const std::uint32_t at : {100u, 50u, 0u}) {
    Open("update-ms=0,drop-select-at=" + std::to_string(at));
    LinkAndReadOpening();
    const std::uint32_t length = at == 50u ? 50u : 950u;
    ASSERT_EQ(Write(Header(length)), 0);
    const int written = Write(test::ImageBytes(length));
    rig_->clock().Advance(100 * kMs);
    EXPECT_EQ(ReadStatus(context()) & kStatusSelect, 0) << at;
    const BoxReceipt r = receipt();
    EXPECT_TRUE(r.link_dropped);
    EXPECT_EQ(r.image_bytes, at);
    EXPECT_EQ(r.image_crc32, CrcOf(test::ImageBytes(at)));
    EXPECT_EQ(r.image_complete, at == 50u);
    EXPECT_FALSE(r.closing_queued);
    if (at != 50u) {
      EXPECT_EQ(written, -1);
      EXPECT_EQ(rig_->box().FifoLevel(),
                static_cast<std::size_t>(LastBlockOutcome().moved) - at);  // none taken since
    }
  }
}

TEST_F(SimulatedBoxTest, StallsAfterTheChosenImageByteWithSelectHigh) {
  Open("stall-at=100");
  LinkAndReadOpening();
  ASSERT_EQ(Write(Header(1000)), 0);
  EXPECT_EQ(Write(test::ImageBytes(1000)), -1);
  EXPECT_EQ(LastBlockOutcome().stop, BlockStop::FifoStalled);
  EXPECT_EQ(LastBlockOutcome().moved, 100 + static_cast<int>(EcpChip::kFifoDepth));
  EXPECT_EQ(ReadStatus(context()), 0xF8);
  const BoxReceipt r = receipt();
  EXPECT_TRUE(r.stalled);
  EXPECT_FALSE(r.link_dropped);
  EXPECT_EQ(r.image_bytes, 100u);
}

TEST_F(SimulatedBoxTest, DropsSelectAfterSendingTheChosenByte) {
  for (const std::uint32_t at : {0u, 5u, 12u, 30u}) {
    Open("box-data=20,drop-select-at-sent=" + std::to_string(at));
    ASSERT_EQ(Establish(), 0);
    Bytes got(32);
    EXPECT_EQ(Read(&got), -1) << at;
    EXPECT_EQ(LastBlockOutcome().moved, static_cast<int>(at)) << at;
    EXPECT_TRUE(receipt().link_dropped) << at;
    EXPECT_EQ(ReadStatus(context()) & kStatusSelect, 0) << at;
  }
}

// A reverse request withdrawn before the box acknowledged it was never taken up: the host may
// take the data lines back at once, and the late acknowledgement changes nothing.
TEST_F(SimulatedBoxTest, ReverseRequestWithdrawnBeforeItsAcknowledgementIsDropped) {
  Open("reverse-ack-ms=100");
  ASSERT_EQ(Establish(), 0);
  EXPECT_EQ(SwitchToReverse(context()), -1);
  EXPECT_EQ(SwitchToForward(context()), 0);
  rig_->clock().Advance(200 * kMs);
  EXPECT_EQ(ReadStatus(context()), 0xF8);
  EXPECT_EQ(HostFaultSummary(receipt()), "none");
  EXPECT_EQ(receipt().bytes_sent, 0u);
}

// The box holds the byte after data-pause-at for data-pause-ms: a read that outwaits the pause
// gets every byte; one that gives up first gets data-pause-at, and its turn forward drops the
// rest, so what the box sends after the image is its closing record, not stale data.
TEST_F(SimulatedBoxTest, PausesAfterTheChosenByteAndDropsWhatTheHostGaveUpOn) {
  for (const std::uint32_t at : {0u, 5u, 12u, 31u}) {
    Open("box-data=20,data-pause-ms=3000,data-pause-at=" + std::to_string(at));
    ASSERT_EQ(Establish(), 0);
    Bytes got(32);
    const std::int64_t start = Now();
    ASSERT_EQ(Read(&got), 0) << at;
    EXPECT_GE(Now() - start, 3000 * kMs) << at;
    EXPECT_EQ(got[12 + 19], 19) << at;
  }
  Open("box-data=20,data-pause-at=16,data-pause-ms=12000,update-ms=0");
  ASSERT_EQ(Establish(), 0);
  Bytes got(32);
  EXPECT_EQ(Read(&got), -1);
  EXPECT_EQ(LastBlockOutcome().moved, 16);
  const Bytes image{0xAB};
  ASSERT_EQ(Write(Header(1)), 0);
  ASSERT_EQ(Write(image), 0);
  Bytes closing(12);
  ASSERT_EQ(Read(&closing), 0);
  EXPECT_EQ(closing, test::RecordBytes(BoxProtocol::kModelWord, CrcOf(image), 1));
  EXPECT_EQ(receipt().unsent_dropped, 16u);
}

// On the virtual clock a slow box costs the host a few polls per byte, not a million, and
// still takes bytes no faster than its rate; a box at rate 0 takes each at the next access.
TEST_F(SimulatedBoxTest, TakesBytesAtItsRateAndLetsVirtualTimeJumpMeanwhile) {
  for (const std::uint32_t rate : {1u, 1000u}) {
    Open("rate=" + std::to_string(rate));
    LinkAndReadOpening();
    const Bytes image = test::ImageBytes(rate == 1 ? 16 : 1000);
    ASSERT_EQ(Write(Header(100000)), 0);
    Drain();
    const std::int64_t start = Now();
    rig_->log().Clear();
    ASSERT_EQ(Write(image), 0);
    Drain();
    // One byte each 1/rate s (the first at once where the box was idle long enough).
    const std::int64_t each = 1'000'000 / rate;
    const auto n = static_cast<std::int64_t>(image.size());
    EXPECT_GE(Now() - start, (n - 1) * each - kMs) << rate;
    EXPECT_LE(Now() - start, n * each + kMs) << rate;
    EXPECT_LT(rig_->log().events.size(), 20 * image.size()) << rate;
    EXPECT_EQ(receipt().image_bytes, image.size());
  }
  Open("rate=0");
  LinkAndReadOpening();
  for (int i = 0; i < 17; ++i) {
    WriteEcpFifo(context(), 0x00);
    EXPECT_EQ(rig_->box().FifoLevel(), 1u);  // each write sees the previous one gone
  }
  ReadStatus(context());
  EXPECT_EQ(rig_->box().FifoLevel(), 0u);
  // Seventeen zero bytes: a header of kind 0, refused, and five bytes after it.
  EXPECT_FALSE(receipt().header_ok);
  EXPECT_EQ(receipt().stray_bytes, 5u);
}

TEST_F(SimulatedBoxTest, ReceiptCanBeReadWhileTheHostRuns) {
  Open("update-ms=0");
  LinkAndReadOpening();
  std::atomic<bool> done{false};
  std::uint64_t last_seen = 0;
  bool went_back = false;
  std::thread watcher([&] {
    while (!done.load()) {
      const std::uint64_t seen = rig_->box().Receipt().image_bytes;
      went_back |= seen < last_seen;
      last_seen = seen;
    }
  });
  const Bytes image = test::ImageBytes(20000);
  EXPECT_EQ(Write(Header(20000)), 0);
  EXPECT_EQ(Write(image), 0);
  Drain();
  done.store(true);
  watcher.join();
  EXPECT_FALSE(went_back);
  EXPECT_EQ(receipt().image_crc32, CrcOf(image));
}

// --- the box as a strict peer -----------------------------------------------------------

// Each host fault of the box's own (the chip's are ecp_chip_test's), provoked from the phase
// where it is one: the box counts exactly that kind and names it.
TEST_F(SimulatedBoxTest, CountsEachHostFaultByKind) {
  struct Case {
    HostFault kind;
    const char* text;
    void (*provoke)(PortDriverContext*);
  };
  const Case cases[] = {
      {HostFault::TurnOutOfPhase, "1 turn out of phase",
       [](PortDriverContext* c) {  // the data lines turned forward while the box drives them
         ASSERT_EQ(SwitchToReverse(c), 0);
         WriteControl(c, ReadControl(c) & ~kControlReverse);
       }},
      {HostFault::TerminationOutOfPhase, "1 termination out of phase",
       [](PortDriverContext* c) {  // termination requested from reverse idle
         ASSERT_EQ(SwitchToReverse(c), 0);
         WriteControl(c, kControlReverse | kControlSelectIn);
       }},
      {HostFault::ShortPause, "2 short pause",
       [](PortDriverContext* c) {  // event 0 straight into event 1, and a strobe of no width
         ASSERT_EQ(TerminateLink(c), 0);
         WriteData(c, kExtensibilityEcp);
         WriteControl(c, kControlAutoFd | kControlInit);
         int polls = 0;
         while (!StatusMatches(c, kStatusPError | kStatusSelect | kStatusNFault, kStatusNAck)) {
           ASSERT_LT(++polls, 1000) << "the box answers all the same";
         }
         WriteControl(c, kControlStrobe | kControlAutoFd | kControlInit);
         WriteControl(c, kControlInit);
       }},
  };
  for (const Case& c : cases) {
    Open("opening=no");
    ASSERT_EQ(Establish(), 0);
    c.provoke(context());
    const BoxReceipt r = receipt();
    EXPECT_EQ(HostFaultSummary(r), c.text);
    EXPECT_EQ(r.all_faults(), r.faults(c.kind)) << c.text;
  }
  BoxReceipt every;
  every.host_faults.fill(1);
  EXPECT_EQ(HostFaultSummary(every),
            "1 fifo read while forward, 1 fifo write while reverse, 1 fifo overrun, 1 fifo "
            "underrun, 1 turn out of phase, 1 termination out of phase, 1 short pause");
}

}  // namespace
}  // namespace m4410
