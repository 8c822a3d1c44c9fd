// Shows the program's help from the Help button and F1.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

namespace m4410 {

// Opens "Help2QRB.chm" beside the executable in the desktop's viewer when that file is there,
// otherwise the help pages shipped with the program. A failure is silent and final: after
// one, later calls return at once without trying again.
class HelpViewerLoader {
 public:
  using Opener = std::function<bool(const QUrl&)>;  // QDesktopServices::openUrl by default

  explicit HelpViewerLoader(Opener opener = {}, QString executable_dir = {});
  bool ShowHelp();
  bool failed() const { return failed_; }

 private:
  Opener opener_;
  QString executable_dir_;
  bool failed_ = false;
};

// The process-wide loader that the main dialog uses.
HelpViewerLoader& AppHelpViewer();

}  // namespace m4410
