#include "sim/simulated_box.h"

#include <gtest/gtest.h>

#include <chrono>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <memory>
#include <thread>
#include <vector>

#include "port/port_driver.h"
#include "sim/crc32.h"
#include "sim/ecp_chip.h"

namespace m4410 {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kMs = 1000;  // in microseconds

// Plays the PC's side over one PortAccess, reading time from the box's virtual clock.
class Host {
 public:
  Host(const SimulatedBox& box, VirtualClock& clock) : access_(box.MakeAccess()), clock_(clock) {
    EXPECT_EQ(access_->Claim(), ClaimOutcome::Claimed);
  }

  std::uint8_t Status() { return access_->Read(PortRange::Standard, 1); }
  std::uint8_t Control() { return access_->Read(PortRange::Standard, 2); }
  std::uint8_t Ecr() { return access_->Read(PortRange::Extended, 2); }
  std::uint8_t GetFifo() { return access_->Read(PortRange::Extended, 0); }
  void Data(std::uint8_t v) { access_->Write(PortRange::Standard, 0, v); }
  void Control(std::uint8_t v) { access_->Write(PortRange::Standard, 2, v); }
  void Ecr(std::uint8_t v) { access_->Write(PortRange::Extended, 2, v); }
  void ConfigB(std::uint8_t v) { access_->Write(PortRange::Extended, 1, v); }
  void PutFifo(std::uint8_t v) { access_->Write(PortRange::Extended, 0, v); }
  // Mode codes as the link uses them: 0 standard, 1 byte, 2 ECP, 3 configuration.
  void Mode(int code) {
    static constexpr std::uint8_t kBits[] = {0x00, 0x20, 0x60, 0xE0};
    Ecr(static_cast<std::uint8_t>((Ecr() & 0x1F) | kBits[code]));
  }

  std::int64_t Now() const { return clock_.PeekMicros(); }
  void Pause(std::int64_t us) { clock_.Advance(us); }

  // Polls the status until every bit of ones is 1 and every bit of zeros is 0, for at most
  // limit_us of simulated time.
  bool WaitFor(std::uint8_t ones, std::uint8_t zeros, std::int64_t limit_us) {
    const std::int64_t start = Now();
    for (;;) {
      const std::uint8_t s = Status();
      if ((s & ones) == ones && (~s & zeros) == zeros) return true;
      if (Now() - start >= limit_us) return false;
    }
  }

  PortAccess& access() { return *access_; }

 private:
  std::unique_ptr<PortAccess> access_;
  VirtualClock& clock_;
};

// The host's handshakes, step for step as the link layer makes them. Results as the link's.
int Negotiate(Host& h, std::uint8_t request = 0x10) {
  h.Mode(0);
  h.Status();
  h.Control(0x0C);
  h.Data(request);
  h.Pause(10 * kMs);
  h.Control(0x06);
  if (!h.WaitFor(0x38, 0x40, 35 * kMs)) {
    h.Data(0x00);
    h.Control(0x0C);
    return -2;
  }
  h.Control(0x07);
  h.Pause(1 * kMs);
  h.Control(0x04);
  if (!h.WaitFor(0x90, 0x20, 35 * kMs)) {
    h.Data(0x00);
    h.Control(0x0C);
    return -3;
  }
  h.WaitFor(0x40, 0, 2 * kMs);
  return 0;
}

int SetupForward(Host& h) {
  h.Control(static_cast<std::uint8_t>((h.Control() & 0xEE) | 0x02));
  h.Data(0x00);
  h.Mode(1);
  h.Control(h.Control() & 0xDF);
  if (!h.WaitFor(0x20, 0, 35 * kMs)) return -1;
  h.Control(h.Control() & 0xFD);
  h.Mode(3);
  h.ConfigB(0x0B);
  h.Ecr(0x74);
  return 0;
}

bool Establish(Host& h) { return Negotiate(h) == 0 && SetupForward(h) == 0; }

int ToReverse(Host& h) {
  if (h.Control() & 0x20) return 0;
  while (!(h.Ecr() & 0x01)) {  // the forward FIFO drains first
  }
  h.WaitFor(0x20, 0, 1000 * kMs);
  h.Mode(1);
  h.Control(h.Control() | 0x20);
  h.Control(h.Control() & 0xFB);
  h.Mode(2);
  return h.WaitFor(0, 0x20, 35 * kMs) ? 0 : -1;
}

int ToForward(Host& h) {
  if (!(h.Control() & 0x20)) return 0;
  h.Control(h.Control() | 0x04);
  if (!h.WaitFor(0xC0, 0, 35 * kMs)) return -1;
  if (!h.WaitFor(0x20, 0, 35 * kMs)) return -2;
  h.Mode(1);
  h.Control(h.Control() & 0xDD);
  h.Pause(50 * kMs);
  h.Mode(2);
  h.Pause(50 * kMs);
  return 0;
}

// 0 when the box went through the whole termination handshake; -1, -2 where it stopped.
int Terminate(Host& h) {
  if (h.Control() & 0x20) ToForward(h);
  h.Control(static_cast<std::uint8_t>((h.Control() & 0xFD) | 0x08));
  if (!h.WaitFor(0x08, 0xD0, 35 * kMs)) return -1;
  h.Control(h.Control() | 0x02);
  if (!h.WaitFor(0x40, 0, 35 * kMs)) return -2;
  h.Control(h.Control() & 0xFD);
  h.Mode(0);
  return 0;
}

// Reads up to n bytes from the reverse FIFO, giving up when none comes for limit_us.
Bytes ReadBytes(Host& h, std::size_t n, std::int64_t limit_us = 100 * kMs) {
  Bytes bytes;
  std::int64_t since = h.Now();
  while (bytes.size() < n) {
    if (h.Ecr() & 0x01) {
      if (h.Now() - since >= limit_us) break;
      continue;
    }
    bytes.push_back(h.GetFifo());
    since = h.Now();
  }
  return bytes;
}

// Writes as the link's block write does (state check before each byte, a burst of 16 into
// an empty FIFO). Returns the bytes written: fewer when Select drops or the FIFO stays full
// for limit_us.
std::size_t WriteBytes(Host& h, const Bytes& bytes, std::int64_t limit_us = 100 * kMs) {
  std::size_t i = 0;
  std::int64_t since = h.Now();
  while (i < bytes.size()) {
    if (!(h.Status() & 0x10)) break;
    const std::uint8_t ecr = h.Ecr();
    if (ecr & 0x02) {
      if (h.Now() - since >= limit_us) break;
      continue;
    }
    since = h.Now();
    const std::size_t n = (ecr & 0x01) && i + 16 < bytes.size() ? 16 : 1;
    for (std::size_t k = 0; k < n; ++k) h.PutFifo(bytes[i++]);
  }
  return i;
}

void WaitForDrain(Host& h) {
  while (!(h.Ecr() & 0x01)) {
  }
}

Bytes Record(std::uint32_t w0, std::uint32_t w1, std::uint32_t w2) {
  Bytes bytes;
  for (const std::uint32_t w : {w0, w1, w2}) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      bytes.push_back(static_cast<std::uint8_t>(w >> shift));
    }
  }
  return bytes;
}

