// End signals reaching the m4410 executable mid-run, on Linux.
#include <signal.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "cli/command_rig.h"

namespace m4410 {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// The box never confirms in these runs, so a command that waited for it would sit out the
// ten-minute bound; leaving at once is what they check, on the real clock.
TEST_F(M4410CommandTest, EveryEndSignalDuringTheImageLetsItFinishThenExits130) {
  // 20000 bytes at 4000 bytes a second: five seconds of sending, in which each signal must
  // land however busy the machine is. The runs go side by side.
  const int signals[] = {SIGHUP, SIGTERM, SIGRTMIN};  // SIGINT: see the next test
  std::vector<std::pair<int, fs::path>> runs;
  std::vector<ChildProcess> children;
  for (const int signal_number : signals) {
    const fs::path in = dir_ / std::to_string(signal_number);
    fs::create_directories(in);
    const fs::path image = MakeImage(20000, in);
    children.push_back(Spawn({"update", image.string(), "--sim", "rate=4000,closing=no"},
                             ChildOutput::File, in));
    runs.emplace_back(signal_number, in);
  }
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const auto& [signal_number, in] = runs[i];
    SCOPED_TRACE(strsignal(signal_number));
    // Progress shows only while image bytes go out.
    ASSERT_TRUE(AwaitErr("Sending data.", in));
    children[i].Signal(signal_number);
  }
  for (const auto& [signal_number, in] : runs) ASSERT_TRUE(AwaitErr("going out", in));
  // A second signal while the image goes out changes nothing.
  for (ChildProcess& child : children) child.Signal(SIGINT);
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const auto& [signal_number, in] = runs[i];
    SCOPED_TRACE(strsignal(signal_number));
    // Well short of the ten minutes the box would keep a command that waited for it.
    const Outcome o = Wait(std::move(children[i]), std::chrono::seconds(90), in);
    EXPECT_EQ(o.exit_status, 130) << o.err;
    EXPECT_THAT(o.err, HasSubstr("New software transmitted: Okay\n"));
    EXPECT_THAT(o.err, HasSubstr(WholeImage(20000)));
    EXPECT_THAT(o.err, HasSubstr("update interrupted"));
    EXPECT_EQ(o.err.find("going out"), o.err.rfind("going out")) << "said once";
  }
}

}  // namespace
}  // namespace m4410
