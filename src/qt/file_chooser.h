// The open-file dialog of the browse buttons, behind an interface so that tests can answer it.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace m4410 {

class FileChooser {
 public:
  virtual ~FileChooser() = default;
  // Runs the dialog modally. On OK returns true with the chosen full path in *path; on Cancel
  // or an error returns false and leaves *path alone. initial is a folder or a file whose
  // folder the dialog opens on; filters are offered in order, the first selected.
  virtual bool ChooseFile(QWidget* owner, const QString& initial, const QStringList& filters,
                          QString* path) = 0;
};

// Qt's own file dialog, in its detail view. It accepts names of files that do not exist yet
// and adds no extension; a filter "*.*" matches every file, as in the classic dialogs.
class ScreenFileChooser : public FileChooser {
 public:
  bool ChooseFile(QWidget* owner, const QString& initial, const QStringList& filters,
                  QString* path) override;
};

}  // namespace m4410
