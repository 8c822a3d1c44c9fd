#include "qt/file_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace m4410 {

bool ScreenFileChooser::ChooseFile(QWidget* owner, const QString& initial,
                                   const QStringList& filters, QString* path) {
  QFileDialog dialog(owner);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);  // no demand that the file or its folder exists
  dialog.setNameFilters(filters);
  if (!filters.isEmpty()) dialog.selectNameFilter(filters.first());

  // The remembered path names the last file chosen: open on its folder with it selected.
  const QFileInfo info(initial);
  if (info.isDir()) {
    dialog.setDirectory(info.absoluteFilePath());
  } else if (info.absoluteDir().exists()) {
    dialog.setDirectory(info.absolutePath());
    dialog.selectFile(info.fileName());
  } else {
    dialog.setDirectory(QDir::homePath());
  }

  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;
  *path = chosen.first();
  return true;
}

}  // namespace m4410
