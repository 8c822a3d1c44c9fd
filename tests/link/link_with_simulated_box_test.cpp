// The link's whole life (establish, reverse, forward, terminate) against the simulated box,
// with each of the box's link faults and the phase each leaves the link in.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "link/block_transfer.h"
#include "link/parallel_link.h"
#include "port/port_driver.h"
#include "port/time_source.h"
#include "sim/sim_options.h"
#include "sim/simulated_box.h"

namespace m4410 {
namespace {

class LinkWithSimulatedBoxTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // Whatever the box left unanswered, the link never broke the protocol.
    if (box_) {
      EXPECT_EQ(HostFaultSummary(box_->Receipt()), "none");
    }
    if (context_) ClosePortDriver(std::move(context_));
    SetPortAccessFactory({});
    SetTimeSource(nullptr);
  }

  void Open(const std::string& sim) {
    SimOptions options;
    std::string error;
    ASSERT_TRUE(ParseSimOptions(sim, &options, &error)) << error;
    box_ = std::make_unique<SimulatedBox>(options, &clock_);
    SetTimeSource(&clock_);
    SetPortAccessFactory(box_->Factory());
    ASSERT_EQ(OpenPortDriver(&context_), 0);
  }

  PortDriverContext* context() { return context_.get(); }
  std::uint8_t Control() { return ReadControl(context()); }
  std::uint8_t Ecr() { return ReadEcr(context()); }
  std::int64_t MillisSince(std::int64_t micros) { return (clock_.PeekMicros() - micros) / 1000; }

