// Shows the program's help from the Help button and F1.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

namespace m4410 {

// The help pages are local files (installed, or written out from inside the program), so they
// show in the program's own help window (the fallback), which needs nothing from the desktop.
// Only "Help2QRB.chm" beside the executable, which that window cannot read, goes to the
// desktop's viewer; when the viewer fails, even after it started (xdg-open with no browser
// exits non-zero), the pages show in the program's window instead, and from then on at once.
// Without a fallback the pages go to the desktop's viewer. A failure of every way is silent
// and final: later calls return at once without trying again.
class HelpViewerLoader {
 public:
  // Hands url to a viewer; calls failed, at once or later from the event loop, when it could
  // not show it. The default runs xdg-open and reads its exit status.
  using Opener = std::function<void(const QUrl& url, std::function<void()> failed)>;
  // Shows a page in the program's own window; false when it cannot.
  using Fallback = std::function<bool(const QUrl&)>;

  explicit HelpViewerLoader(Opener opener = {}, QString executable_dir = {});
  // page: a page of the help and an optional anchor ("port-access.html#lp"); empty for the
  // whole help (the help file, or the contents page). True when the help was shown or handed
  // to the desktop's viewer.
  bool ShowHelp(const QString& page = {});
  // The program's own window; it is handed the page's file URL, or its qrc URL when the pages
  // could not be put on disk.
  void SetFallback(Fallback fallback) { fallback_ = std::move(fallback); }
  bool failed() const { return failed_; }

 private:
  Opener opener_;
  Fallback fallback_;
  QString executable_dir_;
  // Shared with a viewer that may fail after ShowHelp has returned.
  std::shared_ptr<bool> external_failed_ = std::make_shared<bool>(false);
  bool failed_ = false;
};

// The process-wide loader that the main dialog uses.
HelpViewerLoader& AppHelpViewer();

}  // namespace m4410
