// The main dialog's rules through a fake view: the settings in order, the file rows, the
// data exchange, Start and its refusals, Quit, the wait for a worker before the end, and a
// run followed to its result once its status window has been closed early.
#include "ui/main_dialog_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "board/run_cause.h"
#include "board/stage_board.h"
#include "port/port_access.h"
#include "port/port_driver.h"
#include "run/update_worker.h"
#include "support/gated_port.h"
#include "ui/main_dialog_ids.h"
#include "ui/run_notes.h"
#include "ui/status_display.h"

namespace m4410 {
namespace {

struct Control {
  std::string text;
  bool checked = false;
  bool read_only = false;
  bool shown = true;
};

class FakeView : public MainDialogView {
 public:
  std::string Text(int id) const override { return Find(id).text; }
  void SetText(int id, const std::string& text) override { controls[id].text = text; }
  bool Checked(int id) const override { return Find(id).checked; }
  void SetChecked(int id, bool checked) override { controls[id].checked = checked; }
  void SetReadOnly(int id, bool read_only) override { controls[id].read_only = read_only; }
  void Show(int id, bool shown) override { controls[id].shown = shown; }
  void SetTitle(const std::string& text) override { title = text; }
  void Message(const std::string& text, MessageKind kind) override {
    messages.push_back({text, kind});
  }
  bool ChooseFile(const std::string& last_path, const std::vector<FileFilter>& offered,
                  std::string* chosen) override {
    initials.push_back(last_path);
    filters = offered;
    if (!choose_ok) return false;
    *chosen = choice;
    return true;
  }
  bool RunStatusWindow(const BoxReport& box_report) override {
    ++status_windows;
    simulated_status_window = static_cast<bool>(box_report);
    return status_window ? status_window() : false;
  }
  void WaitForWorker(bool) override { ++waits; }
  void StartTimer(int) override { timer = true; }
  void StopTimer() override { timer = false; }
  void EndDialog(int result) override { ended.push_back(result); }

  const Control& Find(int id) const {
    static const Control none;
    const auto found = controls.find(id);
    return found == controls.end() ? none : found->second;
  }

  std::map<int, Control> controls;
  std::string title;
  std::vector<std::pair<std::string, MessageKind>> messages;
  bool choose_ok = true;
  std::string choice;
  std::vector<std::string> initials;
  std::vector<FileFilter> filters;
  int status_windows = 0;
  bool simulated_status_window = false;
  std::function<bool()> status_window;
  int waits = 0;
  bool timer = false;
  std::vector<int> ended;
};

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return file ? text : "<missing>";
}

std::string WithoutCarriageReturns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

// A port whose claim is refused: a run ends at stage 2.
const int kChecks[] = {kCompleteCheck, kProgramCheck, kMenuCheck, kTableCheck};
const int kEdits[] = {kCompleteEdit, kProgramEdit, kMenuEdit, kTableEdit};

class MainDialogControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPortAccessFactory([] { return std::make_unique<RefusingPort>(); });
    for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
    file_ = stem_ + ".bin";
    std::ofstream(file_, std::ios::binary) << "image";
  }
  void TearDown() override {
    gate_.Open();  // a test that stopped early still lets its worker end
    WaitForUpdateWorker();
    SetPortAccessFactory({});
    std::filesystem::remove(file_);
    std::filesystem::remove(profile_.path());
  }
  // The operator clicks a check box: it toggles, then its handler runs.
  void Click(int row) {
    view_.controls[kChecks[row]].checked = !view_.controls[kChecks[row]].checked;
    const std::function<void()> handlers[] = {
        [this] { controller_.OnCompleteFileCheck(); }, [this] { controller_.OnProgramFileCheck(); },
        [this] { controller_.OnMenuFileCheck(); }, [this] { controller_.OnTableFileCheck(); }};
    handlers[row]();
  }
  void Type(int edit, const std::string& text) {
    view_.controls[edit].text = text;
    controller_.OnFileEditChange();
  }

  // Outlives every worker that waits on it: TearDown waits for the worker before the
  // fixture goes.
  Gate gate_;
  FakeView view_;
  // Files of this test alone, whatever else runs beside it (another case of this fixture,
  // another build's run of it).
  const std::string stem_ =
      (std::filesystem::temp_directory_path() /
       ("main-dialog-" +
        std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
        ::testing::UnitTest::GetInstance()->current_test_info()->name()))
          .string();
  ProfileStore profile_{stem_ + ".ini"};
  MainDialogController controller_{view_, profile_};
  std::filesystem::path file_;
};

