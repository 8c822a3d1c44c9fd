#include "port/linux_port_access.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "port/fake_system.h"
#include "port/port_driver.h"

namespace m4410 {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr const char* kLock = "/run/lock/m4410-port-0x378.lock";

class LinuxPortAccessTest : public ::testing::Test {
 protected:
  void SetUp() override { UseBackend(PortAddresses{}); }
  void TearDown() override { SetPortAccessFactory(nullptr); }

  void UseBackend(PortAddresses addresses) {
    SetPortAccessFactory([this, addresses] {
      return std::make_unique<LinuxPortAccess>(addresses, system_);
    });
  }

  // Opens through the driver; on failure checks the out-parameter kept its value.
  int Open(std::unique_ptr<PortDriverContext>* context) {
    auto sentinel = std::make_unique<PortDriverContext>();
    PortDriverContext* const before = sentinel.get();
    *context = std::move(sentinel);
    const int result = OpenPortDriver(context);
    if (result != 0) {
      EXPECT_EQ(context->get(), before);
    }
    return result;
  }

  // A failed open: its result, with everything given back and the reason recorded.
  int OpenExpectingFailure() {
    std::unique_ptr<PortDriverContext> context;
    const int result = Open(&context);
    EXPECT_NE(result, 0);
    EXPECT_TRUE(system_.NothingHeld()) << Log();
    EXPECT_FALSE(PortErrorText().empty());
    return result;
  }

  std::string Log() const {
    std::string text;
    for (const auto& line : system_.log) text += line + "\n";
    return text;
  }

