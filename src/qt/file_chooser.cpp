#include "qt/file_chooser.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLocale>
#include <QRegularExpression>
#include <QScreen>
#include <QTreeView>

namespace m4410 {

namespace {

// Wide enough for the name, size, type and date columns of the detail view.
constexpr QSize kChooserSize(860, 520);

// The filters are offered in the classic form "Label (patterns)", where "*.*" means every
// file. Qt would read "*.*" as names with a dot and hide "update" or "IMAGE", so the label is
// kept for the operator to read and the patterns that Qt matches follow it; the dialog shows
// the label alone (HideNameFilterDetails drops the last parenthesis, which is ours).
QString QtFilter(const QString& label) {
  static const QRegularExpression patterns_in_label(QStringLiteral("\\(([^()]*)\\)\\s*$"));
  const QRegularExpressionMatch match = patterns_in_label.match(label);
  QStringList patterns =
      match.hasMatch() ? match.captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts) : QStringList();
  for (QString& pattern : patterns) {
    if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
  }
  if (patterns.isEmpty()) patterns << QStringLiteral("*");
  return label + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

// Qt sizes the detail view's columns for a narrow dialog and elides sizes and dates; give
// them room for the longest they show and let the name take the rest.
void WidenDetailColumns(QFileDialog* dialog) {
  auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
  if (view == nullptr || view->header()->count() < 4) return;
  QHeaderView* header = view->header();
  const QFontMetrics metrics(view->font());
  const int padding = metrics.horizontalAdvance(QLatin1Char('M')) * 2;
  const QDateTime widest_date(QDate(2000, 12, 28), QTime(23, 59, 59));
  header->setStretchLastSection(false);
  header->resizeSection(1, metrics.horizontalAdvance(QStringLiteral("1023.9 KiB")) + padding);
  header->resizeSection(2, metrics.horizontalAdvance(QStringLiteral("plain text document")) + padding);
  header->resizeSection(3, metrics.horizontalAdvance(view->locale().toString(widest_date, QLocale::ShortFormat)) + padding);
  header->setSectionResizeMode(0, QHeaderView::Stretch);
}

}  // namespace

bool ScreenFileChooser::ChooseFile(QWidget* owner, const QString& initial,
                                   const QStringList& filters, QString* path) {
  QFileDialog dialog(owner);
  // Qt's own dialog on every desktop: the native ones show the filter text their own way and
  // cannot be opened in the detail view at a given size.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);  // no demand that the file or its folder exists
  dialog.setViewMode(QFileDialog::Detail);
  QStringList qt_filters;
  for (const QString& label : filters) qt_filters << QtFilter(label);
  dialog.setNameFilters(qt_filters);
  if (!qt_filters.isEmpty()) dialog.selectNameFilter(qt_filters.first());

  QSize size = kChooserSize;
  const QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) size = size.boundedTo(screen->availableSize() * 9 / 10);
  dialog.resize(size);
  WidenDetailColumns(&dialog);

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