// The settings through the real store: read in order when the dialog opens, every item
// written back in order by Quit only, the hidden rows' paths held though nobody sees them.
TEST_F(MainDialogControllerTest, SettingsAreReadAtOpeningAndWrittenOnlyByQuit) {
  const std::string path = profile_.path();
  const auto open_over = [&](const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
    view_.controls.clear();
    controller_.OnInitDialog();
  };

  // A first run: everything empty; Quit lists the five items in their order.
  std::filesystem::remove(path);
  controller_.OnInitDialog();
  for (const int edit : kEdits) EXPECT_EQ(view_.Text(edit), "");
  Type(kCompleteEdit, "/home/op/typed name");  // stored as typed, even if no such file
  controller_.OnQuit();
  EXPECT_EQ(WithoutCarriageReturns(ReadFile(path)),
            "[Software Update Section]\n"
            "Software Update String Item=\n"
            "Software Update Filename Item=/home/op/typed name\n"
            "Software Update ProgramFilename Item=\n"
            "Software Update MenuFilename Item=\n"
            "Software Update TableFilename Item=\n");
  EXPECT_EQ(view_.ended, std::vector<int>{0});

  // A file written on Windows: every path reaches its edit, and Quit writes it back as it was.
  const std::string original = ReadFile(M4410_FIXTURE_DIR "/settings-written-on-windows.ini");
  open_over(original);
  EXPECT_EQ(controller_.m_strSection, "Software Update Section");
  EXPECT_EQ(controller_.m_strLastPath, R"(C:\Updates\4410\release 2.07\complete.bin)");
  EXPECT_EQ(view_.Text(kCompleteEdit), R"(C:\Updates\4410\release 2.07\complete.bin)");
  EXPECT_EQ(view_.Text(kMenuEdit), R"(D:\menus\menu_fr.bin)");
  EXPECT_EQ(controller_.m_strMenuFile, R"(D:\menus\menu_fr.bin)");
  controller_.OnQuit();
  EXPECT_EQ(ReadFile(path), original);

  // Esc and the close box leave the file alone, whatever was typed.
  Type(kCompleteEdit, "/changed.bin");
  controller_.OnCancel();
  EXPECT_EQ(ReadFile(path), original);
  EXPECT_EQ(view_.ended.back(), MainDialogController::kIdCancel);

  // A value longer than the store gives back is cut.
  open_over("[Software Update Section]\r\nSoftware Update Filename Item=" + std::string(5000, 'p') +
            "\r\n");
  EXPECT_EQ(view_.Text(kCompleteEdit), std::string(4095, 'p'));
  EXPECT_EQ(view_.waits, 0);  // no worker, no wait

  EXPECT_TRUE(view_.title.empty());
  FakeView seen;
  MainDialogController simulated(seen, profile_, [] { return std::string("box received"); });
  simulated.OnInitDialog();
  EXPECT_EQ(seen.title, "Marlovine 4410 software transmission (simulated box)");
}