  FakeSystem system_;
};

TEST_F(LinuxPortAccessTest, OpenClaimsInOrderAndCloseReleasesInReverse) {
  system_.AddKernelPort("parport0", 0x378, 0x778);
  system_.ports[0x379] = 0x98;
  system_.ports[0x77A] = 0x15;

  std::unique_ptr<PortDriverContext> context;
  ASSERT_EQ(Open(&context), 0) << PortErrorText();
  EXPECT_EQ(PortErrorText(), "");
  EXPECT_THAT(system_.log,
              ElementsAre("open /run/lock/m4410-port-0x378.lock",
                          "open /tmp/m4410-port-0x378.lock",
                          "open /run/lock/m4410-port-0x378.lock", "lock " + std::string(kLock),
                          "open /dev/parport0", "ioctl PPEXCL /dev/parport0",
                          "ioctl PPCLAIM /dev/parport0", "ioperm on 0x378 8",
                          "ioperm on 0x778 3"));
  EXPECT_EQ(system_.opened_without_cloexec, 0);

  system_.log.clear();
  EXPECT_EQ(ReadStatus(context.get()), 0x98);
  EXPECT_EQ(ReadEcr(context.get()), 0x15);
  WriteData(context.get(), 0x110);  // only the low byte reaches the port
  WriteConfigB(context.get(), 0x00);
  WriteEcpFifo(context.get(), 0x5A);
  EXPECT_THAT(system_.log, ElementsAre("in 0x379", "in 0x77a", "out 0x378 0x10", "out 0x779 0x0",
                                       "out 0x778 0x5a"));
  EXPECT_EQ(system_.ungranted_accesses, 0);

  system_.log.clear();
  ClosePortDriver(std::move(context));
  EXPECT_THAT(system_.log,
              ElementsAre("ioperm off 0x778 3", "ioperm off 0x378 8",
                          "ioctl PPRELEASE /dev/parport0", "close /dev/parport0",
                          "unlock " + std::string(kLock), "close " + std::string(kLock)));
  EXPECT_TRUE(system_.NothingHeld());
}

TEST_F(LinuxPortAccessTest, CardAtOtherAddressesUsesItsOwnKernelPortAndRanges) {
  system_.AddKernelPort("parport0", 0x378, 0x778);
  system_.AddKernelPort("parport1", 0xE010, 0xE000);
  UseBackend(PortAddresses{0xE010, 0xE000});

  std::unique_ptr<PortDriverContext> context;
  ASSERT_EQ(Open(&context), 0) << PortErrorText();
  EXPECT_TRUE(system_.locks.count("/run/lock/m4410-port-0xe010.lock"));
  EXPECT_EQ(system_.claimed_parports.size(), 1u);
  EXPECT_THAT(Log(), HasSubstr("ioctl PPCLAIM /dev/parport1"));
  EXPECT_THAT(Log(), ::testing::Not(HasSubstr("/dev/parport0")));

  system_.log.clear();
  ReadControl(context.get());
  WriteEcr(context.get(), 0x34);
  EXPECT_THAT(system_.log, ElementsAre("in 0xe012", "out 0xe002 0x34"));
  ClosePortDriver(std::move(context));
  EXPECT_TRUE(system_.NothingHeld());
}

TEST_F(LinuxPortAccessTest, WithoutKernelPortOrPpdevTheRawClaimStillSucceeds) {
  // No parport known for the base: nothing to take from the kernel.
  {
    LinuxPortAccess access(PortAddresses{}, system_);
    ASSERT_EQ(access.Claim(), ClaimOutcome::Claimed) << PortErrorText();
    EXPECT_THAT(Log(), ::testing::Not(HasSubstr("/dev/parport")));
  }
  EXPECT_TRUE(system_.NothingHeld());  // the destructor gave the claim back

  // A parport but no ppdev node (module not loaded).
  system_.AddKernelPort("parport0", 0x378, 0x778);
  system_.existing.erase("/dev/parport0");
  system_.log.clear();
  LinuxPortAccess access(PortAddresses{}, system_);
  ASSERT_EQ(access.Claim(), ClaimOutcome::Claimed) << PortErrorText();
  EXPECT_THAT(Log(), ::testing::Not(HasSubstr("ioctl")));
  access.Release();
  access.Release();  // a second release finds nothing to give back
  EXPECT_TRUE(system_.NothingHeld());
}

TEST_F(LinuxPortAccessTest, DevPortFallbackMovesOneByteAtThePortsOffset) {
  system_.ioperm_errors[0x378] = -ENOSYS;
  system_.existing.insert("/dev/port");
  system_.ports[0x379] = 0xD8;

  std::unique_ptr<PortDriverContext> context;
  ASSERT_EQ(Open(&context), 0) << PortErrorText();
  EXPECT_TRUE(system_.grants.empty());

  system_.log.clear();
  EXPECT_EQ(ReadStatus(context.get()), 0xD8);
  WriteEcr(context.get(), 0x74);
  WriteControl(context.get(), 0x104);
  EXPECT_THAT(system_.log, ElementsAre("pread /dev/port 0x379 1", "pwrite /dev/port 0x77a 0x74 1",
                                       "pwrite /dev/port 0x37a 0x4 1"));
  EXPECT_EQ(system_.ports[0x77A], 0x74);

  system_.log.clear();
  ClosePortDriver(std::move(context));
  EXPECT_EQ(system_.log.front(), "close /dev/port");
  EXPECT_TRUE(system_.NothingHeld());
}

TEST_F(LinuxPortAccessTest, HalfGrantedIopermIsGivenBackBeforeDevPort) {
  system_.ioperm_errors[0x778] = -EINVAL;  // an old kernel without ports above 0x3ff
  system_.existing.insert("/dev/port");

  LinuxPortAccess access(PortAddresses{}, system_);
  ASSERT_EQ(access.Claim(), ClaimOutcome::Claimed) << PortErrorText();
  EXPECT_TRUE(system_.grants.empty());
  system_.log.clear();
  access.Read(PortRange::Standard, 1);
  EXPECT_THAT(system_.log, ElementsAre("pread /dev/port 0x379 1"));
}

TEST_F(LinuxPortAccessTest, AccessesOutsideTheClaimNeverReachThePort) {
  LinuxPortAccess access(PortAddresses{}, system_);
  EXPECT_EQ(access.Read(PortRange::Standard, 1), 0xFF);  // not claimed yet
  ASSERT_EQ(access.Claim(), ClaimOutcome::Claimed);
  system_.log.clear();
  EXPECT_EQ(access.Read(PortRange::Standard, 8), 0xFF);
  EXPECT_EQ(access.Read(PortRange::Extended, 3), 0xFF);
  access.Write(PortRange::Extended, 3, 0x01);
  access.Write(static_cast<PortRange>(7), 0, 0x01);
  EXPECT_THAT(system_.log, IsEmpty());
  access.Release();
  system_.log.clear();
  access.Write(PortRange::Standard, 0, 0x01);
  EXPECT_THAT(system_.log, IsEmpty());
  EXPECT_EQ(system_.ungranted_accesses, 0);
}

TEST_F(LinuxPortAccessTest, NoPrivilegeGivesResult1WithTheRemedy) {
  system_.has_capability = false;
  system_.euid = 1000;
  system_.ioperm_errors[0x378] = -EPERM;
  system_.open_errors["/dev/port"] = -EPERM;
  EXPECT_EQ(OpenExpectingFailure(), 1);
  EXPECT_THAT(PortErrorText(), HasSubstr("root or the CAP_SYS_RAWIO capability"));
  EXPECT_THAT(PortErrorText(), HasSubstr("sudo setcap cap_sys_rawio+ep /usr/bin/m4410"));

  system_.euid = 0;  // root in a container that dropped the capability
  EXPECT_EQ(OpenExpectingFailure(), 1);
  EXPECT_THAT(PortErrorText(), HasSubstr("root but without the CAP_SYS_RAWIO"));
}

TEST_F(LinuxPortAccessTest, KernelLockdownGivesResult1) {
  for (const std::string mode : {"integrity", "confidentiality"}) {
    system_.files["/sys/kernel/security/lockdown"] =
        mode == "integrity" ? "none [integrity] confidentiality\n"
                            : "none integrity [confidentiality]\n";
    EXPECT_EQ(OpenExpectingFailure(), 1) << mode;
    EXPECT_THAT(PortErrorText(), HasSubstr("kernel lockdown (" + mode + ") forbids raw port"));
    EXPECT_THAT(PortErrorText(), HasSubstr("Secure Boot"));
  }
  system_.files["/sys/kernel/security/lockdown"] = "[none] integrity confidentiality\n";
  std::unique_ptr<PortDriverContext> context;
  EXPECT_EQ(Open(&context), 0) << PortErrorText();
  ClosePortDriver(std::move(context));
}

TEST_F(LinuxPortAccessTest, UnreachableRegistersGiveResult1) {
  system_.AddKernelPort("parport0", 0x378, 0x778);
  system_.ioperm_errors[0x378] = -ENOSYS;
  EXPECT_EQ(OpenExpectingFailure(), 1);
  EXPECT_THAT(PortErrorText(), HasSubstr("no port I/O in this kernel"));
  // The kernel port was taken before the registers failed, and given back in order.
  EXPECT_THAT(Log(), HasSubstr("ioctl PPRELEASE /dev/parport0\nclose /dev/parport0\nunlock"));

  // Refused although the capability is there: a policy stands in the way.
  system_.ioperm_errors[0x378] = -EPERM;
  system_.open_errors["/dev/port"] = -EPERM;
  EXPECT_EQ(OpenExpectingFailure(), 1);
  EXPECT_THAT(PortErrorText(), HasSubstr("refused raw port access"));
  EXPECT_THAT(PortErrorText(), HasSubstr("security policy"));
}

TEST_F(LinuxPortAccessTest, OtherArchitecturesHaveNoPortIo) {
  system_.has_port_io = false;
  EXPECT_EQ(OpenExpectingFailure(), 1);
  EXPECT_THAT(PortErrorText(), HasSubstr("no port I/O on this architecture"));
  EXPECT_THAT(system_.log, IsEmpty());
}

TEST_F(LinuxPortAccessTest, PortHeldByThePrinterDriverGivesResult2) {
  system_.AddKernelPort("parport0", 0x378, 0x778);
  system_.ioctl_errors[PPCLAIM] = -ENXIO;
  EXPECT_EQ(OpenExpectingFailure(), 2);
  EXPECT_THAT(PortErrorText(), HasSubstr("parport0 (0x378) is in use"));
  EXPECT_THAT(PortErrorText(), HasSubstr("sudo rmmod lp"));
  EXPECT_THAT(Log(), ::testing::Not(HasSubstr("PPRELEASE")));
  EXPECT_THAT(Log(), ::testing::Not(HasSubstr("ioperm")));

  // A ppdev node this user may not open cannot keep the printer driver off: result 1.
  system_.open_errors["/dev/parport0"] = -EACCES;
  EXPECT_EQ(OpenExpectingFailure(), 1);
  EXPECT_THAT(PortErrorText(), HasSubstr("lp group"));
}

TEST_F(LinuxPortAccessTest, SecondInstanceIsRefusedWithTheLockFileNamed) {
  LinuxPortAccess first(PortAddresses{}, system_);
  ASSERT_EQ(first.Claim(), ClaimOutcome::Claimed);

  std::unique_ptr<PortDriverContext> context;
  EXPECT_EQ(Open(&context), 2);
  EXPECT_THAT(PortErrorText(), HasSubstr("another instance of this program"));
  EXPECT_THAT(PortErrorText(), HasSubstr(kLock));
  EXPECT_EQ(system_.grants.size(), 2u);  // the first keeps its claim
  EXPECT_EQ(system_.open_fds.size(), 1u);

  // Another base is another lock.
  LinuxPortAccess other(PortAddresses{0x278, 0x678}, system_);
  EXPECT_EQ(other.Claim(), ClaimOutcome::Claimed) << PortErrorText();
  other.Release();

  first.Release();
  ASSERT_EQ(Open(&context), 0) << PortErrorText();
  ClosePortDriver(std::move(context));
  EXPECT_TRUE(system_.NothingHeld());
}

TEST_F(LinuxPortAccessTest, LockFileFallsBackToTmpAndAnExistingOneWins) {
  system_.open_errors[kLock] = -EACCES;
  {
    LinuxPortAccess access(PortAddresses{}, system_);
    ASSERT_EQ(access.Claim(), ClaimOutcome::Claimed) << PortErrorText();
    EXPECT_TRUE(system_.locks.count("/tmp/m4410-port-0x378.lock"));
  }
  // Once /run/lock is writable again, the lock file left in /tmp is still the one used.
  system_.open_errors.clear();
  LinuxPortAccess access(PortAddresses{}, system_);
  ASSERT_EQ(access.Claim(), ClaimOutcome::Claimed) << PortErrorText();
  EXPECT_TRUE(system_.locks.count("/tmp/m4410-port-0x378.lock"));
}

TEST_F(LinuxPortAccessTest, NoLockFileAnywhereGivesResult2) {
  system_.open_errors[kLock] = -EROFS;
  system_.open_errors["/tmp/m4410-port-0x378.lock"] = -EACCES;
  EXPECT_EQ(OpenExpectingFailure(), 2);
  EXPECT_THAT(PortErrorText(), HasSubstr("cannot create the lock file"));
  EXPECT_THAT(Log(), ::testing::Not(HasSubstr("ioperm")));
}

}  // namespace
}  // namespace m4410