Bytes Header(std::uint32_t length) { return Record(1, 0x40200000, length); }

Bytes Image(std::size_t n) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
  return bytes;
}

std::uint32_t CrcOf(const Bytes& bytes) { return Crc32Extend(0, bytes.data(), bytes.size()); }

SimOptions Options(std::string_view text) {
  SimOptions options;
  std::string error;
  EXPECT_TRUE(ParseSimOptions(text, &options, &error)) << error;
  return options;
}

// A box on a virtual clock with one claimed host in front of it.
struct Bench {
  explicit Bench(std::string_view text = "")
      : box(Options(text), &clock), host(std::make_unique<Host>(box, clock)) {}
  VirtualClock clock{1'000'000, 1};
  SimulatedBox box;
  std::unique_ptr<Host> host;
  BoxReceipt receipt() const { return box.Receipt(); }
};

// Up to forward idle with the opening record (and box data) read off.
void LinkAndReadOpening(Bench& b) {
  Host& h = *b.host;
  ASSERT_TRUE(Establish(h));
  ASSERT_EQ(ToReverse(h), 0);
  const std::uint32_t box_data = b.box.Options().box_data;
  ASSERT_EQ(ReadBytes(h, 12 + box_data).size(), 12 + box_data);
  ASSERT_EQ(ToForward(h), 0);
}

// --- the port chip -----------------------------------------------------------------------

TEST(SimulatedPortTest, PowerOnRegisters) {
  Bench b;
  EXPECT_EQ(b.host->Status(), 0xD8);
  EXPECT_EQ(b.host->Control(), 0x0C);
  EXPECT_EQ(b.host->Ecr(), 0x15);
}

TEST(SimulatedPortTest, EcrShowsFifoFullAndEmptyAndLeavingEcpModeEmptiesIt) {
  Bench b;  // the box sits in compatibility mode and takes nothing
  Host& h = *b.host;
  h.Ecr(0x74);
  EXPECT_EQ(h.Ecr(), 0x75);
  for (int i = 0; i < 15; ++i) h.PutFifo(static_cast<std::uint8_t>(i));
  EXPECT_EQ(h.Ecr(), 0x74);  // neither full nor empty
  h.PutFifo(15);
  EXPECT_EQ(h.Ecr(), 0x76);
  EXPECT_EQ(b.box.FifoLevel(), 16u);
  h.Mode(1);
  EXPECT_EQ(h.Ecr(), 0x35);
  EXPECT_EQ(b.receipt().fifo_bytes_discarded, 16u);
  h.Mode(2);
  EXPECT_EQ(h.Ecr(), 0x75);
  // The interrupt and DMA bits read back as written; written full/empty bits do not stick.
  h.Ecr(0x63);
  EXPECT_EQ(h.Ecr(), 0x61);
  EXPECT_EQ(b.receipt().all_faults(), 0u) << HostFaultSummary(b.receipt());
}

TEST(SimulatedPortTest, ConfigurationRegistersOnlyInMode111) {
  Bench b;
  Host& h = *b.host;
  h.ConfigB(0x0B);  // mode 000: no configuration register there
  EXPECT_EQ(b.box.ConfigB(), 0x00);
  h.Mode(3);
  h.ConfigB(0x0B);
  EXPECT_EQ(b.box.ConfigB(), 0x0B);
  EXPECT_EQ(h.access().Read(PortRange::Extended, 1), 0x0B);
  EXPECT_EQ(h.GetFifo(), 0x10);  // configuration register A
  h.PutFifo(0x55);               // read-only, and no FIFO in this mode
  EXPECT_EQ(b.box.FifoLevel(), 0u);
  h.Data(0x42);
  EXPECT_EQ(b.box.LastData(), 0x42);
  h.Control(0xC4);
  EXPECT_EQ(h.Control(), 0xC4);
}

