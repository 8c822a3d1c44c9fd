// Help where the desktop cannot open the pages: the program's own window shows them.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

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
        [this, opens](const QUrl&) {
          ++external_calls_;
          return opens;
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

  void aDesktopThatOpensThePagesKeepsThem() {
    HelpViewerLoader loader = Loader(true);
    QVERIFY(loader.ShowHelp());
    QVERIFY(loader.ShowHelp(QStringLiteral("port-access.html")));
    QCOMPARE(external_calls_, 2);
    QVERIFY(HelpWindow() == nullptr);
  }
};

}  // namespace m4410

QTEST_MAIN(m4410::HelpWindowTest)
#include "help_window_test.moc"
