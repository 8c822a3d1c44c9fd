// marlovine-updater: the operator's program.
#include <QApplication>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "qt/dialog_template.h"
#include "qt/help_viewer.h"
#include "qt/help_window.h"
#include "qt/toolkit_words.h"
#include "qt/updater_app.h"
#include "run/program_start.h"
#include "ui/updater_options.h"

namespace {

constexpr int kExitUsage = 64;

// Options come from a terminal or a script (the desktop entry passes none), so the reason
// goes to the standard error stream.
int Refuse(const std::string& message) {
  std::fprintf(stderr, "marlovine-updater: %s\n%s", message.c_str(),
               m4410::UpdaterUsageText().c_str());
  return kExitUsage;
}

// The words Qt is given, and may take its own options (-platform, -style ...) out of: every
// word but the shared options, which are read once, before any toolkit runs.
struct ToolkitWords {
  explicit ToolkitWords(const char* program) : words{program} {}
  std::vector<std::string> words;
  std::vector<char*> pointers;
  int count = 0;

  char** Argv() {
    pointers.clear();
    for (std::string& word : words) pointers.push_back(word.data());
    pointers.push_back(nullptr);
    count = static_cast<int>(words.size());
    return pointers.data();
  }
  // What Qt left: words neither it nor the shared options took.
  std::vector<std::string> LeftOver() const {
    return std::vector<std::string>(pointers.begin() + 1, pointers.begin() + count);
  }
};

}  // namespace

int main(int argc, char* argv[]) {
  const std::vector<std::string> arguments(argv, argv + argc);
  const std::vector<std::string> given(argv + 1, argv + argc);
  const m4410::UpdaterAnswer answer = m4410::AnswerAskedFor(arguments);
  m4410::RunOptions options;
  std::string error;
  ToolkitWords toolkit(argv[0]);
  std::optional<QApplication> application;

  m4410::ProgramStartSteps steps;
  steps.program = m4410::UpdaterApp::kAppName;
  steps.read_command_line = [&]() -> const m4410::RunOptions* {
    if (answer != m4410::UpdaterAnswer::None) return nullptr;
    std::vector<std::string> rest;
    if (!m4410::ParseRunOptions(given, &options, &rest, &error)) return nullptr;
    // A word Qt will leave is refused now, before the start step takes any permission.
    error = m4410::LeftOverWordsError(m4410::WordsQtLeaves(rest));
    if (!error.empty()) return nullptr;
    toolkit.words.insert(toolkit.words.end(), rest.begin(), rest.end());
    return &options;
  };
  steps.own_first_steps = [&]() -> std::optional<int> {
    // --help and --version answer without a display, so they work over ssh and in scripts.
    if (answer == m4410::UpdaterAnswer::Help) {
      std::fputs(m4410::UpdaterUsageText().c_str(), stdout);
      return 0;
    }
    if (answer == m4410::UpdaterAnswer::Version) {
      std::printf("marlovine-updater %s\n", M4410_VERSION);
      return 0;
    }
    if (!error.empty()) return Refuse(error);
    char** toolkit_argv = toolkit.Argv();
    application.emplace(toolkit.count, toolkit_argv);
    QApplication::setApplicationName(QString::fromLatin1(m4410::UpdaterApp::kAppName));
    QApplication::setApplicationVersion(QStringLiteral(M4410_VERSION));
    QApplication::setWindowIcon(m4410::AppIcon());
    if (const std::string left = m4410::LeftOverWordsError(toolkit.LeftOver()); !left.empty()) {
      return Refuse(left);
    }
    return std::nullopt;
  };
  // The port choice holds for the whole program; the application waits for any worker
  // before it returns, so the environment outlives every use of the port.
  const m4410::ProgramStarted started = m4410::StartProgram(steps);
  if (started.exit_status) return *started.exit_status;
  if (!started.environment) return Refuse(started.refusal);

  // Where the desktop cannot open the help pages, the program shows them itself.
  m4410::AppHelpViewer().SetFallback(&m4410::ShowHelpWindow);

  m4410::UpdaterApp app;
  app.SetPortEnvironment(started.environment.get());
  return app.InitInstance();
}