TEST(SimulatedPortTest, OneClaimAtATime) {
  VirtualClock clock;
  SimulatedBox box(SimOptions{}, &clock);
  auto first = box.MakeAccess();
  auto second = box.Factory()();
  EXPECT_EQ(first->Claim(), ClaimOutcome::Claimed);
  SetPortErrorText("");
  EXPECT_EQ(second->Claim(), ClaimOutcome::Refused);
  EXPECT_NE(PortErrorText(), "");
  // An access without the claim reaches nothing.
  EXPECT_EQ(second->Read(PortRange::Standard, 1), 0xFF);
  second->Write(PortRange::Standard, 0, 0x33);
  EXPECT_EQ(box.LastData(), 0x00);
  first->Release();
  EXPECT_EQ(second->Claim(), ClaimOutcome::Claimed);
  EXPECT_EQ(second->Read(PortRange::Standard, 1), 0xD8);
  second.reset();  // dropping the access gives up its claim
  EXPECT_EQ(first->Claim(), ClaimOutcome::Claimed);
}

TEST(SimulatedPortTest, AccessesOutliveTheBoxHandle) {
  VirtualClock clock;
  PortAccessFactory factory;
  {
    SimulatedBox box(SimOptions{}, &clock);
    factory = box.Factory();
  }
  auto access = factory();
  ASSERT_EQ(access->Claim(), ClaimOutcome::Claimed);
  EXPECT_EQ(access->Read(PortRange::Standard, 1), 0xD8);
}

// A microsecond per access, and bus-ns more, owed to the nanosecond across accesses.
TEST(SimulatedPortTest, EveryAccessMovesTheVirtualClockByItsBusCost) {
  for (const std::int64_t bus_ns : {0, 400, 1000, 2500}) {
    Bench b("bus-ns=" + std::to_string(bus_ns));
    const std::int64_t before = b.clock.PeekMicros();
    for (int i = 0; i < 1000; ++i) b.host->Status();
    // A thousand accesses: a millisecond, and bus-ns microseconds, give or take the nanoseconds
    // owed from before.
    EXPECT_NEAR(b.clock.PeekMicros() - before, 1000 + bus_ns, 1) << bus_ns;
  }
}

TEST(SimulatedBoxTest, BusCostIsRealTimeOnTheRealClock) {
  SimOptions options;
  options.bus_ns = 200'000;
  SimulatedBox box(options, nullptr);
  auto access = box.MakeAccess();
  ASSERT_EQ(access->Claim(), ClaimOutcome::Claimed);
  // Each access holds the bus for its time: the eleventh starts once the tenth has let go.
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 11; ++i) access->Read(PortRange::Standard, 1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2));
}

// --- negotiation ---------------------------------------------------------------------

TEST(SimulatedBoxTest, AnswersNegotiationAndConfirmsEcp) {
  Bench b;
  Host& h = *b.host;
  EXPECT_EQ(Negotiate(h), 0);
  EXPECT_EQ(h.Status(), 0xD8);  // confirmed, nAck back up
  EXPECT_EQ(b.receipt().negotiation_attempts, 1u);
  EXPECT_EQ(b.receipt().extensibility_byte, 0x10);
}

TEST(SimulatedBoxTest, AnswersAfterItsLatency) {
  Bench b("latency-us=5000");
  Host& h = *b.host;
  h.Control(0x0C);
  h.Data(0x10);
  h.Control(0x06);
  const std::int64_t asked = h.Now();
  ASSERT_TRUE(h.WaitFor(0x38, 0x40, 35 * kMs));
  const std::int64_t took = h.Now() - asked;
  EXPECT_GE(took, 5000);
  EXPECT_LE(took, 5002);
  EXPECT_EQ(h.Status(), 0xB8);

  // Slower than the host's 35 ms limit: the request goes unanswered as far as it knows.
  Bench slow("latency-us=40000");
  EXPECT_EQ(Negotiate(*slow.host), -2);
}

TEST(SimulatedBoxTest, AnswersFromTheChosenAttemptOn) {
  Bench b("answer-on-attempt=3");
  Host& h = *b.host;
  EXPECT_EQ(Negotiate(h), -2);
  EXPECT_EQ(h.Status(), 0xD8);  // an unanswered request leaves the lines alone
  EXPECT_EQ(Negotiate(h), -2);
  EXPECT_EQ(Negotiate(h), 0);
  EXPECT_EQ(Negotiate(h), 0);  // and every attempt after it
  EXPECT_EQ(b.receipt().negotiation_attempts, 4u);

  Bench never("answer-on-attempt=0");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Negotiate(*never.host), -2);
  EXPECT_EQ(never.receipt().negotiation_attempts, 5u);
}

TEST(SimulatedBoxTest, AttemptsCountFromTheClaimOfThePort) {
  Bench b("answer-on-attempt=2");
  EXPECT_EQ(Negotiate(*b.host), -2);
  b.host->access().Release();
  EXPECT_EQ(b.receipt().negotiation_attempts, 1u);  // the last session stays readable
  b.host = std::make_unique<Host>(b.box, b.clock);
  EXPECT_EQ(b.receipt().negotiation_attempts, 0u);
  EXPECT_EQ(Negotiate(*b.host), -2);
  EXPECT_EQ(Negotiate(*b.host), 0);
}

