// The program's own help window, for desktops that cannot open the help pages themselves.
#pragma once

#include <QUrl>

class QWidget;

namespace m4410 {

// Shows page (a file or qrc URL of a help page, with an optional anchor) in the help window,
// making the window the first time and raising it later. False when the page cannot be read.
bool ShowHelpWindow(const QUrl& page);

// The help window while it is open, or null.
QWidget* HelpWindow();

}  // namespace m4410
