#include "qt/updater_options.h"

#include <QFile>

namespace m4410 {

QString UpdaterUsage() { return QString::fromStdString(UpdaterUsageText()); }

bool ParseUpdaterOptions(const QStringList& arguments, UpdaterOptions* out, QString* error) {
  // File names go as the file system spells them.
  std::vector<std::string> words;
  for (const QString& word : arguments) words.push_back(QFile::encodeName(word).toStdString());
  std::string why;
  if (ParseUpdaterOptions(words, out, &why)) return true;
  *error = QFile::decodeName(why.c_str());
  return false;
}

}  // namespace m4410