TEST(SimulatedBoxTest, ConfirmNoLeavesTheRequestAnswerStanding) {
  Bench b("confirm=no");
  Host& h = *b.host;
  EXPECT_EQ(Negotiate(h), -3);
  // The host's reset takes the box back to compatibility; the next request is answered again.
  ASSERT_TRUE(h.WaitFor(0xD8, 0x20, 1 * kMs));
  h.Data(0x10);
  h.Control(0x06);
  EXPECT_TRUE(h.WaitFor(0x38, 0x40, 35 * kMs));
  h.Control(0x07);
  h.Control(0x04);
  EXPECT_FALSE(h.WaitFor(0x90, 0x20, 35 * kMs));
  EXPECT_EQ(h.Status(), 0xB8);
  EXPECT_EQ(b.receipt().negotiation_attempts, 2u);
}

TEST(SimulatedBoxTest, RefusesAModeOtherThanEcp) {
  Bench b;
  EXPECT_EQ(Negotiate(*b.host, 0x14), -3);
  EXPECT_EQ(b.receipt().extensibility_byte, 0x14);
  EXPECT_EQ(Negotiate(*b.host), 0);  // and still takes the right request afterwards
}

TEST(SimulatedBoxTest, NackRisesAfterItsDelayAndSetupWaitsForIt) {
  Bench b("nack-delay-ms=5");
  Host& h = *b.host;
  h.Control(0x0C);
  h.Data(0x10);
  h.Control(0x06);
  ASSERT_TRUE(h.WaitFor(0x38, 0x40, 35 * kMs));
  h.Control(0x07);
  h.Control(0x04);
  ASSERT_TRUE(h.WaitFor(0x90, 0x20, 35 * kMs));
  const std::int64_t confirmed = h.Now();
  EXPECT_EQ(h.Status() & 0x40, 0);
  EXPECT_FALSE(h.WaitFor(0x40, 0, 2 * kMs));
  // The host goes on with the setup phase before nAck rose; the box answers it after.
  EXPECT_EQ(SetupForward(h), 0);
  EXPECT_GE(h.Now() - confirmed, 5000);
  EXPECT_EQ(h.Status(), 0xF8);
}

TEST(SimulatedBoxTest, EstablishedLinkRestsInForwardIdle) {
  Bench b;
  Host& h = *b.host;
  ASSERT_TRUE(Establish(h));
  EXPECT_EQ(h.Status(), 0xF8);
  EXPECT_EQ(h.Control(), 0x04);
  EXPECT_EQ(h.Ecr(), 0x75);
  EXPECT_EQ(b.box.ConfigB(), 0x0B);
  EXPECT_EQ(b.box.LastData(), 0x00);
  EXPECT_TRUE(b.receipt().opening_queued);
  EXPECT_FALSE(b.receipt().terminated);
}

TEST(SimulatedBoxTest, SetupNoLeavesTheLinkDownAndTheNextTryStartsAfresh) {
  Bench b("setup=no");
  Host& h = *b.host;
  ASSERT_EQ(Negotiate(h), 0);
  EXPECT_EQ(SetupForward(h), -1);
  EXPECT_EQ(h.Status(), 0xD8);
  EXPECT_FALSE(b.receipt().opening_queued);
  // The next try, with no termination between, is a new attempt that the box answers.
  EXPECT_EQ(Negotiate(h), 0);
  EXPECT_EQ(b.receipt().negotiation_attempts, 2u);
}

// --- direction changes and termination -----------------------------------------------

TEST(SimulatedBoxTest, SendsItsOpeningRecordInReverse) {
  Bench b;
  Host& h = *b.host;
  ASSERT_TRUE(Establish(h));
  ASSERT_EQ(ToReverse(h), 0);
  EXPECT_EQ(h.Status(), 0xD8);
  EXPECT_EQ(h.Control(), 0x20);
  EXPECT_EQ(ReadBytes(h, 100), Record(0x4410, 0x00010002, 0));
  EXPECT_EQ(b.receipt().bytes_sent, 12u);
}

TEST(SimulatedBoxTest, SendsBoxDataAfterTheOpeningRecord) {
  Bench b("box-data=250");
  Host& h = *b.host;
  ASSERT_TRUE(Establish(h));
  ASSERT_EQ(ToReverse(h), 0);
  h.Status();
  EXPECT_EQ(h.Ecr() & 0x02, 0x02);  // the box filled the FIFO
  const Bytes bytes = ReadBytes(h, 1000);
  ASSERT_EQ(bytes.size(), 262u);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 12), Record(0x4410, 0x00010002, 250));
  for (std::size_t i = 0; i < 250; ++i) ASSERT_EQ(bytes[12 + i], i % 251) << i;
  EXPECT_EQ(b.receipt().box_data_queued, 250u);

  Bench more("box-data=600");
  ASSERT_TRUE(Establish(*more.host));
  ASSERT_EQ(ToReverse(*more.host), 0);
  const Bytes long_data = ReadBytes(*more.host, 612);
  ASSERT_EQ(long_data.size(), 612u);
  EXPECT_EQ(long_data[12 + 250], 250);
  EXPECT_EQ(long_data[12 + 251], 0);
  EXPECT_EQ(long_data[12 + 599], 599 % 251);
}

