#include "qt/help_viewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <utility>

namespace m4410 {
namespace {

constexpr auto kHelpFileName = "Help2QRB.chm";
constexpr auto kIndexPage = "index.html";
// Where the build puts the pages inside the program (see help.cmake).
constexpr auto kEmbeddedPages = ":/m4410/help";

// Installed pages, relative to the executable's folder: the data folder first, because
// minimal systems often strip share/doc. The port copy runs from libexec/marlovine-updater,
// one folder deeper.
QString FindInstalledIndex(const QString& executable_dir) {
  static const char* const kPageDirs[] = {
      "../share/marlovine-updater/help",
      "../share/doc/marlovine-updater/help",
      "../../share/marlovine-updater/help",
  };
  const QDir bin(executable_dir);
  for (const char* dir : kPageDirs) {
    const QFileInfo index(bin.filePath(QString::fromLatin1(dir) + '/' + kIndexPage));
    if (index.isFile()) return index.absoluteFilePath();
  }
  return {};
}

// Writes the pages built into the program to the user's cache folder, so that a desktop
// browser can open them by file URL. A file already there with the same content is left
// alone; one that differs (an older version's page) is replaced.
QString ExtractEmbeddedPages() {
  const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  if (cache.isEmpty()) return {};
  const QString target = cache + "/marlovine-updater/help";
  if (!QDir().mkpath(target)) return {};

  const QDir source(QString::fromLatin1(kEmbeddedPages));
  const QStringList pages = source.entryList(QDir::Files);
  if (!pages.contains(QString::fromLatin1(kIndexPage))) return {};
  for (const QString& name : pages) {
    QFile in(source.filePath(name));
    if (!in.open(QIODevice::ReadOnly)) return {};
    const QByteArray content = in.readAll();

    const QString path = target + '/' + name;
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == content) continue;
    existing.close();

    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size() ||
        !out.commit()) {
      return {};
    }
  }
  return target + '/' + kIndexPage;
}

// A started xdg-open is not a shown page: with no browser it starts and exits non-zero ("no
// method available"), so its exit status decides. It may wait for the browser it starts, so
// nothing waits for it; its output goes where the program's goes.
void OpenWithDesktop(const QUrl& url, std::function<void()> failed) {
  auto* process = new QProcess;
  process->setProcessChannelMode(QProcess::ForwardedChannels);
  QObject::connect(process, &QProcess::finished, process,
                   [process, failed](int code, QProcess::ExitStatus status) {
                     if (status != QProcess::NormalExit || code != 0) failed();
                     process->deleteLater();
                   });
  QObject::connect(process, &QProcess::errorOccurred, process,
                   [process, failed](QProcess::ProcessError error) {
                     if (error != QProcess::FailedToStart) return;
                     failed();
                     process->deleteLater();
                   });
  process->start(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)});
}

}  // namespace

HelpViewerLoader::HelpViewerLoader(Opener opener, QString executable_dir)
    : opener_(std::move(opener)), executable_dir_(std::move(executable_dir)) {
  if (!opener_) opener_ = &OpenWithDesktop;
}

bool HelpViewerLoader::ShowHelp(const QString& page) {
  if (failed_) return false;

  QString dir = executable_dir_;
  if (dir.isEmpty() && QCoreApplication::instance()) dir = QCoreApplication::applicationDirPath();

  // The help file is the whole help in one; a page inside it cannot be named from outside.
  QString help_file;
  QString index;
  if (!dir.isEmpty()) {
    const QFileInfo chm(QDir(dir).filePath(QString::fromLatin1(kHelpFileName)));
    if (chm.isFile() && page.isEmpty()) help_file = chm.absoluteFilePath();
    index = FindInstalledIndex(dir);
  }
  if (index.isEmpty()) index = ExtractEmbeddedPages();
  const QUrl relative(page);
  // Our own window reads the pages from inside the program when they are not on disk.
  const QUrl pages =
      index.isEmpty() ? QUrl(QStringLiteral("qrc") + QString::fromLatin1(kEmbeddedPages) + '/' +
                             QString::fromLatin1(kIndexPage))
                            .resolved(relative)
                      : QUrl::fromLocalFile(index).resolved(relative);

  if (!help_file.isEmpty() && !*external_failed_) {
    auto returned = std::make_shared<bool>(false);
    opener_(QUrl::fromLocalFile(help_file),
            [state = external_failed_, returned, fallback = fallback_, pages] {
              *state = true;
              // A viewer that fails later still leaves the operator with the help.
              if (*returned && fallback) fallback(pages);
            });
    *returned = true;
    if (!*external_failed_) return true;
  }
  if (fallback_ && fallback_(pages)) return true;
  if (pages.isLocalFile() && !*external_failed_) {
    opener_(pages, [state = external_failed_] { *state = true; });
    if (!*external_failed_) return true;
  }
  failed_ = true;
  return false;
}

HelpViewerLoader& AppHelpViewer() {
  static HelpViewerLoader loader;
  return loader;
}

}  // namespace m4410
