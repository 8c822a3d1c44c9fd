// The operator's program's command line, as Qt hands it over (see ui/updater_options.h).
#pragma once

#include <QString>
#include <QStringList>

#include "ui/updater_options.h"

namespace m4410 {

// arguments as QCoreApplication::arguments() gives them (the program's name first).
bool ParseUpdaterOptions(const QStringList& arguments, UpdaterOptions* out, QString* error);

QString UpdaterUsage();

}  // namespace m4410