TEST(SimulatedBoxTest, OpeningNoSendsNothing) {
  Bench b("opening=no");
  ASSERT_TRUE(Establish(*b.host));
  ASSERT_EQ(ToReverse(*b.host), 0);
  EXPECT_TRUE(ReadBytes(*b.host, 12, 500 * kMs).empty());
  EXPECT_FALSE(b.receipt().opening_queued);
}

TEST(SimulatedBoxTest, ReverseNoLeavesTheRequestUnanswered) {
  Bench b("reverse=no");
  Host& h = *b.host;
  ASSERT_TRUE(Establish(h));
  EXPECT_EQ(ToReverse(h), -1);
  EXPECT_EQ(h.Status(), 0xF8);
  EXPECT_TRUE(ReadBytes(h, 12).empty());
}

TEST(SimulatedBoxTest, TurnsBackToForward) {
  Bench b;
  Host& h = *b.host;
  ASSERT_TRUE(Establish(h));
  ASSERT_EQ(ToReverse(h), 0);
  h.Control(h.Control() | 0x04);
  EXPECT_TRUE(h.WaitFor(0xC0, 0, 35 * kMs));
  const std::int64_t asked = h.Now();
  EXPECT_TRUE(h.WaitFor(0x20, 0, 35 * kMs));
  EXPECT_GE(h.Now() - asked, 90);  // PError rises after the box's latency
  EXPECT_EQ(h.Status(), 0xF8);

  ASSERT_EQ(ToReverse(h), 0);
  EXPECT_EQ(ToForward(h), 0);
  EXPECT_EQ(h.Control(), 0x04);
  EXPECT_EQ(h.Ecr(), 0x75);
}

TEST(SimulatedBoxTest, SendsOnlyOnceItHasAcknowledgedTheReverseRequest) {
  Bench b("latency-us=1000,update-ms=0");
  Host& h = *b.host;
  LinkAndReadOpening(b);
  ASSERT_EQ(WriteBytes(h, Header(10)), 12u);
  ASSERT_EQ(WriteBytes(h, Image(10)), 10u);
  WaitForDrain(h);
  h.Status();
  ASSERT_TRUE(b.receipt().closing_queued);
  h.Mode(1);
  h.Control(h.Control() | 0x20);
  h.Control(h.Control() & 0xFB);
  h.Mode(2);
  EXPECT_EQ(h.Status(), 0xF8);  // not yet acknowledged
  EXPECT_EQ(h.Ecr() & 0x01, 0x01);
  ASSERT_TRUE(h.WaitFor(0, 0x20, 35 * kMs));
  EXPECT_EQ(ReadBytes(h, 12).size(), 12u);
}

TEST(SimulatedBoxTest, TerminatesBackToCompatibility) {
  Bench b;
  Host& h = *b.host;
  ASSERT_TRUE(Establish(h));
  h.Control(0x0C);
  ASSERT_TRUE(h.WaitFor(0x08, 0xD0, 35 * kMs));
  EXPECT_EQ(h.Status(), 0x28);
  h.Control(0x0E);
  ASSERT_TRUE(h.WaitFor(0x40, 0, 35 * kMs));
  EXPECT_FALSE(b.receipt().terminated);
  h.Control(0x0C);
  ASSERT_TRUE(h.WaitFor(0xD8, 0x20, 1 * kMs));
  EXPECT_EQ(h.Status(), 0xD8);
  EXPECT_TRUE(b.receipt().terminated);
  // Compatibility again: a new negotiation is a new attempt, answered as the first was.
  EXPECT_EQ(Negotiate(h), 0);
  EXPECT_EQ(b.receipt().negotiation_attempts, 2u);
  EXPECT_FALSE(b.receipt().terminated);
}

TEST(SimulatedBoxTest, TerminatesFromReverse) {
  Bench b;
  Host& h = *b.host;
  ASSERT_TRUE(Establish(h));
  ASSERT_EQ(ToReverse(h), 0);
  EXPECT_EQ(Terminate(h), 0);
  EXPECT_EQ(h.Control(), 0x0C);
  EXPECT_EQ(h.Ecr() & 0xE0, 0x00);
  EXPECT_TRUE(b.receipt().terminated);
}

TEST(SimulatedBoxTest, TerminateNoLeavesTheLinesAsTheyWere) {
  Bench b("terminate=no");
  Host& h = *b.host;
  ASSERT_TRUE(Establish(h));
  EXPECT_EQ(Terminate(h), -1);
  EXPECT_EQ(h.Status(), 0xF8);
  EXPECT_FALSE(b.receipt().terminated);
}

// --- the update exchange --------------------------------------------------------------

