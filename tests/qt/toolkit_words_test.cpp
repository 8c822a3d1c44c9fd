// The words the window program expects Qt to leave, against what Qt itself leaves.
#include <QApplication>
#include <QTest>

#include <string>
#include <vector>

#include "qt/toolkit_words.h"

namespace m4410 {

class ToolkitWordsTest : public QObject {
  Q_OBJECT

 private slots:
  void predictionMatchesWhatQtLeaves_data() {
    QTest::addColumn<QStringList>("words");
    QTest::newRow("taken, one dash and two, value apart and joined")
        << QStringList{"-platform", "offscreen", "--qwindowtitle", "t", "-reverse",
                       "--style=Fusion", "-widgetcount", "--qwindowgeometry", "10x10"};
    QTest::newRow("unknown and stray words among taken ones")
        << QStringList{"--bogus", "-style", "Fusion", "stray", "-b", "--", "-reverse", "x"};
    QTest::newRow("value missing") << QStringList{"-reverse", "-style"};
  }
  void predictionMatchesWhatQtLeaves() {
    QFETCH(QStringList, words);
    std::vector<std::string> given;
    std::vector<QByteArray> storage{QByteArrayLiteral("marlovine-updater")};
    for (const QString& word : words) {
      given.push_back(word.toStdString());
      storage.push_back(word.toLocal8Bit());
    }
    std::vector<char*> argv;
    for (QByteArray& word : storage) argv.push_back(word.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(storage.size());
    std::vector<std::string> left;
    {
      QApplication application(argc, argv.data());
      for (int i = 1; i < argc; ++i) left.emplace_back(argv[i]);
    }
    QCOMPARE(WordsQtLeaves(given), left);
  }
};

}  // namespace m4410

QTEST_APPLESS_MAIN(m4410::ToolkitWordsTest)
#include "toolkit_words_test.moc"