// A settings file the store may not use is told of once, at the opening, and left alone; the
// choices still hold for the run. One that cannot be written is told of on Quit.
TEST_F(MainDialogControllerTest, ASettingsFileThatMayNotBeUsedIsToldOf) {
  if (std::filesystem::path::preferred_separator == '\\') {
    GTEST_SKIP() << "Windows keeps the settings file itself and gives no reason";
  }
  const std::string path = profile_.path();
  std::filesystem::create_directory(path);  // not a plain file: neither read nor written
  controller_.OnInitDialog();
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].second, MessageKind::Warning);
  EXPECT_NE(view_.messages[0].first.find("'" + path + "': it is not a plain file"),
            std::string::npos) << view_.messages[0].first;
  EXPECT_NE(view_.messages[0].first.find("kept only until the program ends"), std::string::npos);
  Type(kCompleteEdit, "/chosen.bin");
  EXPECT_EQ(controller_.m_strCompleteFile, "/chosen.bin");
  controller_.OnQuit();
  EXPECT_EQ(view_.messages.size(), 1u);
  EXPECT_TRUE(std::filesystem::is_empty(path));
  std::filesystem::remove(path);

  // Read as missing but not writable (no folder can be made there): told on Quit.
  profile_ = ProfileStore("/proc/m4410-none/settings.ini");
  view_.messages.clear();
  controller_.OnInitDialog();
  EXPECT_TRUE(view_.messages.empty());
  controller_.OnQuit();
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].first.rfind("The file choices were not saved: cannot write "
                                          "'/proc/m4410-none/settings.ini': ", 0), 0u)
      << view_.messages[0].first;
}

// Every sequence of three clicks from the opening state: an edit is editable exactly when
// its box is checked, the complete file excludes the part files, and a part file excludes
// only the complete file.
TEST_F(MainDialogControllerTest, FileRowRulesHoldAfterEveryClickSequence) {
  for (int sequence = 0; sequence < 64; ++sequence) {
    view_.controls.clear();
    controller_.OnInitDialog();
    for (int step = 0, code = sequence; step < 3; ++step, code /= 4) {
      const int row = code % 4;
      bool before[4];
      for (int r = 0; r < 4; ++r) before[r] = view_.Checked(kChecks[r]);
      Click(row);
      const bool now = view_.Checked(kChecks[row]);
      EXPECT_EQ(now, !before[row]) << sequence;
      for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(view_.Find(kEdits[r]).read_only, !view_.Checked(kChecks[r])) << sequence;
        const bool excluded = now && r != row && (row == 0 || r == 0);
        if (r == row) continue;
        EXPECT_EQ(view_.Checked(kChecks[r]), excluded ? false : before[r]) << sequence;
      }
    }
    // The handlers never show or hide a control.
    for (int r = 0; r < 4; ++r) {
      EXPECT_TRUE(view_.Find(kChecks[r]).shown && view_.Find(kEdits[r]).shown) << sequence;
    }
  }
}

TEST_F(MainDialogControllerTest, EditsAndBrowseKeepTheStringsEqualToTheEdits) {
  controller_.OnInitDialog();
  Type(kMenuEdit, "typed menu");
  EXPECT_EQ(controller_.m_strMenuFile, "typed menu");

  view_.choose_ok = false;
  controller_.OnBrowseCompleteFile();
  EXPECT_EQ(controller_.m_strCompleteFile, "");
  EXPECT_EQ(controller_.m_strLastPath, "");

  view_.choose_ok = true;
  view_.choice = "/srv/new image";
  controller_.OnBrowseTableFile();
  EXPECT_EQ(controller_.m_strTableFile, "/srv/new image");
  EXPECT_EQ(view_.Text(kTableEdit), "/srv/new image");
  EXPECT_EQ(controller_.m_strLastPath, "/srv/new image");
  view_.choice = "/srv/other.bin";
  controller_.OnBrowseProgramFile();
  EXPECT_EQ(view_.initials, (std::vector<std::string>{"", "", "/srv/new image"}));
  // The classic filters, the update images first.
  ASSERT_EQ(view_.filters.size(), 2u);
  EXPECT_EQ(view_.filters[0].name + view_.filters[0].pattern, "Update Files (*.bin)*.bin");
  EXPECT_EQ(view_.filters[1].name + view_.filters[1].pattern, "All Files (*.*)*.*");
  EXPECT_EQ(view_.Text(kMenuEdit), "typed menu");
}

