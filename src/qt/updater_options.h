// The operator's program's command line: [--port PORT] [--sim OPTIONS] [--trace TRACEFILE].
#pragma once

#include <QString>
#include <QStringList>

#include "run/port_environment.h"

namespace m4410 {

// --help and --version are answered before the window system starts (main.cpp).
struct UpdaterOptions {
  PortChoiceText port;  // no options: the machine's own parallel port
  bool no_log = false;  // --no-log: runs leave no line in the update log
};

// arguments as QCoreApplication::arguments() gives them (the program's name first), read as
// the m4410 command reads its options: --sim alone chooses the simulated box. False with a
// message naming the offending word on a usage error.
bool ParseUpdaterOptions(const QStringList& arguments, UpdaterOptions* out, QString* error);

QString UpdaterUsage();

}  // namespace m4410
