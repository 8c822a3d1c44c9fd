// The status window as a Qt view: its controls reach the controller, and its bar paints every
// position. The window's behaviour is tested without widgets in tests/ui/status_dialog_test.cpp.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyleHints>
#include <QTest>

#include "qt/dialog_template.h"
#include "link/block_transfer.h"
#include "board/run_cause.h"
#include "board/stage_board.h"
#include "qt/transfer_status_dialog.h"
#include "ui/run_notes.h"

namespace m4410 {

namespace {

void ClearBoard() {
  for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
  BytesWritten.store(0);
  BytesToWrite.store(0);
}

QString Result(const TransferStatusDialog& d, int stage) {
  return FindControlAs<QLabel>(&d, 1051 + stage)->text();
}
QString MessageLine(const TransferStatusDialog& d) {
  return FindControlAs<QLineEdit>(&d, 1059)->text();
}
int Bar(const TransferStatusDialog& d) { return FindControlAs<QProgressBar>(&d, 1003)->value(); }
// What the bar looks like on screen: what the window system was last given to show, after
// pending repaints, rather than a fresh rendering of the widget.
QImage Painted(const TransferStatusDialog& d) {
  QCoreApplication::processEvents();
  const QRect bar = FindControlAs<QProgressBar>(&d, 1003)->geometry();
  return d.screen()->grabWindow(d.winId(), bar.x(), bar.y(), bar.width(), bar.height()).toImage();
}
void ShowOnScreen(TransferStatusDialog* d) {
  d->show();
  QVERIFY(QTest::qWaitForWindowExposed(d));
}
QLabel* Notes(const TransferStatusDialog& d) { return d.findChild<QLabel*>(QStringLiteral("runNotes")); }
QString Button(const TransferStatusDialog& d) { return FindControlAs<QPushButton>(&d, 2)->text(); }

}  // namespace

class TransferStatusDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ClearBoard(); }

  // The view draws what the controller says and passes on its timer, its link, its keys and
  // its ways of closing; the behaviour itself is tested in tests/ui/status_dialog_test.cpp.
  void controlsReachTheController() {
    SetRunCause("why, and what to do\n");
    TransferStatusDialog d;
    QStringList pages;
    d.SetHelpAction([&pages](const QString& page) { pages << page; });
    d.SetBoxReport([] { return std::string("box received 7 bytes"); });
    d.OnInitDialog();
    QCOMPARE(d.windowTitle(), QStringLiteral("File Transfer Status (simulated box)"));
    auto* bar = FindControlAs<QProgressBar>(&d, 1003);
    QCOMPARE(bar->minimum(), 1);
    QCOMPARE(bar->maximum(), 3000);
    QCOMPARE(Bar(d), 1);
    QCOMPARE(Button(d), QStringLiteral("&Cancel"));
    QVERIFY(d.TimerRunning());
    ShowOnScreen(&d);
    const QRect button_before = FindControlAs<QPushButton>(&d, 2)->geometry();
    const int height_before = d.height();

    // Held or pressed again from Start: neither Enter nor Space presses the button. A long
    // double-click interval keeps a slow machine's pauses inside it.
    QStyleHints* hints = QGuiApplication::styleHints();
    const int interval = hints->mouseDoubleClickInterval();
    hints->setMouseDoubleClickInterval(60000);
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
      QTest::keyClick(FindControlAs<QPushButton>(&d, 2), key);
      QTest::keyClick(FindControlAs<QLineEdit>(&d, 1059), key);
    }
    QKeyEvent held(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(FindControlAs<QPushButton>(&d, 2), &held);
    hints->setMouseDoubleClickInterval(interval);
    QVERIFY(d.isVisible());
    QVERIFY(KeepGoing());
    QTest::keyClick(&d, Qt::Key_F1);  // no cause yet: the page on running an update

    SetStage(1, Okay);
    SetStage(2, Failed);
    d.OnTimer();
    QCOMPARE(Result(d, 1), QStringLiteral("Okay"));
    QCOMPARE(Result(d, 2), QStringLiteral("Failed"));
    QCOMPARE(Bar(d), 29);
    QCOMPARE(MessageLine(d), QString());
    QCOMPARE(Button(d), QStringLiteral("OK"));
    QVERIFY(!d.TimerRunning());
    QLabel* notes = Notes(d);
    QVERIFY(!notes->isHidden());
    const HelpPage help = CauseHelpPage(2);
    QCOMPARE(notes->text(), QStringLiteral("%1<br>More in the help: <a href=\"%2\">%3</a><br>"
                                           "box received 7 bytes")
                                .arg(QString::fromStdString(CauseLine(2, "why, and what to do")),
                                     QString::fromStdString(help.page),
                                     QString::fromStdString(help.title)));
    // The notes came into room taken from the start: nothing moved.
    QCOMPARE(d.height(), height_before);
    QCOMPARE(FindControlAs<QPushButton>(&d, 2)->geometry(), button_before);
    const QRect room(notes->mapTo(&d, QPoint(0, 0)), notes->size());
    QVERIFY(room.top() > FindControlAs<QLineEdit>(&d, 1059)->geometry().bottom());
    QVERIFY(button_before.top() > room.top());
    emit notes->linkActivated(QString::fromStdString(help.page));
    // F1 in any control: the cause's page, as the link.
    QTest::keyClick(FindControlAs<QPushButton>(&d, 2), Qt::Key_F1);
    QTest::keyClick(FindControlAs<QLineEdit>(&d, 1059), Qt::Key_F1);
    const QString page = QString::fromStdString(help.page);
    QCOMPARE(pages, (QStringList{QStringLiteral("running.html"), page, page, page}));
    ClearRunCause();

    // Once the system's double-click interval has passed, Enter presses the button.
    hints->setMouseDoubleClickInterval(0);
    QTest::keyClick(FindControlAs<QPushButton>(&d, 2), Qt::Key_Return);
    hints->setMouseDoubleClickInterval(interval);
    QVERIFY(!d.isVisible());
    QVERIFY(!KeepGoing());

    // The button, Esc and the close box each close the window and lower KeepGoing, the run
    // under way.
    for (const char* how : {"button", "escape", "close box"}) {
      RaiseKeepGoing();
      TransferStatusDialog other;
      other.OnInitDialog();
      SetStage(5, Busy);
      other.open();
      QVERIFY(QTest::qWaitForWindowExposed(&other));
      if (how == std::string("button")) {
        QTest::mouseClick(FindControlAs<QPushButton>(&other, 2), Qt::LeftButton);
      } else if (how == std::string("escape")) {
        QTest::keyClick(&other, Qt::Key_Escape);
      } else {
        other.close();
      }
      QVERIFY2(!other.isVisible(), how);
      QCOMPARE(other.result(), int{QDialog::Rejected});
      QVERIFY2(!KeepGoing(), how);
    }
    RaiseKeepGoing();
  }

  void barPaintsEveryPositionFilledFromTheBottom() {
    TransferStatusDialog d;
    d.OnInitDialog();
    ShowOnScreen(&d);
    auto* bar = FindControlAs<QProgressBar>(&d, 1003);
    const QImage empty = Painted(d);
    const int column = empty.width() / 2;
    // Rows of the middle column painted differently from the empty bar; the lowest of them
    // must sit at the bottom of the fill, so they grow upwards.
    const auto filled = [&](const QImage& image) {
      int rows = 0;
      int lowest = -1;
      for (int y = 0; y < image.height(); ++y) {
        if (image.pixel(column, y) != empty.pixel(column, y)) {
          ++rows;
          lowest = y;
        }
      }
      return rows == 0 || lowest >= image.height() - 4 ? rows : -1;
    };
    QImage previous = empty;
    int previous_rows = 0;
    for (int position = bar->minimum() + 1; position <= bar->maximum(); ++position) {
      bar->setValue(position);
      const QImage now = Painted(d);
      if (now == previous) QFAIL(qPrintable(QStringLiteral("position %1 looks like %2").arg(position).arg(position - 1)));
      const int rows = filled(now);
      if (rows < previous_rows) QFAIL(qPrintable(QStringLiteral("the fill shrank at %1").arg(position)));
      previous = now;
      previous_rows = rows;
    }
    QVERIFY(previous_rows > empty.height() / 2);  // the full bar is filled, not a sliver
  }

};

}  // namespace m4410

QTEST_MAIN(m4410::TransferStatusDialogTest)
#include "transfer_status_dialog_test.moc"