  VirtualClock clock_{1'000'000'000};
  std::unique_ptr<SimulatedBox> box_;
  std::unique_ptr<PortDriverContext> context_;
};

TEST_F(LinkWithSimulatedBoxTest, WholeLifeEstablishReverseForwardTerminate) {
  Open("");
  testing::internal::CaptureStdout();
  ASSERT_EQ(EstablishLink(context()), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Negotiation succeded\n");
  EXPECT_EQ(Control(), 0x04);
  EXPECT_EQ(Ecr() & 0xFC, 0x74);
  EXPECT_EQ(box_->ConfigB(), 0x0B);
  EXPECT_EQ(box_->LastData(), 0x00);
  EXPECT_EQ(box_->Receipt().extensibility_byte, 0x10);
  EXPECT_EQ(CurrentLinkPhase(context()), LinkPhase::ForwardIdle);

  // The box speaks first: its opening record comes in reverse.
  std::uint8_t record[12];
  ASSERT_EQ(BlockRead(context(), record, 12), 0);
  EXPECT_EQ(PortDirectionIs(context(), 1), 1);
  EXPECT_EQ(CurrentLinkPhase(context()), LinkPhase::ReverseIdle);
  EXPECT_EQ(record[2], 0x44);
  EXPECT_EQ(record[3], 0x10);

  ASSERT_EQ(SwitchToForward(context()), 0);
  EXPECT_EQ(PortDirectionIs(context(), 0), 1);
  EXPECT_EQ(Ecr() >> 5, 3);
  EXPECT_EQ(CurrentLinkPhase(context()), LinkPhase::ForwardIdle);

  ASSERT_EQ(SwitchToReverse(context()), 0);
  EXPECT_EQ(TerminateLink(context()), 0);
  EXPECT_EQ(Control(), 0x0C);
  EXPECT_EQ(Ecr() >> 5, 0);
  EXPECT_TRUE(box_->Receipt().terminated);
  EXPECT_EQ(CurrentLinkPhase(context()), LinkPhase::Compatibility);
}

TEST_F(LinkWithSimulatedBoxTest, SilentBoxFailsAfterThePauseAndTheLimit) {
  Open("answer-on-attempt=0");
  const std::int64_t start = clock_.PeekMicros();
  EXPECT_EQ(EstablishLink(context()), 1);
  const std::int64_t waited = MillisSince(start);
  EXPECT_GE(waited, 45);  // 10 ms pause, then the 35 ms limit
  EXPECT_LT(waited, 50);
  EXPECT_EQ(box_->LastData(), 0x00);
  EXPECT_EQ(Control(), 0x0C);
  EXPECT_EQ(CurrentLinkPhase(context()), LinkPhase::Compatibility);
}

TEST_F(LinkWithSimulatedBoxTest, BoxAnsweringOnlyTheThirdAttempt) {
  Open("answer-on-attempt=3");
  EXPECT_EQ(NegotiateEcp(context()), -2);
  EXPECT_EQ(NegotiateEcp(context()), -2);
  EXPECT_EQ(EstablishLink(context()), 0);
  EXPECT_EQ(box_->Receipt().negotiation_attempts, 3u);
}

TEST_F(LinkWithSimulatedBoxTest, UnconfirmedEcpModeIsRefused) {
  Open("confirm=no");
  EXPECT_EQ(NegotiateEcp(context()), -3);
  EXPECT_EQ(Control(), 0x0C);
  EXPECT_EQ(CurrentLinkPhase(context()), LinkPhase::Compatibility);
  EXPECT_EQ(box_->LastData(), 0x00);
  EXPECT_EQ(EstablishLink(context()), 1);
}

TEST_F(LinkWithSimulatedBoxTest, LateNackStillNegotiatesWithoutTheMessage) {
  Open("nack-delay-ms=5");
  testing::internal::CaptureStdout();
  EXPECT_EQ(NegotiateEcp(context()), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(SetupEcpForward(context()), 0);
}

TEST_F(LinkWithSimulatedBoxTest, SilentSetupLeavesByteMode) {
  Open("setup=no");
  EXPECT_EQ(NegotiateEcp(context()), 0);
  EXPECT_EQ(SetupEcpForward(context()), -1);
  EXPECT_EQ(Ecr() >> 5, 1);
  EXPECT_EQ(CurrentLinkPhase(context()), LinkPhase::EcpSetup);
  EXPECT_EQ(EstablishLink(context()), 1);
}

TEST_F(LinkWithSimulatedBoxTest, UnansweredReverseRequestTimesOutAndReadsGiveUp) {
  Open("reverse=no");
  ASSERT_EQ(EstablishLink(context()), 0);
  EXPECT_EQ(SwitchToReverse(context()), -1);
  EXPECT_EQ(CurrentLinkPhase(context()), LinkPhase::DirectionUnknown);
  std::uint8_t byte;
  const std::int64_t start = clock_.PeekMicros();
  EXPECT_EQ(BlockRead(context(), &byte, 1), -1);
  EXPECT_GE(MillisSince(start), 10000);
}

TEST_F(LinkWithSimulatedBoxTest, UnansweredTerminationStillEndsInCompatibilityLines) {
  Open("terminate=no");
  ASSERT_EQ(EstablishLink(context()), 0);
  EXPECT_EQ(TerminateLink(context()), 0);
  EXPECT_EQ(Control() & 0x0F, 0x0C);
  EXPECT_FALSE(box_->Receipt().terminated);
  EXPECT_EQ(CurrentLinkPhase(context()), LinkPhase::Compatibility);
}

TEST_F(LinkWithSimulatedBoxTest, DrainGivesUpWhenTheBoxStopsTakingBytes) {
  Open("stall-at=0,opening=no");
  ASSERT_EQ(EstablishLink(context()), 0);
  const std::uint8_t header[12] = {0, 0, 0, 1, 0x40, 0x20, 0, 0, 0, 0, 0, 100};
  ASSERT_EQ(BlockWrite(context(), header, 12), 0);
  std::uint8_t byte = 0xAA;
  ASSERT_EQ(BlockWrite(context(), &byte, 1), 0);  // stays in the FIFO
  const std::int64_t start = clock_.PeekMicros();
  EXPECT_EQ(SwitchToReverse(context()), -1);
  EXPECT_GE(MillisSince(start), 10000);
  EXPECT_LT(MillisSince(start), 11000);
  EXPECT_EQ(CurrentLinkPhase(context()), LinkPhase::ForwardIdle);
}

}  // namespace
}  // namespace m4410