TEST(SimulatedBoxTest, TakesHeaderAndImageCountingAndChecking) {
  Bench b("update-ms=50");
  Host& h = *b.host;
  LinkAndReadOpening(b);
  const Bytes image = Image(1000);
  ASSERT_EQ(WriteBytes(h, Header(1000)), 12u);
  WaitForDrain(h);
  BoxReceipt r = b.receipt();
  EXPECT_TRUE(r.header_seen);
  EXPECT_TRUE(r.header_ok);
  EXPECT_EQ(r.header_words, (std::array<std::uint32_t, 3>{1, 0x40200000, 1000}));
  EXPECT_EQ(r.image_bytes, 0u);

  ASSERT_EQ(WriteBytes(h, image), 1000u);
  WaitForDrain(h);
  const std::int64_t done = h.Now();
  r = b.receipt();
  EXPECT_EQ(r.image_bytes, 1000u);
  EXPECT_EQ(r.image_crc32, CrcOf(image));
  EXPECT_TRUE(r.image_complete);
  EXPECT_EQ(r.stray_bytes, 0u);
  EXPECT_EQ(r.all_faults(), 0u) << HostFaultSummary(r);

  // The box rewrites itself for update-ms before its closing record.
  h.Pause(done + 49 * kMs - h.Now());
  h.Status();
  EXPECT_FALSE(b.receipt().closing_queued);
  h.Pause(2 * kMs);
  h.Status();
  EXPECT_TRUE(b.receipt().closing_queued);
  ASSERT_EQ(ToReverse(h), 0);
  EXPECT_EQ(ReadBytes(h, 100), Record(0x4410, CrcOf(image), 1000));
  EXPECT_EQ(Terminate(h), 0);
  EXPECT_EQ(b.receipt().fifo_bytes_discarded, 0u);
}

TEST(SimulatedBoxTest, ClosingNoNeverAnswers) {
  Bench b("update-ms=10,closing=no");
  Host& h = *b.host;
  LinkAndReadOpening(b);
  ASSERT_EQ(WriteBytes(h, Header(100)), 12u);
  ASSERT_EQ(WriteBytes(h, Image(100)), 100u);
  WaitForDrain(h);
  EXPECT_TRUE(b.receipt().image_complete);
  h.Pause(1000 * kMs);
  ASSERT_EQ(ToReverse(h), 0);
  EXPECT_TRUE(ReadBytes(h, 12, 1000 * kMs).empty());
  EXPECT_FALSE(b.receipt().closing_queued);
}

TEST(SimulatedBoxTest, RefusesABadHeaderAndTheImageAfterIt) {
  for (const Bytes& header : {Record(2, 0x40200000, 100), Record(1, 0x40200001, 100)}) {
    Bench b("update-ms=0");
    Host& h = *b.host;
    LinkAndReadOpening(b);
    ASSERT_EQ(WriteBytes(h, header), 12u);
    ASSERT_EQ(WriteBytes(h, Image(100)), 100u);  // taken all the same, so the host never hangs
    WaitForDrain(h);
    h.Pause(10 * kMs);
    h.Status();
    const BoxReceipt r = b.receipt();
    EXPECT_TRUE(r.header_seen);
    EXPECT_FALSE(r.header_ok);
    EXPECT_EQ(r.header_words[0], header[3]);
    EXPECT_EQ(r.image_bytes, 0u);
    EXPECT_FALSE(r.image_complete);
    EXPECT_EQ(r.stray_bytes, 100u);
    EXPECT_FALSE(r.closing_queued);
  }
}

TEST(SimulatedBoxTest, KeepsItsPlaceAcrossDirectionChanges) {
  Bench b("update-ms=0");
  Host& h = *b.host;
  LinkAndReadOpening(b);
  const Bytes image = Image(1000);
  ASSERT_EQ(WriteBytes(h, Header(1000)), 12u);
  ASSERT_EQ(WriteBytes(h, Bytes(image.begin(), image.begin() + 400)), 400u);
  ASSERT_EQ(ToReverse(h), 0);  // waits for the FIFO to drain into the box
  EXPECT_TRUE(ReadBytes(h, 12, 10 * kMs).empty());
  ASSERT_EQ(ToForward(h), 0);
  ASSERT_EQ(WriteBytes(h, Bytes(image.begin() + 400, image.end())), 600u);
  WaitForDrain(h);
  const BoxReceipt r = b.receipt();
  EXPECT_EQ(r.image_bytes, 1000u);
  EXPECT_EQ(r.image_crc32, CrcOf(image));
  EXPECT_TRUE(r.image_complete);
  EXPECT_EQ(r.fifo_bytes_discarded, 0u);
}

TEST(SimulatedBoxTest, ExtraBytesAfterTheImageAreStray) {
  Bench b("update-ms=5000");
  Host& h = *b.host;
  LinkAndReadOpening(b);
  ASSERT_EQ(WriteBytes(h, Header(10)), 12u);
  ASSERT_EQ(WriteBytes(h, Image(15)), 15u);
  WaitForDrain(h);
  EXPECT_EQ(b.receipt().image_bytes, 10u);
  EXPECT_EQ(b.receipt().image_crc32, CrcOf(Image(10)));
  EXPECT_EQ(b.receipt().stray_bytes, 5u);
}

