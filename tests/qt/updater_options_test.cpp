// The operator's program's command line.
#include <QTest>

#include "qt/updater_options.h"

namespace m4410 {

class UpdaterOptionsTest : public QObject {
  Q_OBJECT

 private:
  static bool Parse(QStringList words, UpdaterOptions* out, QString* error) {
    words.prepend(QStringLiteral("marlovine-updater"));
    return ParseUpdaterOptions(words, out, error);
  }

 private slots:
  // The shared options' spellings and mistakes are run_options_test's table; this is the
  // hand-over from Qt's argument list.
  void qtArgumentsReachTheSharedOptions() {
    UpdaterOptions o;
    QString error;
    QVERIFY(Parse({"--port", "sim", "--sim=clock=virtual,update-ms=10", "--trace", "/tmp/t x"},
                  &o, &error));
    QCOMPARE(o.port.port, std::string("sim"));
    QCOMPARE(o.port.sim, std::string("clock=virtual,update-ms=10"));
    QCOMPARE(o.port.trace, std::string("/tmp/t x"));
  }

  // Read before Qt takes its own options out: the port taken at start is the one chosen.
  void portBeforeToolkitIsTheChosenPort() {
    const auto before = [](std::vector<std::string> words) {
      words.insert(words.begin(), "marlovine-updater");
      return PortBeforeToolkit(words);
    };
    QCOMPARE(before({}), std::optional<std::string>("lpt"));
    QCOMPARE(before({"-platform", "xcb", "--port", "lpt:0xe010,0xe000"}),
             std::optional<std::string>("lpt:0xe010,0xe000"));
    QCOMPARE(before({"--port=lpt:888"}), std::optional<std::string>("lpt:888"));
    QCOMPARE(before({"--sim", "clock=virtual"}), std::optional<std::string>("sim"));
    QCOMPARE(before({"--port", "sim", "--help"}), std::optional<std::string>());
    QCOMPARE(before({"--version"}), std::optional<std::string>());
    // A line the program will refuse takes no port at all.
    QCOMPARE(before({"--port", "sim", "--port=lpt:888"}), std::optional<std::string>());
  }

  void mistakesAreNamed_data() {
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("error");
    QTest::newRow("shared") << QStringList{"--port"} << "option '--port' needs a value";
    QTest::newRow("file") << QStringList{"update.bin"}
                          << "unexpected argument 'update.bin'; the update file is chosen in "
                             "the window";
  }
  void mistakesAreNamed() {
    QFETCH(QStringList, words);
    QFETCH(QString, error);
    UpdaterOptions o;
    o.port.port = "kept";
    QString said;
    QVERIFY(!Parse(words, &o, &said));
    QCOMPARE(said, error);
    QCOMPARE(o.port.port, std::string("kept"));
  }
};

}  // namespace m4410

QTEST_APPLESS_MAIN(m4410::UpdaterOptionsTest)
#include "updater_options_test.moc"
