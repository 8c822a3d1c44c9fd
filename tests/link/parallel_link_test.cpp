#include "link/parallel_link.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "link/link_rig.h"
#include "link/port_phase.h"

namespace m4410 {
namespace {

using test::EcrMode;
using test::kConfigB;
using test::kControl;
using test::kData;
using test::kEcr;
using test::kExt;
using test::kStatus;
using test::kStd;
using test::LinkRig;
using test::PromptBoxStatus;
using test::ScriptedPort;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kMs = 1000;  // virtual microseconds

// Milliseconds as the link clock counts them: changes of the whole-millisecond reading.
std::int64_t Ticks(std::int64_t from, std::int64_t to) { return to / kMs - from / kMs; }

TEST(EstablishLinkTest, BoxAnsweringAtOnceLeavesEcpForwardIdle) {
  LinkRig rig;
  rig.port.Set(kExt, kEcr, 0x15);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(EstablishLink(&rig.context), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Negotiation succeded\n");

  EXPECT_EQ(rig.control(), 0x04);
  EXPECT_EQ(rig.ecr(), 0x74);
  EXPECT_EQ(rig.port.Written(kExt, kConfigB), Bytes{0x0B});
  EXPECT_EQ(rig.port.Written(kStd, kData), (Bytes{0x10, 0x00}));
  // Request, strobe, setup with HostAck low, forward, HostAck high.
  EXPECT_EQ(rig.port.Written(kStd, kControl), (Bytes{0x0C, 0x06, 0x07, 0x04, 0x06, 0x06, 0x04}));
  // Standard, byte, configuration, then ECP written whole.
  EXPECT_EQ(rig.port.Written(kExt, kEcr), (Bytes{0x15, 0x35, 0xF5, 0x74}));

  // The extensibility byte is set up 10 ms before the request; the strobe lasts 1 ms.
  const auto request = rig.WriteTime(kStd, kControl, 0x06);
  EXPECT_GE(Ticks(rig.WriteTime(kStd, kData, 0x10), request), 10);
  EXPECT_GE(Ticks(rig.WriteTime(kStd, kControl, 0x07), rig.WriteTime(kStd, kControl, 0x04)), 1);
  EXPECT_TRUE(rig.clock.sleeps().empty());  // handshakes spin, never sleep
}

TEST(EstablishLinkTest, BoxNeverAnsweringFailsAfterPauseAndLimitEachTry) {
  LinkRig rig;
  rig.port.Answer(kStd, kStatus, [](ScriptedPort&) -> std::uint8_t { return 0xD8; });
  ::testing::internal::CaptureStdout();
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::int64_t start = rig.clock.PeekMicros();
    EXPECT_EQ(EstablishLink(&rig.context), 1);
    const std::int64_t took = rig.clock.PeekMicros() - start;
    EXPECT_GE(took, 45 * kMs);  // the 10 ms pause and the 35 ms limit
    EXPECT_LT(took, 47 * kMs);
    EXPECT_EQ(rig.port.Held(kStd, kData), 0x00);
    EXPECT_EQ(rig.control(), 0x0C);
  }
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(rig.port.Written(kStd, kData), (Bytes{0x10, 0x00, 0x10, 0x00, 0x10, 0x00}));
  EXPECT_TRUE(rig.port.Written(kExt, kConfigB).empty());
  EXPECT_TRUE(rig.clock.sleeps().empty());
}

// The box confirms ECP at once and raises nAck nack_delay_ms later.
std::string NegotiateWithNackDelay(std::int64_t nack_delay_ms, int* result) {
  LinkRig rig;
  rig.port.Set(kStd, kControl, 0x0C);
  std::optional<std::int64_t> confirmed_at;
  rig.port.Answer(kStd, kStatus, [&](ScriptedPort& port) -> std::uint8_t {
    if (port.Held(kStd, kControl) == 0x04 && EcrMode(port.Held(kExt, kEcr)) == 0) {
      if (!confirmed_at) confirmed_at = rig.clock.PeekMicros();
      return rig.clock.PeekMicros() - *confirmed_at < nack_delay_ms * kMs ? 0x98 : 0xD8;
    }
    return PromptBoxStatus(port);
  });
  ::testing::internal::CaptureStdout();
  *result = EstablishLink(&rig.context);
  EXPECT_EQ(rig.ecr(), 0x74);  // the setup phase ran either way
  return ::testing::internal::GetCapturedStdout();
}

TEST(EstablishLinkTest, LateNackRiseSkipsOnlyTheMessage) {
  int result = -9;
  EXPECT_EQ(NegotiateWithNackDelay(1, &result), "Negotiation succeded\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(NegotiateWithNackDelay(3, &result), "");
  EXPECT_EQ(result, 0);
}

TEST(EstablishLinkTest, UnconfirmedEcpModeGivesMinusThreeAndCompatibilityLines) {
  LinkRig rig;
  rig.port.Answer(kStd, kStatus, [](ScriptedPort& port) -> std::uint8_t {
    return port.Held(kStd, kControl) == 0x04 ? 0xB8 : PromptBoxStatus(port);  // PError stays high
  });
  EXPECT_EQ(NegotiateEcp(&rig.context), -3);
  EXPECT_EQ(rig.port.Held(kStd, kData), 0x00);
  EXPECT_EQ(rig.control(), 0x0C);
  EXPECT_EQ(EstablishLink(&rig.context), 1);
  EXPECT_EQ(NegotiateEcp(nullptr), -1);
}

TEST(EstablishLinkTest, SetupTimeOutLeavesByteMode) {
  LinkRig rig;
  rig.port.Answer(kStd, kStatus, [](ScriptedPort& port) -> std::uint8_t {
    const bool setup = EcrMode(port.Held(kExt, kEcr)) == 1;
    return setup ? 0xD8 : PromptBoxStatus(port);  // no PError rise in the setup phase
  });
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(NegotiateEcp(&rig.context), 0);
  ::testing::internal::GetCapturedStdout();
  const std::int64_t start = rig.clock.PeekMicros();
  EXPECT_EQ(SetupEcpForward(&rig.context), -1);
  EXPECT_GE(Ticks(start, rig.clock.PeekMicros()), 35);
  EXPECT_EQ(EcrMode(rig.ecr()), 1);
  EXPECT_EQ(rig.control(), 0x06);
  EXPECT_TRUE(rig.port.Written(kExt, kConfigB).empty());
}

TEST(DirectionTest, SwitchInTheDirectionAlreadySetOnlyReadsControl) {
  LinkRig rig;
  rig.port.Set(kStd, kControl, 0x20);
  EXPECT_EQ(SwitchToReverse(&rig.context), 0);
  rig.port.Set(kStd, kControl, 0x04);
  EXPECT_EQ(SwitchToForward(&rig.context), 0);
  ASSERT_EQ(rig.port.log().size(), 2u);
  for (const auto& access : rig.port.log()) {
    EXPECT_FALSE(access.write);
    EXPECT_EQ(access.range, kStd);
    EXPECT_EQ(access.offset, kControl);
  }
}

TEST(DirectionTest, PortDirectionIs) {
  LinkRig rig;
  rig.port.Set(kStd, kControl, 0x24);
  EXPECT_EQ(PortDirectionIs(&rig.context, 1), 1);
  EXPECT_EQ(PortDirectionIs(&rig.context, 0), 0);
  rig.port.Set(kStd, kControl, 0xDF);
  EXPECT_EQ(PortDirectionIs(&rig.context, 1), 0);
  EXPECT_EQ(PortDirectionIs(&rig.context, 0), 1);
  EXPECT_EQ(PortDirectionIs(&rig.context, 2), -1);
  EXPECT_EQ(PortDirectionIs(nullptr, 0), -1);
}

TEST(DirectionTest, SwitchToReverseAfterTheFifoDrains) {
  LinkRig rig;
  rig.port.Queue(kExt, kEcr, {0x74, 0x74, 0x74});  // three polls with data left
  EXPECT_EQ(SwitchToReverse(&rig.context), 0);
  EXPECT_EQ(rig.port.Written(kStd, kControl), (Bytes{0x24, 0x20}));
  EXPECT_EQ(rig.port.Written(kExt, kEcr), (Bytes{0x35, 0x75}));  // byte mode, then ECP
  EXPECT_EQ(rig.control(), 0x20);
}

TEST(DirectionTest, SwitchToReverseGoesOnWithoutPErrorAndTimesOutUnanswered) {
  LinkRig rig;
  rig.port.Answer(kStd, kStatus, [](ScriptedPort&) -> std::uint8_t { return 0xD8; });
  const std::int64_t start = rig.clock.PeekMicros();
  EXPECT_EQ(SwitchToReverse(&rig.context), 0);  // 1000 ms without PError high is no failure
  EXPECT_GE(rig.clock.PeekMicros() - start, 1000 * kMs);
  EXPECT_EQ(rig.control(), 0x20);

  LinkRig silent;
  silent.port.Answer(kStd, kStatus, [](ScriptedPort&) -> std::uint8_t { return 0xF8; });
  EXPECT_EQ(SwitchToReverse(&silent.context), -1);
  EXPECT_EQ(silent.control(), 0x20);
}

TEST(DirectionTest, SwitchToReverseDrainEndsWhenTheLinkIsLost) {
  LinkRig rig;
  rig.port.Answer(kStd, kStatus, [](ScriptedPort&) -> std::uint8_t { return 0xE8; });
  EXPECT_EQ(SwitchToReverse(&rig.context), -1);
  EXPECT_TRUE(rig.port.Written(kStd, kControl).empty());
  EXPECT_TRUE(rig.port.Written(kExt, kEcr).empty());
}

TEST(DirectionTest, SwitchToReverseDrainGivesUpAfterTenSecondsPausingAfterTheFirst100Ms) {
  LinkRig rig;
  rig.port.Answer(kExt, kEcr, [](ScriptedPort&) -> std::uint8_t { return 0x74; });
  const std::int64_t start = rig.clock.PeekMicros();
  EXPECT_EQ(SwitchToReverse(&rig.context), -1);
  const std::int64_t took = rig.clock.PeekMicros() - start;
  EXPECT_GE(took, 10000 * kMs);
  EXPECT_LT(took, 10010 * kMs);
  EXPECT_TRUE(rig.port.Written(kStd, kControl).empty());
  ASSERT_FALSE(rig.clock.sleeps().empty());
  EXPECT_GE(rig.clock.sleeps().front().at - start, 100 * kMs);
  for (const auto& sleep : rig.clock.sleeps()) EXPECT_EQ(sleep.ms, 1);
}

TEST(DirectionTest, SwitchToForwardWaitsTwiceFiftyMs) {
  LinkRig rig;
  rig.port.Set(kStd, kControl, 0x20);
  EXPECT_EQ(SwitchToForward(&rig.context), 0);
  EXPECT_EQ(rig.port.Written(kStd, kControl), (Bytes{0x24, 0x04}));
  EXPECT_EQ(rig.port.Written(kExt, kEcr), (Bytes{0x35, 0x75}));
  const auto forward = rig.WriteTime(kStd, kControl, 0x04);
  const auto ecp = rig.WriteTime(kExt, kEcr, 0x75);
  EXPECT_GE(Ticks(forward, ecp), 50);
  EXPECT_GE(Ticks(ecp, rig.clock.PeekMicros()), 50);
}

TEST(DirectionTest, SwitchToForwardTimeOutsLeaveThePortReverse) {
  LinkRig busy;  // Busy line stays high
  busy.port.Set(kStd, kControl, 0x20);
  busy.port.Answer(kStd, kStatus, [](ScriptedPort&) -> std::uint8_t { return 0x78; });
  EXPECT_EQ(SwitchToForward(&busy.context), -1);
  EXPECT_EQ(busy.control(), 0x24);

  LinkRig no_perror;
  no_perror.port.Set(kStd, kControl, 0x20);
  no_perror.port.Answer(kStd, kStatus, [](ScriptedPort&) -> std::uint8_t { return 0xD8; });
  EXPECT_EQ(SwitchToForward(&no_perror.context), -2);
  EXPECT_EQ(no_perror.control(), 0x24);
  EXPECT_TRUE(no_perror.port.Written(kExt, kEcr).empty());
  for (LinkRig* rig : {&busy, &no_perror}) {
    EXPECT_EQ(ReadPortPhase(&rig->context), PortPhase::BetweenPhases);
  }
}

TEST(TerminateLinkTest, FromReverseTurnsForwardFirst) {
  LinkRig rig;
  rig.port.Set(kStd, kControl, 0x20);
  EXPECT_EQ(TerminateLink(&rig.context), 0);
  EXPECT_EQ(rig.port.Written(kStd, kControl), (Bytes{0x24, 0x04, 0x0C, 0x0E, 0x0C}));
  EXPECT_EQ(rig.control(), 0x0C);
  EXPECT_EQ(EcrMode(rig.ecr()), 0);
  EXPECT_EQ(rig.ecr() & 0x1F, 0x15);
  const auto forward = rig.WriteTime(kStd, kControl, 0x04);
  const auto ecp = rig.WriteTime(kExt, kEcr, 0x75);
  EXPECT_GE(Ticks(forward, ecp), 50);
  EXPECT_GE(Ticks(ecp, rig.WriteTime(kStd, kControl, 0x0C)), 50);
}

TEST(TerminateLinkTest, UnansweredTerminationResetsTheLinesAndStillSucceeds) {
  for (std::uint8_t answer : {0xF8, 0x28}) {  // no answer at all; no nAck rise
    LinkRig rig;
    rig.port.Set(kStd, kControl, 0xC4);  // upper bits set, to see them kept
    rig.port.Answer(kStd, kStatus, [answer](ScriptedPort&) { return answer; });
    EXPECT_EQ(TerminateLink(&rig.context), 0);
    const auto writes = rig.port.Accesses(kStd, kControl, true);
    ASSERT_GE(writes.size(), 3u);
    EXPECT_EQ(writes.front().value, 0xCC);
    const auto& low = writes[writes.size() - 2];
    const auto& high = writes.back();
    EXPECT_EQ(low.value, 0xCE);  // nAutoFd low ...
    EXPECT_EQ(high.value, 0xCC);  // ... for 35 ms, then back high
    EXPECT_GE(Ticks(low.at, high.at), 35);
    EXPECT_LE(Ticks(low.at, high.at), 36);
    EXPECT_TRUE(rig.port.Written(kExt, kEcr).empty());  // ECR mode left as it was
  }
}

TEST(FifoStateTest, SelectLowIsLinkLostWithoutReadingTheEcr) {
  LinkRig rig;
  rig.port.Answer(kStd, kStatus, [](ScriptedPort&) -> std::uint8_t { return 0xE8; });
  rig.port.Answer(kExt, kEcr, [](ScriptedPort&) -> std::uint8_t { return 0x76; });
  EXPECT_EQ(FifoState(&rig.context), -1);
  ASSERT_EQ(rig.port.log().size(), 1u);
  EXPECT_EQ(rig.port.log()[0].offset, kStatus);
}

TEST(FifoStateTest, FullOutranksEmpty) {
  LinkRig rig;
  rig.port.Queue(kExt, kEcr, {0x76, 0x77, 0x75, 0x74});
  EXPECT_EQ(FifoState(&rig.context), 2);
  EXPECT_EQ(FifoState(&rig.context), 2);
  EXPECT_EQ(FifoState(&rig.context), 0);
  EXPECT_EQ(FifoState(&rig.context), 1);
}

TEST(SetEcrModeTest, ReplacesOnlyTheModeField) {
  const std::pair<int, std::uint8_t> cases[] = {{0, 0x15}, {1, 0x35}, {2, 0x75}, {3, 0xF5}};
  for (const auto& [code, expected] : cases) {
    LinkRig rig;
    rig.port.Answer(kExt, kEcr, [](ScriptedPort&) -> std::uint8_t { return 0x35; });
    SetEcrMode(&rig.context, code);
    EXPECT_EQ(rig.port.Written(kExt, kEcr), Bytes{expected}) << "mode code " << code;
    EXPECT_EQ(rig.port.log().size(), 2u);
  }
}

TEST(StatusMatchesTest, OnesAndZerosMustAllHold) {
  LinkRig rig;
  rig.port.Answer(kStd, kStatus, [](ScriptedPort&) -> std::uint8_t { return 0xB8; });
  EXPECT_EQ(StatusMatches(&rig.context, 0x38, 0x40), 1);
  EXPECT_EQ(StatusMatches(&rig.context, 0x38, 0xC0), 0);  // bit 7 is set
  EXPECT_EQ(StatusMatches(&rig.context, 0x78, 0x00), 0);  // bit 6 is clear
  EXPECT_EQ(rig.port.log().size(), 3u);
}

}  // namespace
}  // namespace m4410