TEST(SimulatedBoxTest, DropsSelectAfterTheChosenImageByte) {
  Bench b("drop-select-at=100,update-ms=0");
  Host& h = *b.host;
  LinkAndReadOpening(b);
  ASSERT_EQ(WriteBytes(h, Header(1000)), 12u);
  const std::size_t written = WriteBytes(h, Image(1000));
  EXPECT_GE(written, 100u);
  EXPECT_LT(written, 1000u);
  h.Pause(100 * kMs);
  EXPECT_EQ(h.Status() & 0x10, 0);
  const BoxReceipt r = b.receipt();
  EXPECT_TRUE(r.link_dropped);
  EXPECT_EQ(r.image_bytes, 100u);
  EXPECT_EQ(r.image_crc32, CrcOf(Image(100)));
  EXPECT_EQ(b.box.FifoLevel(), written - 100);  // no more taken
  EXPECT_FALSE(r.closing_queued);
  EXPECT_EQ(r.all_faults(), 0u) << HostFaultSummary(r);

  // Dropped with the last byte: the image is whole but the box says nothing more.
  Bench at_end("drop-select-at=50,update-ms=0");
  LinkAndReadOpening(at_end);
  ASSERT_EQ(WriteBytes(*at_end.host, Header(50)), 12u);
  ASSERT_EQ(WriteBytes(*at_end.host, Image(50)), 50u);
  at_end.host->Pause(10 * kMs);
  at_end.host->Status();
  EXPECT_EQ(at_end.host->Status(), 0xE8);
  EXPECT_TRUE(at_end.receipt().image_complete);
  EXPECT_TRUE(at_end.receipt().link_dropped);
  EXPECT_FALSE(at_end.receipt().closing_queued);

  Bench at_start("drop-select-at=0");
  LinkAndReadOpening(at_start);
  ASSERT_EQ(WriteBytes(*at_start.host, Header(50)), 12u);
  EXPECT_EQ(WriteBytes(*at_start.host, Image(50)), 0u);
  EXPECT_EQ(at_start.receipt().image_bytes, 0u);
}

TEST(SimulatedBoxTest, StallsAfterTheChosenImageByteWithSelectHigh) {
  Bench b("stall-at=100");
  Host& h = *b.host;
  LinkAndReadOpening(b);
  ASSERT_EQ(WriteBytes(h, Header(1000)), 12u);
  const std::size_t written = WriteBytes(h, Image(1000), 1000 * kMs);
  EXPECT_EQ(written, 100u + EcpChip::kFifoDepth);
  EXPECT_EQ(h.Status(), 0xF8);
  EXPECT_EQ(h.Ecr() & 0x02, 0x02);
  const BoxReceipt r = b.receipt();
  EXPECT_TRUE(r.stalled);
  EXPECT_FALSE(r.link_dropped);
  EXPECT_EQ(r.image_bytes, 100u);
  EXPECT_EQ(r.all_faults(), 0u) << HostFaultSummary(r);
}

