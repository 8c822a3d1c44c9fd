// Help where the desktop cannot open the pages: the program's own window shows them.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include "qt/help_viewer.h"
#include "qt/help_window.h"

namespace m4410 {

class HelpWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> root_;
  int external_calls_ = 0;

  // A loader whose desktop viewer answers `opens`, over a machine with no installed pages.
  HelpViewerLoader Loader(bool opens) {
    HelpViewerLoader loader(
        [this, opens](const QUrl&, const std::function<void()>& failed) {
          ++external_calls_;
          if (!opens) failed();
        },
        root_->filePath(QStringLiteral("bin")));
    loader.SetFallback(&ShowHelpWindow);
    return loader;
  }
  static QTextBrowser* Browser() {
    return HelpWindow() != nullptr ? HelpWindow()->findChild<QTextBrowser*>() : nullptr;
  }

 private slots:
  void init() {
    root_ = std::make_unique<QTemporaryDir>();
    QDir(root_->path()).mkpath(QStringLiteral("bin"));
    qputenv("XDG_CACHE_HOME", root_->filePath(QStringLiteral("cache")).toUtf8());
    external_calls_ = 0;
  }
  void cleanup() { delete HelpWindow(); }

  void pagesOpenInOurWindowOnceTheDesktopCannot() {
    QFile chm(root_->filePath(QStringLiteral("bin/Help2QRB.chm")));  // only the desktop reads it
    QVERIFY(chm.open(QIODevice::WriteOnly));
    HelpViewerLoader loader = Loader(false);
    QVERIFY(loader.ShowHelp());
    QCOMPARE(external_calls_, 1);
    QVERIFY(HelpWindow() != nullptr && HelpWindow()->isVisible());
    QCOMPARE(HelpWindow()->windowTitle(), QStringLiteral("Marlovine 4410 Updater – Help"));
    QVERIFY(Browser()->toPlainText().contains(QStringLiteral("seven stages")));
    QWidget* window = HelpWindow();

    // The next request goes straight to the same window, at the page and anchor asked for.
    QVERIFY(loader.ShowHelp(QStringLiteral("port-access.html#setcap")));
    QCOMPARE(external_calls_, 1);
    QCOMPARE(HelpWindow(), window);
    QCOMPARE(Browser()->source().fileName(), QStringLiteral("port-access.html"));
    QCOMPARE(Browser()->source().fragment(), QStringLiteral("setcap"));
    QVERIFY(Browser()->toPlainText().contains(QStringLiteral("sudo setcap cap_sys_rawio+ep")));
    QVERIFY(!loader.failed());
  }

  void pagesThatCannotBeWrittenOutAreReadFromInsideTheProgram() {
    QFile blocker(root_->filePath(QStringLiteral("cache-file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    qputenv("XDG_CACHE_HOME", blocker.fileName().toUtf8());
    HelpViewerLoader loader = Loader(false);
    QVERIFY(loader.ShowHelp(QStringLiteral("stages.html#s3")));
    QCOMPARE(external_calls_, 0);  // nothing on disk for the desktop to open
    QCOMPARE(Browser()->source().scheme(), QStringLiteral("qrc"));
    QVERIFY(Browser()->toPlainText().contains(QStringLiteral("Datalink established:")));
  }

  // xdg-open as on a desktop with no browser: it starts, says so and exits non-zero. Help,
  // F1 and a cause's link all still show their page, in our window; the pages are local, so
  // only the help file, which our window cannot read, is handed to the desktop at all.
  // (Generous waits: the viewer is a real process on a busy machine.)
  void aViewerThatStartsAndFailsLeavesThePagesToOurWindow() {
    const QString bin = root_->filePath(QStringLiteral("path"));
    QVERIFY(QDir().mkpath(bin));
    QFile opener(bin + QStringLiteral("/xdg-open"));
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\necho \"$1\" >>\"$(dirname \"$0\")/calls\"\n"
                 "echo 'xdg-open: no method available for opening' >&2\nexit 3\n");
    opener.close();
    QVERIFY(opener.setPermissions(opener.permissions() | QFile::ExeOwner));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.toUtf8() + ':' + path);
    const auto calls = [&bin] {
      QFile file(bin + QStringLiteral("/calls"));
      return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
    };

    for (const QString& page : {QString(), QStringLiteral("stages.html#s3")}) {
      delete HelpWindow();
      HelpViewerLoader loader(HelpViewerLoader::Opener(), root_->filePath(QStringLiteral("bin")));
      loader.SetFallback(&ShowHelpWindow);
      QVERIFY(loader.ShowHelp(page));
      QTRY_VERIFY_WITH_TIMEOUT(HelpWindow() != nullptr && HelpWindow()->isVisible(), 60000);
      QCOMPARE(Browser()->source().fragment(), QUrl(page).fragment());
    }
    QCOMPARE(calls(), 0);

    delete HelpWindow();
    QFile chm(root_->filePath(QStringLiteral("bin/Help2QRB.chm")));
    QVERIFY(chm.open(QIODevice::WriteOnly));
    HelpViewerLoader loader(HelpViewerLoader::Opener(), root_->filePath(QStringLiteral("bin")));
    loader.SetFallback(&ShowHelpWindow);
    QVERIFY(loader.ShowHelp());
    QVERIFY(HelpWindow() == nullptr);  // not yet: the viewer has started
    QTRY_VERIFY_WITH_TIMEOUT(HelpWindow() != nullptr && HelpWindow()->isVisible(), 60000);
    QCOMPARE(calls(), 1);
    QVERIFY(loader.ShowHelp());  // straight to our window from now on
    QCOMPARE(calls(), 1);
    qputenv("PATH", path);
  }

  // Qt's rich text knows no <footer>: every page's closing lines stand in a block of their
  // own, never run into the list above them.
  void theFooterStandsApartFromTheLastListItem() {
    const QStringList pages = QDir(QStringLiteral(":/m4410/help")).entryList({"*.html"});
    QVERIFY(!pages.isEmpty());
    int footers = 0;
    for (const QString& name : pages) {
      QFile file(QStringLiteral(":/m4410/help/") + name);
      QVERIFY(file.open(QIODevice::ReadOnly));
      const QString html = QString::fromUtf8(file.readAll());
      const qsizetype at = html.indexOf(QStringLiteral("<footer>"));
      if (at < 0) continue;
      ++footers;
      const QString footer = html.mid(at + 8).section(QLatin1Char(' '), 0, 2);
      QVERIFY(ShowHelpWindow(QUrl(QStringLiteral("qrc:/m4410/help/") + name)));
      const QTextDocument* document = Browser()->document();
      const QTextBlock block = document->find(footer).block();
      QVERIFY2(block.isValid(), qPrintable(name));
      QVERIFY2(block.text().startsWith(footer), qPrintable(name + ": " + block.text()));
      QVERIFY2(block.textList() == nullptr, qPrintable(name));
    }
    QVERIFY(footers > 0);
  }
};

}  // namespace m4410

QTEST_MAIN(m4410::HelpWindowTest)
#include "help_window_test.moc"