TEST_F(MainDialogControllerTest, StartRefusesWithoutAStatusWindow) {
  controller_.OnInitDialog();
  SetStage(3, Okay);  // a report the refusals leave alone
  const std::string missing = file_.string() + ".missing";
  const struct {
    std::vector<int> clicks;
    std::string path;
    std::string text;
    MessageKind kind;
  } cases[] = {
      {{0}, "", "Please select some file(s) to upload!", MessageKind::Plain},
      {{2, 3}, "", "To be implemented in next version", MessageKind::Plain},
      {{}, missing, missing + " was not found.", MessageKind::Warning},
      {{}, "", "an unnamed file contains an invalid path.", MessageKind::Warning},
  };
  for (const auto& c : cases) {
    view_.controls.clear();
    view_.messages.clear();
    controller_.OnInitDialog();
    for (int row : c.clicks) Click(row);
    Type(kCompleteEdit, c.path);
    controller_.StartCommand();
    ASSERT_EQ(view_.messages.size(), 1u) << c.text;
    EXPECT_EQ(view_.messages[0].first, c.text);
    EXPECT_EQ(view_.messages[0].second, c.kind);
  }
  EXPECT_EQ(view_.status_windows, 0);
  EXPECT_FALSE(UpdateWorkerRunning());
  EXPECT_EQ(GetStage(3), Okay);
}

TEST_F(MainDialogControllerTest, StartRunsTheStatusWindowAndQuitWaitsForTheWorker) {
  controller_.OnInitDialog();
  Type(kCompleteEdit, file_.string());
  SetStage(SoftwareTransmitted, Failed);  // an earlier run's report nobody took
  bool keep_going_during = false;
  StageStatus stale_during = Failed;
  // The status window closes while the worker still runs.
  view_.status_window = [&] {
    keep_going_during = KeepGoing();
    stale_during = GetStage(SoftwareTransmitted);
    return false;
  };
  controller_.StartCommand();
  EXPECT_EQ(view_.status_windows, 1);
  EXPECT_FALSE(view_.simulated_status_window);  // a real port has no box report
  EXPECT_TRUE(keep_going_during);
  EXPECT_EQ(stale_during, NoReport);  // every run starts on a clean board
  EXPECT_FALSE(KeepGoing());
  controller_.OnQuit();
  EXPECT_FALSE(UpdateWorkerRunning());
  EXPECT_EQ(view_.ended, std::vector<int>{0});
  EXPECT_LE(view_.waits, 1);
  EXPECT_EQ(StageResult(DriverInitialized), Failed);
}


// A status window closed while the run goes on: this window says what the run is doing,
// then its result with the cause, until the operator's OK.
TEST_F(MainDialogControllerTest, RunWhoseStatusWindowClosedEarlyIsFollowedToItsResult) {
  SetPortAccessFactory([this] { return std::make_unique<GatedPort>(&gate_); });
  controller_.OnInitDialog();
  EXPECT_FALSE(view_.Find(kRunNote).shown);
  Type(kCompleteEdit, file_.string());
  controller_.StartCommand();  // the fake status window closes at once
  ASSERT_TRUE(UpdateWorkerRunning());
  EXPECT_TRUE(view_.Find(kRunNote).shown);
  EXPECT_FALSE(view_.Find(kRunNoteOk).shown);  // nothing to acknowledge yet
  EXPECT_TRUE(view_.timer);
  EXPECT_EQ(view_.Text(kRunNote), "The update goes on: stopping; no image is going out.");
  controller_.OnRunNoteOk();
  EXPECT_TRUE(view_.Find(kRunNote).shown);  // a run's course is not acknowledged

  gate_.Open();
  WaitForUpdateWorker();
  controller_.OnTimer();
  EXPECT_FALSE(view_.timer);
  EXPECT_TRUE(view_.Find(kRunNoteOk).shown);
  EXPECT_EQ(view_.Text(kRunNote), RunResultText());
  EXPECT_EQ(view_.Text(kRunNote).rfind("Last update: Driver initialized: Failed\n", 0), 0u);
  EXPECT_NE(view_.Text(kRunNote).find("refused by the test"), std::string::npos);
  controller_.OnTimer();  // the result stays until it is read
  EXPECT_TRUE(view_.Find(kRunNote).shown);
  EXPECT_TRUE(controller_.OnClicked(kRunNoteOk));
  EXPECT_FALSE(view_.Find(kRunNote).shown);
  EXPECT_FALSE(view_.Find(kRunNoteOk).shown);
}

