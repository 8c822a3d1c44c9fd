#include "port/linux_port_access.h"

#include <fcntl.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "port/fake_system.h"
#include "port/port_copy.h"
#include "port/port_driver.h"
#include "port/system_primitives.h"

namespace m4410 {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr const char* kLock = "/run/m4410/ports.lock";
constexpr const char* kLockFolder = "/run/m4410";

class LinuxPortAccessTest : public ::testing::Test {
 protected:
  void SetUp() override { UseBackend(PortAddresses{}); }
  void TearDown() override { SetProcessPortFactory(nullptr); }

  void UseBackend(PortAddresses addresses) {
    SetProcessPortFactory([this, addresses] {
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
  system_.umask = 077;

  std::unique_ptr<PortDriverContext> context;
  ASSERT_EQ(Open(&context), 0) << PortErrorText();
  EXPECT_EQ(PortErrorText(), "");
  // Root makes the lock folder and file, and gives operators in lp the file whatever its umask.
  const std::string lock = kLock;
  EXPECT_THAT(system_.log,
              ElementsAre("mkdir /run/m4410", "open /run/m4410", "open " + lock,
                          "close /run/m4410", "chmod " + lock, "chgrp " + lock,
                          "lock " + lock + " 0x378 8", "lock " + lock + " 0x778 3",
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
                          "close " + lock));
  EXPECT_EQ(system_.statuses[lock].mode, 0640u);
  EXPECT_EQ(system_.statuses[lock].group, 7u);
  EXPECT_TRUE(system_.NothingHeld());
}

TEST_F(LinuxPortAccessTest, CardAtOtherAddressesUsesItsOwnKernelPortAndRanges) {
  system_.AddKernelPort("parport0", 0x378, 0x778);
  system_.AddKernelPort("parport1", 0xE010, 0xE000);
  UseBackend(PortAddresses{0xE010, 0xE000});

  std::unique_ptr<PortDriverContext> context;
  ASSERT_EQ(Open(&context), 0) << PortErrorText();
  EXPECT_THAT(Log(), HasSubstr("lock /run/m4410/ports.lock 0xe010 8\nlock /run/m4410/ports.lock 0xe000 3"));
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
  system_.AddKernelPort("parport0", 0x378, 0x778);
  system_.has_capability = false;
  system_.euid = system_.ruid = 1000;
  system_.ioperm_errors[0x378] = -EPERM;
  system_.open_errors["/dev/port"] = -EPERM;
  EXPECT_EQ(OpenExpectingFailure(), 1);
  EXPECT_THAT(PortErrorText(), HasSubstr("root or the CAP_SYS_RAWIO capability"));
  EXPECT_THAT(PortErrorText(), HasSubstr("sudo setcap cap_sys_rawio+ep /usr/bin/m4410"));

  system_.euid = system_.ruid = 0;  // root in a container that dropped the capability
  EXPECT_EQ(OpenExpectingFailure(), 1);
  EXPECT_THAT(PortErrorText(), HasSubstr("root but without the CAP_SYS_RAWIO"));
}

// A program with a port copy: a user who may not run the copy is told the group and how to
// join it; one who may (or the copy itself) is told the capability step for the copy.
TEST_F(LinuxPortAccessTest, WithAPortCopyTheRefusalNamesTheGroupOrTheCopysStep) {
  system_.AddKernelPort("parport0", 0x378, 0x778);
  system_.has_capability = false;
  system_.euid = system_.ruid = 1000;
  const std::string copy = PortCopyPath(system_.executable);
  ASSERT_NE(copy, system_.executable);
  const std::string setcap = "sudo setcap cap_sys_rawio+ep " + copy;
  const std::vector<std::string> group = {"port access belongs to the group lp", copy,
                                          "sudo usermod -aG lp NAME", "log in again"};
  struct Case {
    std::string executable;
    int copy_access;  // what access(X_OK) answers at the copy
    std::vector<std::string> says;
    std::string never;
  };
  for (const Case& c : {Case{system_.executable, -EACCES, group, setcap},
                        Case{system_.executable, 0, {setcap}, group[0]},
                        Case{copy, 0, {setcap}, group[0]}}) {
    system_.executable = c.executable;
    system_.runnable = {{copy, c.copy_access}};
    EXPECT_EQ(OpenExpectingFailure(), 1);
    for (const std::string& text : c.says) {
      EXPECT_THAT(PortErrorText(), HasSubstr(text)) << c.executable << " " << c.copy_access;
    }
    EXPECT_THAT(PortErrorText(), Not(HasSubstr(c.never)));
  }
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
  EXPECT_THAT(Log(), HasSubstr("ioctl PPRELEASE /dev/parport0\nclose /dev/parport0\nclose /run/m4410"));

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

TEST_F(LinuxPortAccessTest, OnePortIsOneLockAndOverlappingRangesAreRefused) {
  LinuxPortAccess first(PortAddresses{}, system_);
  ASSERT_EQ(first.Claim(), ClaimOutcome::Claimed);

  // The same port, and ranges overlapping either of its two, are in use.
  for (const PortAddresses& overlapping :
       {PortAddresses{}, PortAddresses{0x37C, 0x77C}, PortAddresses{0x278, 0x779},
        PortAddresses{0x774, 0xE000}}) {
    LinuxPortAccess second(overlapping, system_);
    EXPECT_EQ(second.Claim(), ClaimOutcome::Refused) << HexPort(overlapping.base);
    EXPECT_THAT(PortErrorText(), HasSubstr("another instance of this program"));
    EXPECT_THAT(PortErrorText(), HasSubstr(kLock));
  }
  EXPECT_EQ(system_.grants.size(), 2u);  // the first keeps its claim
  EXPECT_EQ(system_.open_fds.size(), 1u);

  // Ports apart from it are not.
  LinuxPortAccess other(PortAddresses{0x278, 0x678}, system_);
  EXPECT_EQ(other.Claim(), ClaimOutcome::Claimed) << PortErrorText();
  other.Release();

  first.Release();
  std::unique_ptr<PortDriverContext> context;
  ASSERT_EQ(Open(&context), 0) << PortErrorText();
  ClosePortDriver(std::move(context));
  EXPECT_TRUE(system_.NothingHeld());
}

// Whatever stands at the lock's place that is not root's plain file in root's own folder is
// refused at once: no wait on a pipe, no second lock elsewhere, nothing taken.
TEST_F(LinuxPortAccessTest, ALockPlaceThatIsNotRootsOwnIsRefusedAtOnce) {
  using Status = SystemPrimitives::Status;
  struct Case {
    const char* what;
    unsigned user;
    std::map<std::string, Status> statuses;
    std::set<std::string> links;
    std::map<std::string, int> open_errors;
    const char* says;
  };
  const Status root_folder{false, true, 0, 0, 0755};
  const std::vector<Case> cases = {
      {"a pipe", 0, {{kLockFolder, root_folder}, {kLock, Status{false, false, 0, 0, 0644}}}, {}, {},
       "not root's plain file"},
      {"another user's file", 0, {{kLockFolder, root_folder}, {kLock, Status{true, false, 1000, 1000, 0600}}},
       {}, {}, "not root's plain file"},
      {"a link", 0, {{kLockFolder, root_folder}}, {kLock}, {}, "it is a link"},
      {"a folder anyone may write", 0, {{kLockFolder, Status{false, true, 0, 0, 01777}}}, {}, {},
       "not root's own folder"},
      {"another user's folder", 1000, {{kLockFolder, Status{false, true, 1000, 1000, 0755}}}, {}, {},
       "not root's own folder"},
      {"root's 0600 file, for a user outside lp", 1000, {{kLockFolder, root_folder}}, {},
       {{kLock, -EACCES}}, "add the user to the lp group"},
      {"no folder, for a user", 1000, {}, {}, {}, "tmpfiles"},
  };
  system_.AddKernelPort("parport0", 0x378, 0x778);
  for (const Case& c : cases) {
    system_.euid = system_.ruid = c.user;
    system_.statuses = c.statuses;
    system_.existing = {"/dev/parport0"};
    for (const auto& [path, status] : c.statuses) system_.existing.insert(path);
    system_.links = c.links;
    system_.open_errors = c.open_errors;
    StartGrant grant;
    grant.granted = PortAddresses{};
    system_.log.clear();
    LinuxPortAccess access(PortAddresses{}, system_, grant);
    EXPECT_EQ(access.Claim(), ClaimOutcome::NoFacility) << c.what;
    EXPECT_THAT(PortErrorText(), HasSubstr(c.says)) << c.what;
    EXPECT_TRUE(system_.NothingHeld()) << c.what;
    EXPECT_THAT(Log(), ::testing::Not(HasSubstr("/dev/parport0"))) << c.what;
    for (const std::string& line : system_.log) {
      EXPECT_TRUE(line.find("/run/m4410") != std::string::npos) << c.what << ": " << line;
    }
  }
}

// The system's own claim, on a file each holder has open for reading only, as operators in lp
// have it: one holder at a time of a range and of any range overlapping it, from every side,
// either holder first; ranges beside it are free, and all is free once the holder closes.
TEST(RealPortLockTest, ClaimsAreExclusiveThroughReadOnlyDescriptors) {
  char path[] = "/tmp/m4410-lock-XXXXXX";
  const int made = ::mkstemp(path);
  ASSERT_GE(made, 0);
  ::close(made);
  SystemPrimitives& system = RealSystemPrimitives();
  const auto open = [&] { return system.Open(path, O_RDONLY | O_CLOEXEC, 0); };
  const int holder = open();
  ASSERT_GE(holder, 0);
  ASSERT_EQ(system.LockRange(holder, 0x378, 8), 0);
  for (std::uint64_t first = 0x370; first < 0x388; ++first) {
    for (std::uint64_t count = 1; count <= 3; ++count) {
      const bool overlaps = first < 0x378 + 8 && 0x378 < first + count;
      const int other = open();
      EXPECT_EQ(system.LockRange(other, first, count), overlaps ? -EAGAIN : 0)
          << HexPort(static_cast<unsigned>(first)) << " " << count;
      // Held by the other, a range keeps the holder out just the same.
      if (!overlaps) EXPECT_EQ(system.LockRange(holder, first, count), -EAGAIN);
      system.Close(other);
    }
  }
  system.Close(holder);
  const int next = open();
  EXPECT_EQ(system.LockRange(next, 0x378, 8), 0);
  system.Close(next);
  ::unlink(path);
}

}  // namespace
}  // namespace m4410
