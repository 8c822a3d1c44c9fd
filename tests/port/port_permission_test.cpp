// Who may reach which port: the start step's table, and the claim of each run keeping to it.
#include "privilege/start_step.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "port/fake_system.h"
#include "port/linux_port_access.h"
#include "port/port_driver.h"
#include "port/port_permission.h"

namespace m4410 {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

enum class Who { Root, UserWithCapability, UserSetGroup, UserWithout };
enum class Which { Listed, Unlisted, Sim };

struct Row {
  Who who;
  Which which;
  bool take;
  bool refuse;
  bool drop;
};

// Root keeps today's freedom; an ordinary user reaches only a listed port, and a program
// holding a capability for one gives it all up at start, whatever the port; a setgid copy
// takes nothing (a group gives no port I/O) and gives up its group.
constexpr Row kTable[] = {
    {Who::Root, Which::Listed, false, false, false},
    {Who::Root, Which::Unlisted, false, false, false},
    {Who::Root, Which::Sim, false, false, false},
    {Who::UserWithCapability, Which::Listed, true, false, true},
    {Who::UserWithCapability, Which::Unlisted, false, true, true},
    {Who::UserWithCapability, Which::Sim, false, false, true},
    {Who::UserSetGroup, Which::Listed, false, false, true},
    {Who::UserSetGroup, Which::Unlisted, false, true, true},
    {Who::UserSetGroup, Which::Sim, false, false, true},
    {Who::UserWithout, Which::Listed, false, false, false},
    {Who::UserWithout, Which::Unlisted, false, true, false},
    {Who::UserWithout, Which::Sim, false, false, false},
};

TEST(PortPermissionTest, EveryRowOfTheTableAndTheClaimThatFollows) {
  // The kernel lists the built-in port (no ECP found) and a PCI card.
  FakeSystem system;
  system.AddKernelPort("parport0", 0x378, 0);
  system.AddKernelPort("parport1", 0xE010, 0xE000);
  const auto listed = KernelListedPorts(ReadKernelParportFiles(system));
  system.statuses["/run/m4410"] = {false, true, 0, 0, 0755};
  system.existing.insert("/run/m4410");
  system.existing.insert("/run/m4410/ports.lock");
  system.existing.insert("/dev/port");

  for (const Row& row : kTable) {
    const PortAddresses port =
        row.which == Which::Listed ? PortAddresses{} : PortAddresses{0xCF0, 0xCF8};
    SCOPED_TRACE(testing::Message() << "who " << static_cast<int>(row.who) << ", port "
                                    << static_cast<int>(row.which));
    const StartUser user{row.who == Who::Root, row.who == Who::UserWithCapability,
                         row.who == Who::UserSetGroup};
    const StartPort where = row.which == Which::Sim      ? StartPort::None
                            : PortIsListed(port, listed) ? StartPort::Listed
                                                         : StartPort::Unlisted;
    const StartStep step = DecideStartStep(user, where);
    EXPECT_EQ(step.take_ports, row.take);
    EXPECT_EQ(step.refuse, row.refuse);
    EXPECT_EQ(step.drop, row.drop);
    if (row.which == Which::Sim) continue;

    // The claim of a run after that start, with the process as the start step left it.
    system.ruid = system.euid = user.root ? 0 : 1000;
    system.has_capability = user.root;
    StartGrant grant;
    grant.dropped = step.drop && user.holds_capability;
    if (step.take_ports) {
      grant.granted = port;  // as the start step's ioperm left the process
      system.grants = {{port.base, 8}, {port.extended, 3}};
    }
    system.log.clear();
    {
      LinuxPortAccess access(port, system, grant);
      const ClaimOutcome outcome = access.Claim();
      if (row.refuse) {
        EXPECT_EQ(outcome, ClaimOutcome::Refused);
        EXPECT_THAT(PortErrorText(), HasSubstr("only root may name another"));
        EXPECT_THAT(PortErrorText(), HasSubstr("parport0 (--port lpt)"));
        EXPECT_THAT(PortErrorText(), HasSubstr("parport1 (--port lpt:0xe010,0xe000)"));
        EXPECT_TRUE(system.log.empty()) << "refused before anything is opened or taken";
      } else if (user.root || step.take_ports) {
        EXPECT_EQ(outcome, ClaimOutcome::Claimed) << PortErrorText();
        access.Read(PortRange::Extended, 2);
      } else {
        EXPECT_EQ(outcome, ClaimOutcome::NoFacility);
        EXPECT_THAT(PortErrorText(), HasSubstr("sudo setcap cap_sys_rawio+ep"));
      }
    }
    std::string log;
    for (const auto& line : system.log) log += line + "\n";
    // Only root turns I/O permission on and off per run; nobody else ever opens /dev/port.
    EXPECT_EQ(log.find("ioperm") != std::string::npos, user.root && !row.refuse) << log;
    if (!user.root) {
      EXPECT_THAT(log, Not(HasSubstr("/dev/port")));
    }
    EXPECT_EQ(system.ungranted_accesses, 0);
    // The start step's permission lasts for the process: a run gives back only its own.
    EXPECT_EQ(system.grants.size(), step.take_ports ? 2u : 0u);
    system.grants.clear();
  }
}

TEST(PortPermissionTest, OnlyBothRangesOfAListedPortAreListed) {
  FakeSystem system;
  system.AddKernelPort("parport0", 0x378, 0);
  system.AddKernelPort("parport1", 0xE010, 0xE000);
  system.AddKernelPort("parport2", 0xD000, 0);
  const auto listed = KernelListedPorts(ReadKernelParportFiles(system));
  EXPECT_TRUE(PortIsListed(PortAddresses{0x378, 0x778}, listed));
  EXPECT_TRUE(PortIsListed(PortAddresses{0xE010, 0xE000}, listed));
  for (const PortAddresses& other :
       {PortAddresses{0x378, 0xCF8}, PortAddresses{0x37C, 0x77C}, PortAddresses{0xE010, 0xE410},
        PortAddresses{0xE000, 0xE010}, PortAddresses{0xCF0, 0xCF8}, PortAddresses{0x64, 0x464},
        PortAddresses{0xD000, 0xD400}}) {
    EXPECT_FALSE(PortIsListed(other, listed)) << HexPort(other.base) << "," << HexPort(other.extended);
  }
}

// A port that cannot be had names its real cause: the missing driver when the kernel lists
// none, the default port's own absence, and a kernel without port I/O to every user alike.
TEST(PortPermissionTest, EachUserIsToldTheRealCauseOfARefusal) {
  struct Case {
    const char* what;
    bool card_listed;  // else the kernel lists no port at all
    bool has_ioperm;
    bool root_too;     // root may name any port: only a kernel without port I/O stops it
    PortAddresses port;
    const char* said;
    const char* unsaid;
  };
  const Case cases[] = {
      {"none listed, the default port", false, true, false, {},
       "no parallel port found: the kernel lists none. Load its driver (sudo modprobe "
       "parport_pc), then see the port with m4410 ports.\n",
       "name"},
      {"none listed, a named port", false, true, false, {0xE010, 0xE000},
       "no parallel port found: the kernel lists none.", "root"},
      {"a card only, the default port", true, true, false, {},
       "no parallel port at 0x378,0x778, the default: choose one the kernel lists with --port: "
       "parport1 (--port lpt:0xe010,0xe000).\n",
       "name another"},
      {"a card only, another port named", true, true, false, {0xCF0, 0xCF8},
       "the port 0xcf0,0xcf8 is not a parallel port the kernel lists, and only root may name "
       "another. The kernel lists: parport1 (--port lpt:0xe010,0xe000).\n",
       "default"},
      {"a kernel without port I/O", true, false, true, {},
       "no port I/O in this kernel: ioperm is not available and there is no /dev/port "
       "(ioperm: Function not implemented; /dev/port: No such file or directory).",
       "setcap"},
  };
  for (const Case& c : cases) {
    for (const Who who : {Who::Root, Who::UserWithCapability, Who::UserWithout}) {
      if (who == Who::Root && !c.root_too) continue;
      SCOPED_TRACE(testing::Message() << c.what << ", who " << static_cast<int>(who));
      FakeSystem system;
      if (c.card_listed) system.AddKernelPort("parport1", 0xE010, 0xE000);
      system.has_ioperm = c.has_ioperm;
      system.ruid = system.euid = who == Who::Root ? 0 : 1000;
      system.has_capability = who != Who::UserWithout;
      LinuxPortAccess access(c.port, system, StartGrant{});
      EXPECT_EQ(access.Claim(), c.has_ioperm ? ClaimOutcome::Refused : ClaimOutcome::NoFacility);
      EXPECT_THAT(PortErrorText(), HasSubstr(c.said));
      EXPECT_THAT(PortErrorText(), Not(HasSubstr(c.unsaid)));
      EXPECT_THAT(PortErrorText(), Not(HasSubstr("((")));
      EXPECT_TRUE(system.NothingHeld());
    }
  }
}

}  // namespace
}  // namespace m4410