// A port without ECP registers whose release waits for the gate: the run fails at stage 3
// and its worker goes on until the test lets it release the port.
class NoEcpPort : public RefusingPort {
 public:
  explicit NoEcpPort(Gate* gate) : gate_(gate) {}
  ClaimOutcome Claim() override { return ClaimOutcome::Claimed; }
  void Release() override { gate_->Wait(); }

 private:
  Gate* gate_;
};

// A result the status window showed is not shown again, whether its worker has ended or
// still releases the port; one it never took off the board is.
TEST_F(MainDialogControllerTest, ResultTheStatusWindowShowedIsNotRepeated) {
  controller_.OnInitDialog();
  Type(kCompleteEdit, file_.string());
  for (const bool ticked : {true, false}) {
    view_.status_window = [ticked] {
      WaitForUpdateWorker();
      StatusDisplay display;
      while (ticked && display.shown().polling) display.Tick();
      return false;
    };
    controller_.StartCommand();
    EXPECT_EQ(view_.Find(kRunNote).shown, !ticked);
    EXPECT_EQ(view_.Find(kRunNoteOk).shown, !ticked);
    EXPECT_FALSE(view_.timer);
  }

  SetPortAccessFactory([this] { return std::make_unique<NoEcpPort>(&gate_); });
  view_.status_window = [] {
    StatusDisplay display;
    while (display.shown().polling) display.Tick();  // until it shows stage 3's failure
    return false;
  };
  controller_.StartCommand();
  EXPECT_EQ(StageResult(DatalinkEstablished), Failed);
  EXPECT_TRUE(UpdateWorkerRunning());
  EXPECT_FALSE(view_.Find(kRunNote).shown);
  gate_.Open();
}

// Every stage a run can first fail at, its completion, and an early stop.
TEST_F(MainDialogControllerTest, ResultTextNamesTheFailedStageItsCauseAndItsHelp) {
  SetRunCause("the cause");
  for (int failed = 1; failed <= kStageCount; ++failed) {
    ClearStageResults();
    for (int stage = 1; stage < failed; ++stage) SetStage(stage, Okay);
    SetStage(failed, Failed);
    if (failed < UpdatingCompleted) SetStage(UpdatingCompleted, Failed);
    std::string expected = std::string("Last update: ") + StageCaption(failed) + " Failed";
    const std::string cause = CauseLine(failed, "the cause");
    if (!cause.empty()) expected += "\n" + cause;
    const HelpPage page = CauseHelpPage(failed);
    if (!page.title.empty()) expected += "\nMore in the help: " + page.title;
    EXPECT_EQ(RunResultText(), expected);
  }
  ClearStageResults();
  for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, Okay);
  EXPECT_EQ(RunResultText(), "Last update: Box updated");
  ClearStageResults();
  SetStage(FileValidated, Okay);
  SetStage(DriverInitialized, Okay);
  EXPECT_EQ(RunResultText(),
            "Last update: stopped before the image went out; the box was not changed.");
  ClearRunCause();
}

}  // namespace
}  // namespace m4410
