// The status window's behaviour without a window: what the controller tells a view to draw,
// its timers, its notes and its closing, and which key presses may press its button.
#include "ui/status_dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "board/run_cause.h"
#include "board/stage_board.h"
#include "run/port_environment.h"
#include "run/update_worker.h"
#include "sim/sim_rig.h"
#include "ui/start_command.h"

namespace m4410 {
namespace {

// Keeps what the controller last told it, as a window would show it.
class FakeView : public StatusDialogView {
 public:
  void SetTitle(const std::string& text) override { title = text; }
  void SetResult(int stage, const std::string& text) override { results.at(stage - 1) = text; }
  void SetMessage(const std::string& text) override { message = text; }
  void SetBarRange(int low, int high) override { range = {low, high}; }
  void SetBar(int position) override { bars.push_back(position); }
  void SetButtonText(const std::string& text) override { button = text; }
  void ReserveNotes(const NotesRoom& reserved) override { rooms.push_back(reserved); }
  void ShowNotes(const std::vector<NoteLine>& lines) override { notes.push_back(lines); }
  void ShowHelp(const std::string& page) override { helps.push_back(page); }
  void StartTimer(StatusTimer timer, int period_ms) override { timers[timer] = period_ms; }
  void StopTimer(StatusTimer timer) override { timers.erase(timer); }
  void EndDialog() override { ended = true; }

  bool Running(StatusTimer timer) const { return timers.count(timer) != 0; }

