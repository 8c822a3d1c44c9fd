#include "link/ecp_presence.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/parallel_link.h"
#include "port/port_driver.h"
#include "link/scripted_port.h"
#include "board/run_cause.h"
#include "board/stage_board.h"
#include "run/link_bring_up.h"
#include "run/update_worker.h"
#include "sim/sim_rig.h"

namespace m4410 {
namespace {

using ::testing::Each;
using ::testing::HasSubstr;
using test::kControl;
using test::kData;
using test::kEcr;
using test::kStatus;
using test::PortEvent;
using test::ScriptedPort;

constexpr std::uint8_t kModeEcp = 0x60;

// What the check may do to a port that has a box on its cable: control only ever 0x0C, the
// data lines a pattern without a strobe, nothing through the FIFO or configuration register B.
void ExpectOnlyToleratedAccesses(const ScriptedPort& port) {
  EXPECT_THAT(port.Written(PortRange::Standard, kControl), Each(0x0C));
  EXPECT_THAT(port.Written(PortRange::Standard, kData), Each(0xAA));
  EXPECT_TRUE(port.Accesses(PortRange::Extended, test::kFifo, false).empty());
  EXPECT_TRUE(port.Accesses(PortRange::Extended, test::kFifo, true).empty());
  EXPECT_TRUE(port.Accesses(PortRange::Extended, test::kConfigB, true).empty());
}

// An ECP chip found in any state: every mode and interrupt setting, its FIFO empty, holding
// bytes or full (only in ECP mode, where a run cut short can leave it so; leaving that mode
// empties it). The check must find it and leave the mode at standard, the rest as found.
TEST(EcpPresenceTest, FindsAnEcrInEveryStateItCanBeLeftIn) {
  for (unsigned upper = 0; upper < 0x40; ++upper) {
    const auto found = static_cast<std::uint8_t>(upper << 2);
    for (const std::uint8_t fifo : {0x01, 0x00, 0x02}) {
      if (fifo != 0x01 && (found & 0xE0) != kModeEcp) continue;
      PortDriverContext context;
      ScriptedPort& port = ScriptedPort::AttachTo(context);
      port.Set(PortRange::Extended, kEcr, found);
      port.Set(PortRange::Standard, kControl, 0x2F);  // reverse, every line moved
      port.Answer(PortRange::Extended, kEcr, [fifo](ScriptedPort& p) {
        const bool untouched = p.WriteCount(PortRange::Extended, kEcr) == 0;
        // Bits 1-0 are the chip's own: what is written there is not kept.
        return static_cast<std::uint8_t>((p.Held(PortRange::Extended, kEcr) & 0xFC) |
                                         (untouched ? fifo : 0x01));
      });
      SCOPED_TRACE(testing::Message() << "ECR found at " << int{found} << ", FIFO bits "
                                      << int{fifo});
      EXPECT_EQ(CheckEcpRegisters(&context), EcpPresence::Present);
      EXPECT_EQ(port.Held(PortRange::Extended, kEcr) & 0xFC, found & 0x1C);
      EXPECT_EQ(port.Held(PortRange::Standard, kControl), 0x0C);
      ExpectOnlyToleratedAccesses(port);
    }
  }
}

// A card that decodes the ECR address as its control register, whatever control held: not
// an ECR, and nothing but the control's own 0x0C may be written through that alias.
TEST(EcpPresenceTest, AnEcrAddressThatMirrorsControlIsNoEcr) {
  for (unsigned control = 0; control < 0x100; ++control) {
    PortDriverContext context;
    ScriptedPort& port = ScriptedPort::AttachTo(context);
    port.Set(PortRange::Standard, kControl, static_cast<std::uint8_t>(control));
    port.Answer(PortRange::Extended, kEcr,
                [](ScriptedPort& p) { return p.Held(PortRange::Standard, kControl); });
    port.Answer(PortRange::Standard, kStatus, [](ScriptedPort&) { return 0xD8; });
    EXPECT_EQ(CheckEcpRegisters(&context), EcpPresence::NoEcpRegisters) << control;
    EXPECT_THAT(port.Written(PortRange::Extended, kEcr), Each(0x0C)) << control;
    ExpectOnlyToleratedAccesses(port);
  }
}

TEST(EcpPresenceTest, AFloatingExtendedRangeIsNoEcrAndAFloatingPortIsNoPort) {
  const auto check = [](bool port_answers) {
    PortDriverContext context;
    ScriptedPort& port = ScriptedPort::AttachTo(context);
    port.Answer(PortRange::Extended, kEcr, [](ScriptedPort&) { return 0xFF; });
    port.Answer(PortRange::Standard, kStatus, [](ScriptedPort&) { return 0xFF; });
    if (!port_answers) {
      port.Answer(PortRange::Standard, kData, [](ScriptedPort&) { return 0xFF; });
    }
    const EcpPresence presence = CheckEcpRegisters(&context);
    ExpectOnlyToleratedAccesses(port);
    return presence;
  };
  EXPECT_EQ(check(true), EcpPresence::NoEcpRegisters);
  EXPECT_EQ(check(false), EcpPresence::NoPort);
  EXPECT_EQ(CheckEcpRegisters(nullptr), EcpPresence::NoPort);

  EXPECT_THAT(EcpPresenceCause(EcpPresence::NoEcpRegisters),
              HasSubstr("no ECP registers at the port's extended address"));
  EXPECT_THAT(EcpPresenceCause(EcpPresence::NoEcpRegisters), HasSubstr("ECP+EPP"));
  EXPECT_THAT(EcpPresenceCause(EcpPresence::NoEcpRegisters),
              HasSubstr("--port lpt:BASE,ECPBASE"));
  EXPECT_THAT(EcpPresenceCause(EcpPresence::NoPort), HasSubstr("read back 0xff"));
  EXPECT_EQ(EcpPresenceCause(EcpPresence::Present), "");
}

// The link comes up by the negotiations alone, from the first access; only when every attempt
// has failed are the ECP registers looked at, to name the cause.
TEST(EcpPresenceTest, IsLookedAtOnlyAfterEveryNegotiationFailed) {
  struct Case {
    const char* sim;
    bool up;
    std::string cause;
  };
  const Case cases[] = {
      {"", true, ""},
      {"answer-on-attempt=0", false, NoLinkCause(LinkAttempts)},
      {"ecp=no", false, EcpPresenceCause(EcpPresence::NoEcpRegisters)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sim);
    test::SimRig rig(c.sim);
    std::unique_ptr<PortDriverContext> context;
    ASSERT_EQ(OpenPortDriver(&context), 0);
    testing::internal::CaptureStdout();
    const LinkBringUp link = BringLinkUp(context.get());
    testing::internal::GetCapturedStdout();
    ClosePortDriver(std::move(context));
    EXPECT_EQ(link.up, c.up);
    EXPECT_EQ(link.attempts, c.up ? 1 : LinkAttempts);
    EXPECT_EQ(link.cause, c.cause);
    EXPECT_EQ(rig.receipt().negotiation_attempts, static_cast<std::uint32_t>(link.attempts));
    // The negotiation's first step (the ECR to standard mode) is the first access; the data
    // register is read by the check alone, after the last attempt.
    std::vector<PortEvent> accesses;
    for (const PortEvent& e : rig.log().events) {
      if (e.kind == PortEvent::Read || e.kind == PortEvent::Write) accesses.push_back(e);
    }
    ASSERT_FALSE(accesses.empty());
    EXPECT_TRUE(accesses[0].Is(PortEvent::Read, PortRange::Extended, kEcr));
    std::size_t data_reads = 0;
    for (const PortEvent& e : accesses) data_reads += e.Is(PortEvent::Read, PortRange::Standard, kData);
    EXPECT_EQ(data_reads, c.up ? 0u : 1u);
  }
}

// A port without ECP registers ends stage 3 after the three attempts, with its cause.
TEST(EcpPresenceTest, TheWorkerEndsStageThreeWithTheCause) {
  test::ScratchDir dir;
  const std::string path = dir.Put("update.bin", test::ImageBytes(100));
  for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
  RaiseKeepGoing();
  test::SimRig rig("ecp=no");
  ASSERT_TRUE(StartUpdateWorker(&path));
  WaitForUpdateWorker();
  EXPECT_EQ(GetStage(DatalinkEstablished), Failed);
  EXPECT_EQ(GetStage(BoxInformationReceived), NoReport);
  EXPECT_EQ(GetStage(UpdatingCompleted), NoReport);
  EXPECT_EQ(RunCause(), EcpPresenceCause(EcpPresence::NoEcpRegisters));
  EXPECT_EQ(rig.receipt().negotiation_attempts, static_cast<std::uint32_t>(LinkAttempts));
  EXPECT_EQ(rig.log().releases, rig.log().claims);
}

}  // namespace
}  // namespace m4410
