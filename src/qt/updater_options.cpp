#include "qt/updater_options.h"

#include <QFile>

namespace m4410 {

QString UpdaterUsage() {
  return QStringLiteral(
      "usage: marlovine-updater [--port PORT] [--sim OPTIONS] [--trace TRACEFILE] [--no-log]\n"
      "       marlovine-updater --help | --version\n"
      "PORT is lpt (0x378, extended registers at 0x778, the default), lpt:BASE[,ECPBASE],\n"
      "or sim (a simulated box, shaped by --sim key=value,...).\n");
}

bool ParseUpdaterOptions(const QStringList& arguments, UpdaterOptions* out, QString* error) {
  UpdaterOptions parsed;
  bool port_given = false;
  bool sim_given = false;
  bool trace_given = false;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& word = arguments[i];
    std::string* target = nullptr;
    bool* given = nullptr;
    QString name = word;
    QString value;
    bool inline_value = false;
    // Both "--port sim" and "--port=sim".
    if (const qsizetype eq = word.indexOf(QLatin1Char('=')); word.startsWith(QLatin1String("--")) && eq > 2) {
      name = word.left(eq);
      value = word.mid(eq + 1);
      inline_value = true;
    }
    if (word == QLatin1String("--no-log")) {
      parsed.no_log = true;
      continue;
    }
    if (name == QLatin1String("--port")) {
      target = &parsed.port.port;
      given = &port_given;
    } else if (name == QLatin1String("--sim")) {
      target = &parsed.port.sim;
      given = &sim_given;
    } else if (name == QLatin1String("--trace")) {
      target = &parsed.port.trace;
      given = &trace_given;
    } else if (word.startsWith(QLatin1Char('-'))) {
      *error = QStringLiteral("unknown option '%1'").arg(word);
      return false;
    } else {
      *error = QStringLiteral("unexpected argument '%1'; the update file is chosen in the window")
                   .arg(word);
      return false;
    }
    if (*given) {
      *error = QStringLiteral("option '%1' given twice").arg(name);
      return false;
    }
    if (!inline_value) {
      if (i + 1 >= arguments.size()) {
        *error = QStringLiteral("option '%1' needs a value").arg(name);
        return false;
      }
      value = arguments[++i];
    }
    if (value.isEmpty()) {
      *error = QStringLiteral("option '%1' needs a value").arg(name);
      return false;
    }
    *given = true;
    *target = name == QLatin1String("--trace") ? QFile::encodeName(value).toStdString()
                                                : value.toStdString();
  }
  if (sim_given) {
    // The simulation options shape only the simulated box, so they choose it.
    if (!port_given) {
      parsed.port.port = "sim";
    } else if (parsed.port.port != "sim") {
      *error = QStringLiteral("option '--sim' needs '--port sim', not '--port %1'")
                   .arg(QString::fromStdString(parsed.port.port));
      return false;
    }
  }
  *out = parsed;
  return true;
}

}  // namespace m4410