  std::string title;
  std::vector<std::string> results = std::vector<std::string>(kStageCount, "unset");
  std::string message = "unset";
  std::pair<int, int> range;
  std::vector<int> bars;
  std::string button;
  std::vector<NotesRoom> rooms;
  std::vector<std::vector<NoteLine>> notes;
  std::map<StatusTimer, int> timers;
  std::vector<std::string> helps;
  bool ended = false;
};

class StatusDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { Clear(); }
  void TearDown() override { Clear(); }
  static void Clear() {
    for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
    ClearRunCause();
    RaiseKeepGoing();
  }
  FakeView view;
  StatusDialogController dialog{view};
};

TEST_F(StatusDialogTest, OpensEmptyWithItsRoomTakenAndDrawsOnlyWhatMoves) {
  dialog.OnInitDialog();
  EXPECT_EQ(view.title, "File Transfer Status");
  EXPECT_EQ(view.results, std::vector<std::string>(kStageCount, ""));
  EXPECT_EQ(view.message, "");
  EXPECT_EQ(view.range, (std::pair{1, 3000}));
  EXPECT_THAT(view.bars, testing::ElementsAre(1));
  EXPECT_EQ(view.button, "&Cancel");
  EXPECT_EQ(view.timers, (std::map<StatusTimer, int>{{StatusTimer::Poll, 250}}));
  // The notes' room lies below the message line, the button below it, before any note.
  ASSERT_EQ(view.rooms.size(), 1u);
  const NotesRoom room = view.rooms[0];
  const DialogTemplate layout = LoadDialogTemplate(103);
  const ControlTemplate* message = layout.Control(1059);
  const ControlTemplate* button = layout.Control(2);
  EXPECT_GT(room.notes.y, message->rect.y + message->rect.height);
  EXPECT_EQ(room.notes.width, message->rect.width);
  EXPECT_GE(room.notes.height, 6 * 8) << "six lines of notes";
  EXPECT_GT(button->rect.y + room.shift, room.notes.y + room.notes.height);

  // A tick that moves nothing sets neither the bar nor the button again.
  view.button.clear();
  dialog.OnTimer(StatusTimer::Poll);
  EXPECT_THAT(view.bars, testing::ElementsAre(1));
  EXPECT_EQ(view.button, "");
  SetStage(1, Okay);
  dialog.OnTimer(StatusTimer::Poll);
  EXPECT_THAT(view.bars, testing::ElementsAre(1, 29));
  EXPECT_EQ(view.results[0], "Okay");
  EXPECT_TRUE(view.notes.empty());
}

// Every stage failing, on a real and a simulated box: "Failed", the timer stops, and the notes
// come at once (no worker runs here): the cause and its help page, then the box's report.
TEST_F(StatusDialogTest, EveryFailureStopsThePollAndShowsItsNotes) {
  for (const bool simulated : {false, true}) {
    for (int failed = 1; failed <= kStageCount; ++failed) {
      SCOPED_TRACE(testing::Message() << "stage " << failed << " simulated " << simulated);
      Clear();
      FakeView v;
      StatusDialogController d{v};
      if (simulated) d.SetBoxReport([] { return std::string("box received 3 bytes"); });
      SetRunCause("what happened\n");
      d.OnInitDialog();
      EXPECT_EQ(v.title, simulated ? "File Transfer Status (simulated box)" : "File Transfer Status");
      d.OnHelp();  // F1 with no cause shown: the page on running an update
      for (int stage = 1; stage < failed; ++stage) SetStage(stage, Okay);
      SetStage(failed, Failed);
      d.OnTimer(StatusTimer::Poll);
      EXPECT_EQ(v.results[failed - 1], "Failed");
      EXPECT_FALSE(v.Running(StatusTimer::Poll));
      EXPECT_FALSE(v.Running(StatusTimer::EndWatch));

      std::vector<NoteLine> expected;
      const std::string cause = CauseLine(failed, "what happened");
      if (!cause.empty()) {
        expected.push_back({cause, {}});
        const HelpPage page = CauseHelpPage(failed);
        if (!page.page.empty()) expected.push_back({"More in the help: ", page});
      }
      if (simulated) expected.push_back({"box received 3 bytes", {}});
      if (expected.empty()) {
        EXPECT_TRUE(v.notes.empty());
      } else {
        ASSERT_EQ(v.notes.size(), 1u) << "all at once when the run has already ended";
        EXPECT_EQ(v.notes[0], expected);
      }
      EXPECT_EQ(d.notes(), expected);
      // F1 and the help line: the cause's page once a cause is shown.
      d.OnHelp();
      const std::string page = cause.empty() ? "running.html" : CauseHelpPage(failed).page;
      EXPECT_EQ(v.helps, (std::vector<std::string>{"running.html", page}));
      // No further tick is taken, and the notes stay.
      SetStage(7, Okay);
      d.OnTimer(StatusTimer::Poll);
      EXPECT_EQ(v.results[6], failed == 7 ? "Failed" : "");
      EXPECT_EQ(v.notes.size(), expected.empty() ? 0u : 1u);
    }
  }
}

// Past the estimate the message line holds as it stands; the box's time left is a note of its
// own, redrawn as it changes and taken away when the box has confirmed.
TEST_F(StatusDialogTest, BoxTimeLeftIsANoteBesideTheHeldLine) {
  dialog.OnInitDialog();
  SetStage(BoxUpdated, Busy);
  for (int ticks = 0; view.notes.empty() && ticks < 1000; ++ticks) {
    dialog.OnTimer(StatusTimer::Poll);
  }
  ASSERT_FALSE(view.notes.empty());
  EXPECT_EQ(view.message, "Updating box. 99% complete.");
  const std::string first = dialog.shown().countdown;
  EXPECT_EQ(first.rfind("The box has ", 0), 0u) << first;
  EXPECT_EQ(view.notes.back(), (std::vector<NoteLine>{{first, {}}}));
  for (int tick = 0; tick < 4; ++tick) dialog.OnTimer(StatusTimer::Poll);
  ASSERT_EQ(view.notes.size(), 2u) << "drawn again only when it changes";
  EXPECT_NE(dialog.shown().countdown, first);
  EXPECT_EQ(view.notes.back(), (std::vector<NoteLine>{{dialog.shown().countdown, {}}}));
  SetStage(BoxUpdated, Okay);
  dialog.OnTimer(StatusTimer::Poll);
  EXPECT_EQ(view.message, "Updating box. 100% complete.");
  ASSERT_EQ(view.notes.size(), 3u);
  EXPECT_TRUE(view.notes.back().empty());
  LowerKeepGoing();
}

TEST_F(StatusDialogTest, CancelEndsTheWindowStopsItsTimersAndLowersKeepGoing) {
  dialog.OnInitDialog();
  SetStage(5, Busy);
  dialog.OnTimer(StatusTimer::Poll);
  dialog.OnCancel();
  EXPECT_TRUE(view.ended);
  EXPECT_TRUE(view.timers.empty());
  EXPECT_FALSE(KeepGoing());
}

// A whole run on the simulated box that sends box data: the window ticks while the worker
// runs, the end watch follows the worker to its end, and the notes then name the file "0" by
// its full path and give the box's report. The window never grows: its room was taken once.
TEST_F(StatusDialogTest, RunThatWroteBoxDataNamesTheFile) {
  test::ScratchDir dir;
  std::string error;
  auto environment =
      PortEnvironment::Install(
          {{PortKind::Sim, {}}, "clock=virtual,box-data=250,update-ms=100", ""}, &error);
  ASSERT_NE(environment, nullptr) << error;
  dialog.SetBoxReport([&environment] { return environment->BoxReport(); });
  const std::string image = dir.Put("image.bin", test::ImageBytes(500));
  ASSERT_TRUE(StartUpdate({true, false, false, false, &image, nullptr, nullptr, nullptr}).started);
  dialog.OnInitDialog();
  while (view.notes.empty()) {
    dialog.OnTimer(view.Running(StatusTimer::EndWatch) ? StatusTimer::EndWatch : StatusTimer::Poll);
    std::this_thread::yield();
  }
  WaitForUpdateWorker();
  EXPECT_EQ(view.results, std::vector<std::string>(kStageCount, "Okay"));
  EXPECT_TRUE(view.timers.empty());
  const std::filesystem::path written = dir.cwd() / "0";
  ASSERT_EQ(view.notes.size(), 1u);
  ASSERT_EQ(view.notes[0].size(), 2u);
  const std::string prefix = "Box data written to ";
  const std::string& named = view.notes[0][0].text;
  ASSERT_EQ(named.rfind(prefix, 0), 0u) << named;
  EXPECT_TRUE(std::filesystem::path(named.substr(prefix.size())).is_absolute()) << named;
  EXPECT_TRUE(std::filesystem::equivalent(named.substr(prefix.size()), written)) << named;
  EXPECT_EQ(view.notes[0][1].text, environment->BoxReport());
  EXPECT_EQ(view.rooms.size(), 1u);
  LowerKeepGoing();
}

// Which presses may press the button, as an operator makes them.
TEST(KeyPressesButtonTest, OnlyAFreshPressOnceTheDoubleClickIntervalHasPassed) {
  struct Row {
    const char* what;
    ButtonKeyPress press;
    bool presses;
  };
  const Row rows[] = {
      {"Enter held on Start, repeating long after", {true, 5000, 500}, false},
      {"second Enter queued before the window came up", {false, -30, 500}, false},
      {"second Enter just after it came up", {false, 120, 500}, false},
      {"Enter at the end of the interval", {false, 500, 500}, true},
      {"Enter seconds later, to close the window", {false, 4000, 500}, true},
      {"no interval: at once", {false, 0, 0}, true},
      {"no interval, before showing", {false, -1, 0}, false},
  };
  for (const Row& row : rows) EXPECT_EQ(KeyPressesButton(row.press), row.presses) << row.what;
}

}  // namespace
}  // namespace m4410