TEST(SimulatedBoxTest, TakesBytesAtItsRate) {
  Bench b("rate=1000");
  Host& h = *b.host;
  LinkAndReadOpening(b);
  ASSERT_EQ(WriteBytes(h, Header(100000), 10'000 * kMs), 12u);
  WaitForDrain(h);
  // Keep the FIFO topped up for one simulated second.
  const std::int64_t start = h.Now();
  const std::uint64_t before = b.receipt().image_bytes;
  while (h.Now() - start < 1'000'000) {
    if (!(h.Ecr() & 0x02)) h.PutFifo(0x5A);
    h.Pause(20);
  }
  const std::uint64_t taken = b.receipt().image_bytes - before;
  EXPECT_GE(taken, 999u);
  EXPECT_LE(taken, 1001u);
  EXPECT_EQ(b.receipt().all_faults(), 0u) << HostFaultSummary(b.receipt());
}

TEST(SimulatedBoxTest, RateZeroTakesEachByteOnTheNextAccess) {
  Bench b("rate=0");
  Host& h = *b.host;
  LinkAndReadOpening(b);
  h.PutFifo(0x00);
  EXPECT_EQ(h.Ecr() & 0x01, 0x01);
  for (int i = 0; i < 16; ++i) h.PutFifo(0x00);  // each write sees the previous one gone
  EXPECT_EQ(b.box.FifoLevel(), 1u);
  h.Status();
  EXPECT_EQ(b.box.FifoLevel(), 0u);
  // Seventeen zero bytes: a header of kind 0, refused, and five bytes after it.
  const BoxReceipt r = b.receipt();
  EXPECT_TRUE(r.header_seen);
  EXPECT_FALSE(r.header_ok);
  EXPECT_EQ(r.stray_bytes, 5u);
  EXPECT_EQ(r.all_faults(), 0u) << HostFaultSummary(r);
}

TEST(SimulatedBoxTest, ReceiptCanBeReadWhileTheHostRuns) {
  Bench b("update-ms=0");
  Host& h = *b.host;
  LinkAndReadOpening(b);
  std::atomic<bool> done{false};
  std::uint64_t last_seen = 0;
  bool went_back = false;
  std::thread watcher([&] {
    while (!done.load()) {
      const std::uint64_t seen = b.box.Receipt().image_bytes;
      went_back |= seen < last_seen;
      last_seen = seen;
    }
  });
  const Bytes image = Image(20000);
  EXPECT_EQ(WriteBytes(h, Header(20000)), 12u);
  EXPECT_EQ(WriteBytes(h, image), 20000u);
  WaitForDrain(h);
  done.store(true);
  watcher.join();
  EXPECT_FALSE(went_back);
  EXPECT_EQ(b.receipt().image_crc32, CrcOf(image));
}

TEST(SimulatedBoxTest, RunsOnTheRealClock) {
  SimOptions options;
  options.latency_us = 0;
  SimulatedBox box(options, nullptr);
  auto access = box.MakeAccess();
  ASSERT_EQ(access->Claim(), ClaimOutcome::Claimed);
  access->Write(PortRange::Standard, 0, 0x10);
  access->Write(PortRange::Standard, 2, 0x06);
  EXPECT_EQ(access->Read(PortRange::Standard, 1), 0xB8);
}

// --- the box as a strict peer ---------------------------------------------------------

// Each host fault alone, provoked from the phase where it is one: the box counts exactly that
// kind, once, names it, and a FIFO that the host misused is left as it was.
TEST(SimulatedBoxTest, CountsEachHostFaultByKind) {
  struct Case {
    HostFault kind;
    const char* text;
    void (*provoke)(Bench&);
  };
  const Case cases[] = {
      {HostFault::FifoReadWhileForward, "1 fifo read while forward",
       [](Bench& b) {
         ASSERT_EQ(WriteBytes(*b.host, Header(10)), 12u);
         ASSERT_EQ(WriteBytes(*b.host, Image(3)), 3u);  // stall-at=0: they stay in the FIFO
         EXPECT_EQ(b.host->GetFifo(), 0xFF);             // the bus floats; nothing is taken
         EXPECT_EQ(b.box.FifoLevel(), 3u);
       }},
      {HostFault::FifoWriteWhileReverse, "1 fifo write while reverse",
       [](Bench& b) {
         ASSERT_EQ(ToReverse(*b.host), 0);
         b.host->PutFifo(0x42);
         EXPECT_EQ(b.box.FifoLevel(), 0u);
       }},
      {HostFault::FifoOverrun, "1 fifo overrun",
       [](Bench& b) {
         ASSERT_EQ(WriteBytes(*b.host, Header(100)), 12u);
         for (int i = 0; i < 17; ++i) b.host->PutFifo(static_cast<std::uint8_t>(i));
         EXPECT_EQ(b.box.FifoLevel(), 16u);
       }},
      {HostFault::FifoUnderrun, "1 fifo underrun",
       [](Bench& b) {
         ASSERT_EQ(ToReverse(*b.host), 0);
         b.host->GetFifo();
       }},
      {HostFault::TurnOutOfPhase, "1 turn out of phase",
       [](Bench& b) {  // the data lines turned forward while the box still drives them
         ASSERT_EQ(ToReverse(*b.host), 0);
         b.host->Control(b.host->Control() & 0xDF);
       }},
      {HostFault::TerminationOutOfPhase, "1 termination out of phase",
       [](Bench& b) {  // termination requested from reverse idle
         ASSERT_EQ(ToReverse(*b.host), 0);
         b.host->Control(0x28);
       }},
      {HostFault::ShortPause, "2 short pause",
       [](Bench& b) {  // event 0 straight into event 1, and a strobe with no width
         Host& h = *b.host;
         ASSERT_EQ(Terminate(h), 0);
         h.Data(0x10);
         h.Control(0x06);
         ASSERT_TRUE(h.WaitFor(0x38, 0x40, 35 * kMs));
         h.Control(0x07);
         h.Control(0x04);
         EXPECT_TRUE(h.WaitFor(0x90, 0x20, 35 * kMs));  // the box still answers
       }},
  };
  for (const Case& c : cases) {
    Bench b("stall-at=0,opening=no");
    ASSERT_TRUE(Establish(*b.host));
    ASSERT_EQ(b.receipt().all_faults(), 0u) << HostFaultSummary(b.receipt());
    c.provoke(b);
    const BoxReceipt r = b.receipt();
    EXPECT_EQ(HostFaultSummary(r), c.text);
    EXPECT_EQ(r.all_faults(), r.faults(c.kind)) << c.text;
  }
}

TEST(SimulatedBoxTest, DropsSelectAfterSendingTheChosenByte) {
  for (const std::uint32_t at : {0u, 5u, 12u, 30u}) {
    Bench b("box-data=20,drop-select-at-sent=" + std::to_string(at));
    ASSERT_TRUE(Establish(*b.host));
    ASSERT_EQ(ToReverse(*b.host), 0);
    const Bytes got = ReadBytes(*b.host, 40);
    EXPECT_EQ(got.size(), std::min<std::size_t>(at, 32)) << at;
    EXPECT_EQ(b.receipt().link_dropped, at < 32) << at;
    if (at < 32) {
      EXPECT_EQ(b.host->Status() & 0x10, 0) << at;
    }
  }
}

// On the virtual clock a slow box costs the host a few polls per byte, not a million, and
// still takes bytes no faster than its rate.
TEST(SimulatedBoxTest, SlowBoxLetsVirtualTimeJumpWhileTheHostWaits) {
  Bench b("rate=1");
  Host& h = *b.host;
  LinkAndReadOpening(b);
  const std::int64_t start = h.Now();
  std::size_t polls = 0;
  Bytes header = Header(100);
  for (std::size_t i = 0; i < header.size() + 16;) {
    ++polls;
    const std::uint8_t ecr = h.Ecr();
    if (ecr & 0x02) continue;
    h.PutFifo(i < header.size() ? header[i] : 0);
    ++i;
  }
  WaitForDrain(h);
  const std::int64_t took = h.Now() - start;
  EXPECT_GE(took, 27 * 1000 * kMs);  // 28 bytes at one a second
  EXPECT_LT(took, 29 * 1000 * kMs);
  EXPECT_LT(polls, 200u);
  EXPECT_EQ(b.receipt().image_bytes, 16u);
  EXPECT_EQ(b.receipt().all_faults(), 0u) << HostFaultSummary(b.receipt());
}

}  // namespace
}  // namespace m4410
