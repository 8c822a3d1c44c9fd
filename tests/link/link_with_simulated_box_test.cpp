// The link's whole life (establish, reverse, forward, terminate) against the simulated box,
// with each of the box's link faults and the phase each leaves the link in.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "link/block_transfer.h"
#include "link/parallel_link.h"
#include "link/port_phase.h"
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
  std::string_view Phase() { return PortPhaseName(ReadPortPhase(context())); }

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
  EXPECT_EQ(Phase(), "ECP forward idle");

  // The box speaks first: its opening record comes in reverse.
  std::uint8_t record[12];
  ASSERT_EQ(BlockRead(context(), record, 12), 0);
  EXPECT_EQ(PortDirectionIs(context(), 1), 1);
  EXPECT_EQ(Phase(), "ECP reverse idle");
  EXPECT_EQ(record[2], 0x44);
  EXPECT_EQ(record[3], 0x10);

  ASSERT_EQ(SwitchToForward(context()), 0);
  EXPECT_EQ(PortDirectionIs(context(), 0), 1);
  EXPECT_EQ(Ecr() >> 5, 3);
  EXPECT_EQ(Phase(), "ECP forward idle");

  ASSERT_EQ(SwitchToReverse(context()), 0);
  EXPECT_EQ(TerminateLink(context()), 0);
  EXPECT_EQ(Control(), 0x0C);
  EXPECT_EQ(Ecr() >> 5, 0);
  EXPECT_TRUE(box_->Receipt().terminated);
  EXPECT_EQ(Phase(), "compatibility idle");
}

// Each link fault the box can show, as the link meets it: what the operation gives and the
// phase it leaves the link in. The register steps and their timing are the scripted port's
// tests; what each fault does to a whole run is the worker's table.
struct LinkFault {
  const char* sim;
  bool linked_first;                    // the link established before the step
  int (*step)(PortDriverContext*);
  int result;
  const char* phase;  // as the registers show it
};

int ThirdAttempt(PortDriverContext* context) {
  NegotiateEcp(context);
  NegotiateEcp(context);
  return EstablishLink(context);
}

int ReadOpeningRecordThenTurnForward(PortDriverContext* context) {
  std::uint8_t record[12];
  if (BlockRead(context, record, 12) != 0) return 99;
  return SwitchToForward(context);
}

// A byte the box never takes stays in the FIFO, and the turn cannot drain it.
int TurnWithAByteTheBoxKeeps(PortDriverContext* context) {
  const std::uint8_t header[12] = {0, 0, 0, 1, 0x40, 0x20, 0, 0, 0, 0, 0, 100};
  const std::uint8_t byte = 0xAA;
  if (BlockWrite(context, header, 12) != 0 || BlockWrite(context, &byte, 1) != 0) return 99;
  return SwitchToReverse(context);
}

const LinkFault kFaults[] = {
    {"answer-on-attempt=0", false, EstablishLink, 1, "compatibility idle"},
    {"answer-on-attempt=3", false, ThirdAttempt, 0, "ECP forward idle"},
    {"confirm=no", false, NegotiateEcp, -3, "compatibility idle"},
    {"nack-delay-ms=5", false, EstablishLink, 0, "ECP forward idle"},
    {"setup=no", false, EstablishLink, 1, "between phases"},
    // The host has turned; only the box has not.
    {"reverse=no", true, SwitchToReverse, -1, "ECP reverse idle"},
    {"forward-ack-ms=40", true, ReadOpeningRecordThenTurnForward, -2,
     "between phases"},  // mid-turn: nInit high, still reverse,
    {"stall-at=0,opening=no", true, TurnWithAByteTheBoxKeeps, -1, "ECP forward idle"},
    // Compatibility lines, the ECR still in ECP mode.
    {"terminate=no", true, TerminateLink, 0, "between phases"},
};

TEST_F(LinkWithSimulatedBoxTest, EachFaultGivesItsResultAndLeavesItsPhase) {
  for (const LinkFault& fault : kFaults) {
    SCOPED_TRACE(fault.sim);
    Open(fault.sim);
    testing::internal::CaptureStdout();
    if (fault.linked_first) EXPECT_EQ(EstablishLink(context()), 0);
    EXPECT_EQ(fault.step(context()), fault.result);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(Phase(), fault.phase);
    EXPECT_EQ(HostFaultSummary(box_->Receipt()), "none");
    ClosePortDriver(std::move(context_));
  }
}

}  // namespace
}  // namespace m4410
