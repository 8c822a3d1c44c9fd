// What the operator's windows say beyond the stage board: why a run stopped short and where
// the help says more, and what the program is waiting for when it is asked to end during a
// run. Plain text and state, no toolkit, so any window can show them.
#pragma once

#include <functional>
#include <string>

namespace m4410 {

class PortEnvironment;

// Window titles carry this while the box is simulated, so a demonstration never passes for
// a real update.
inline constexpr char kSimulatedTitleSuffix[] = " (simulated box)";

// What the simulated box received, as m4410's closing line gives it; no function on a real
// port (or with no environment), so a window can tell the two apart.
using BoxReport = std::function<std::string()>;
BoxReport SimulatedBoxReport(const PortEnvironment* environment);

// The cause line for a run whose first failure was failed_stage, worded as m4410 prints it:
// stage 2 "cannot open the port: CAUSE", any other stage the cause alone (empty without one).
std::string CauseLine(int failed_stage, const std::string& cause);
// The help page that explains that failure: its file and anchor ("port-access.html",
// "stages.html#s5") and its title; both empty for a number that is no stage.
struct HelpPage {
  std::string page;
  std::string title;
};
HelpPage CauseHelpPage(int failed_stage);
// The page on running an update: what F1 opens where no cause is shown.
inline constexpr char kRunningHelpPage[] = "running.html";

// Where an update run stands while the program waits for its worker before it ends.
enum class WaitPhase {
  ImageGoingOut,  // leaving now would cut the image off: the wait has no way out
  ImageInBox,     // the whole image went out; the box rewrites itself without the program
  Stopping,       // no image is going out: the run is on its way to an early end
};

// Follows a run while the program waits for its worker. image_seen_in_box: the status window
// saw the image's write succeed before it was closed (it takes the reports it shows off the
// board, so the board alone may no longer say so).
class WaitWatch {
 public:
  explicit WaitWatch(bool image_seen_in_box) : image_in_box_(image_seen_in_box) {}
  WaitPhase Poll();

 private:
  bool image_in_box_;
  bool saw_in_flight_ = false;
};

const char* WaitText(WaitPhase phase);

}  // namespace m4410
