#include "ui/run_notes.h"

#include "board/stage_board.h"
#include "link/block_transfer.h"
#include "run/port_environment.h"

namespace m4410 {

BoxReport SimulatedBoxReport(const PortEnvironment* environment) {
  if (environment == nullptr || !environment->simulated()) return {};
  return [environment] { return environment->BoxReport(); };
}

std::string CauseLine(int failed_stage, const std::string& cause) {
  if (failed_stage == DriverInitialized) {
    return cause.empty() ? "cannot open the port" : "cannot open the port: " + cause;
  }
  if (failed_stage < FileValidated || failed_stage > UpdatingCompleted) return {};
  return cause;
}

HelpPage CauseHelpPage(int failed_stage) {
  if (failed_stage == DriverInitialized) return {"port-access.html", "Port access"};
  if (failed_stage < FileValidated || failed_stage > UpdatingCompleted) return {};
  // Each stage's passage is titled with its caption, without the colon.
  std::string title = StageCaption(failed_stage);
  if (!title.empty() && title.back() == ':') title.pop_back();
  return {"stages.html#s" + std::to_string(failed_stage), title};
}

WaitPhase WaitWatch::Poll() {
  if (ImageInFlight()) {
    saw_in_flight_ = true;
    return WaitPhase::ImageGoingOut;
  }
  // Once the image's write has returned, its counters stay as it left them: every byte placed
  // means the image went out whole. Stage 5's Okay follows after a pause, and stage 6 is only
  // ever reported after that.
  const std::int32_t to_write = BytesToWrite.load();
  if ((saw_in_flight_ && to_write > 0 && BytesWritten.load() == to_write) ||
      GetStage(SoftwareTransmitted) == Okay || GetStage(BoxUpdated) != NoReport) {
    image_in_box_ = true;
  }
  return image_in_box_ ? WaitPhase::ImageInBox : WaitPhase::Stopping;
}

const char* WaitText(WaitPhase phase) {
  switch (phase) {
    case WaitPhase::ImageGoingOut:
      return "The image is going out to the box. The program ends once all of it has been "
             "sent; stopping now would leave the box without working software.";
    case WaitPhase::ImageInBox:
      return "The box has the whole image and is updating itself; you can leave now.";
    case WaitPhase::Stopping:
      return "The update is stopping; no image is going out. You can leave now.";
  }
  return "";
}

}  // namespace m4410
