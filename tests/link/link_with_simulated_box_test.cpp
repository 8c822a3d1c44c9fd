// The link's whole life (establish, reverse, forward, terminate) against the simulated box,
// the phase the registers show at each rest, and each fault of the table the link can show.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "link/block_transfer.h"
#include "link/parallel_link.h"
#include "link/port_phase.h"
#include "port/port_driver.h"
#include "link/time_source.h"
#include "sim/sim_options.h"
#include "sim/simulated_box.h"
#include "support/update_faults.h"

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
    SetProcessPortFactory({});
    SetTimeSource(nullptr);
  }

  void Open(const std::string& sim) {
    SimOptions options;
    std::string error;
    ASSERT_TRUE(ParseSimOptions(sim, &options, &error)) << error;
    box_ = std::make_unique<SimulatedBox>(options, &clock_);
    SetTimeSource(&clock_);
    SetProcessPortFactory(box_->Factory());
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

// The fault table, as the link meets it: what the step gives and the phase the registers show
// after it.
TEST_F(LinkWithSimulatedBoxTest, EachFaultGivesItsResultAndLeavesItsPhase) {
  for (const test::UpdateFault& fault : test::kUpdateFaults) {
    if (!fault.link.step) continue;
    SCOPED_TRACE(fault.name);
    Open(fault.sim);
    testing::internal::CaptureStdout();
    if (fault.link.linked_first) EXPECT_EQ(EstablishLink(context()), 0);
    EXPECT_EQ(fault.link.step(context()), fault.link.result);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(Phase(), fault.link.phase);
    EXPECT_EQ(HostFaultSummary(box_->Receipt()), "none");
    ClosePortDriver(std::move(context_));
  }
}

}  // namespace
}  // namespace m4410
