// The marlovine-updater executable's command line, run as a separate process.
#include <QProcess>
#include <QTest>

namespace m4410 {

class MarlovineUpdaterTest : public QObject {
  Q_OBJECT

 private:
  struct Outcome {
    int status = -1;
    QString out;
    QString err;
  };
  static Outcome Run(const QStringList& arguments, bool display = true) {
    QProcess process;
    if (!display) {
      QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
      environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
      environment.remove(QStringLiteral("DISPLAY"));
      environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
      process.setProcessEnvironment(environment);
    }
    process.start(QStringLiteral(M4410_UPDATER_BINARY), arguments);
    Outcome o;
    if (!process.waitForFinished(30000)) {
      process.kill();
      process.waitForFinished();
      return o;
    }
    o.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    o.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    o.err = QString::fromLocal8Bit(process.readAllStandardError());
    return o;
  }

 private slots:
  void helpAndVersionNeedNoDisplay() {
    const Outcome help = Run({QStringLiteral("--help")}, false);
    QCOMPARE(help.status, 0);
    QVERIFY(help.out.contains(
        QStringLiteral("usage: marlovine-updater [--port PORT] [--sim OPTIONS] [--trace TRACEFILE]")));
    const Outcome version = Run({QStringLiteral("--version")}, false);
    QCOMPARE(version.status, 0);
    QVERIFY(version.out.startsWith(QStringLiteral("marlovine-updater ")));
  }

  void mistakesEndTheProgramBeforeAnyWindow_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named");
    QTest::newRow("unknown option") << QStringList{"--bogus"} << "unknown option '--bogus'";
    QTest::newRow("bad port") << QStringList{"--port", "lpt:0x3"} << "0x3";
    // Qt takes its own options from what the shared ones leave; a word neither takes is refused.
    QTest::newRow("left over") << QStringList{"-platform", "offscreen", "--port", "sim", "a.bin"}
                               << "unexpected argument 'a.bin'; the update file is chosen in the window";
    QTest::newRow("bad sim key") << QStringList{"--sim", "colour=blue"} << "colour";
    QTest::newRow("trace folder missing")
        << QStringList{"--port", "sim", "--trace", "/nonexistent/dir/trace.txt"}
        << "/nonexistent/dir/trace.txt";
  }
  void mistakesEndTheProgramBeforeAnyWindow() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);
    const Outcome o = Run(arguments);
    QCOMPARE(o.status, 64);
    QVERIFY2(o.err.contains(QStringLiteral("marlovine-updater: ")), qPrintable(o.err));
    QVERIFY2(o.err.contains(named), qPrintable(o.err));
    QVERIFY2(o.err.contains(QStringLiteral("usage: ")), qPrintable(o.err));
  }
};

}  // namespace m4410

QTEST_APPLESS_MAIN(m4410::MarlovineUpdaterTest)
#include "marlovine_updater_test.moc"
