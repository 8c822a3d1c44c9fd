// Shows the program's help from the Help button and F1.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

namespace m4410 {

// Opens "Help2QRB.chm" beside the executable in the desktop's viewer when that file is there,
// otherwise the help pages shipped with the program. Where the desktop cannot open them (no
// xdg-open, no browser), the fallback shows the pages instead, and from then on at once. A
// failure of both is silent and final: later calls return at once without trying again.
class HelpViewerLoader {
 public:
  using Opener = std::function<bool(const QUrl&)>;  // QDesktopServices::openUrl by default

  explicit HelpViewerLoader(Opener opener = {}, QString executable_dir = {});
  // page: a page of the help and an optional anchor ("port-access.html#lp"); empty for the
  // whole help (the help file, or the contents page).
  bool ShowHelp(const QString& page = {});
  // Shows a page when the desktop's viewer cannot; it is handed the page's file URL, or its
  // qrc URL when the pages could not be put on disk.
  void SetFallback(Opener fallback) { fallback_ = std::move(fallback); }
  bool failed() const { return failed_; }

 private:
  Opener opener_;
  Opener fallback_;
  QString executable_dir_;
  bool external_failed_ = false;
  bool failed_ = false;
};

// The process-wide loader that the main dialog uses.
HelpViewerLoader& AppHelpViewer();

}  // namespace m4410
