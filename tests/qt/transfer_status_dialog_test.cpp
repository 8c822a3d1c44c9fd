// The status window as a view: it draws what the status display model says at each tick,
// paints every bar position, shows the notes of a run and closes as the operator asks. The
// tick arithmetic itself is tested without a window in tests/ui/status_display_test.cpp.
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "qt/dialog_template.h"
#include "link/block_transfer.h"
#include "board/run_cause.h"
#include "board/stage_board.h"
#include "qt/transfer_status_dialog.h"

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

  void opensEmptyWithTheBarAtOne() {
    TransferStatusDialog d;
    d.OnInitDialog();
    auto* bar = FindControlAs<QProgressBar>(&d, 1003);
    QCOMPARE(bar->minimum(), 1);
    QCOMPARE(bar->maximum(), 3000);
    QCOMPARE(Bar(d), 1);
    for (int stage = 1; stage <= 7; ++stage) QCOMPARE(Result(d, stage), QString());
    QCOMPARE(MessageLine(d), QString());
    QCOMPARE(Button(d), QStringLiteral("&Cancel"));
    QVERIFY(d.TimerRunning());
    d.OnTimer();  // nothing on the board: nothing changes
    QCOMPARE(Bar(d), 1);
    QVERIFY(d.TimerRunning());
  }

  void runFailingAtStageTwo() {
    TransferStatusDialog d;
    d.OnInitDialog();
    SetStage(1, Okay);
    SetStage(2, Failed);
    d.OnTimer();
    QCOMPARE(Result(d, 1), QStringLiteral("Okay"));
    QCOMPARE(Result(d, 2), QStringLiteral("Failed"));
    for (int stage = 3; stage <= 7; ++stage) QCOMPARE(Result(d, stage), QString());
    QCOMPARE(Bar(d), 29);
    QCOMPARE(MessageLine(d), QString());
    QCOMPARE(Button(d), QStringLiteral("OK"));
    QVERIFY(!d.TimerRunning());
    // Each final report is taken once.
    QCOMPARE(GetStage(1), NoReport);
    QCOMPARE(GetStage(2), NoReport);
  }

  void completedRunStepByStep() {
    TransferStatusDialog d;
    d.OnInitDialog();
    ShowOnScreen(&d);
    const int after[] = {29, 59, 89, 119};
    QImage painted = Painted(d);
    for (int stage = 1; stage <= 4; ++stage) {
      SetStage(stage, Okay);
      d.OnTimer();
      QCOMPARE(Bar(d), after[stage - 1]);
      QCOMPARE(Result(d, stage), QStringLiteral("Okay"));
      QCOMPARE(MessageLine(d), QString());
      // Each of these small steps shows on screen, not only in the value.
      QVERIFY(Painted(d) != painted);
      painted = Painted(d);
    }

    SetStage(5, Busy);
    BytesWritten.store(0);
    BytesToWrite.store(1000);
    d.OnTimer();
    QCOMPARE(Bar(d), 119);
    QCOMPARE(MessageLine(d), QStringLiteral("Sending data. 0% complete."));
    BytesWritten.store(500);
    d.OnTimer();
    QCOMPARE(Bar(d), 584);
    QCOMPARE(MessageLine(d), QStringLiteral("Sending data. 50% complete."));
    QCOMPARE(GetStage(5), Busy);  // left for the next tick
    QCOMPARE(Result(d, 5), QString());
    BytesWritten.store(1000);
    d.OnTimer();
    QCOMPARE(Bar(d), 1049);
    QCOMPARE(MessageLine(d), QStringLiteral("Sending data. 100% complete."));

    // Stage 5 done and stage 6 under way in one tick: stage 6 writes the line last.
    SetStage(5, Okay);
    SetStage(6, Busy);
    d.OnTimer();
    QCOMPARE(Result(d, 5), QStringLiteral("Okay"));
    QCOMPARE(Bar(d), 1059);
    QCOMPARE(MessageLine(d), QStringLiteral("Updating box. 0% complete."));

    // The estimate climbs ten a tick and rests at 2829 with 99 %.
    int ticks = 1;
    QString last_climbing;
    while (Bar(d) < 2829 && ticks < 1000) {
      painted = Painted(d);
      d.OnTimer();
      ++ticks;
      last_climbing = MessageLine(d);
      QVERIFY2(Painted(d) != painted, "every step of the estimate moves the bar on screen");
    }
    QCOMPARE(ticks, 178);
    QCOMPARE(last_climbing, QStringLiteral("Updating box. 98% complete."));
    d.OnTimer();
    d.OnTimer();
    QCOMPARE(Bar(d), 2829);
    QCOMPARE(MessageLine(d),
             QStringLiteral("Updating box. 99% complete. The box has 556 s left to confirm."));
    QCOMPARE(Result(d, 6), QString());

    SetStage(6, Okay);
    d.OnTimer();
    QCOMPARE(Result(d, 6), QStringLiteral("Okay"));
    QCOMPARE(MessageLine(d), QStringLiteral("Updating box. 100% complete."));
    QCOMPARE(Bar(d), 2829);
    QVERIFY(d.TimerRunning());
    QCOMPARE(Button(d), QStringLiteral("&Cancel"));

    SetStage(7, Okay);
    d.OnTimer();
    for (int stage = 1; stage <= 7; ++stage) QCOMPARE(Result(d, stage), QStringLiteral("Okay"));
    QCOMPARE(Bar(d), 2999);
    QCOMPARE(MessageLine(d), QStringLiteral("Box updated"));
    QCOMPARE(Button(d), QStringLiteral("OK"));
    QVERIFY(!d.TimerRunning());
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

  void causeOfAnEarlyStopIsShownWithItsHelpPage() {
    for (int failed = 1; failed <= 7; ++failed) {
      ClearBoard();
      SetRunCause("why, and what to do\n");
      TransferStatusDialog d;
      QStringList pages;
      d.SetHelpAction([&pages](const QString& page) { pages << page; });
      d.OnInitDialog();
      for (int stage = 1; stage < failed; ++stage) SetStage(stage, Okay);
      SetStage(failed, Failed);
      d.OnTimer();
      QLabel* notes = Notes(d);
      QVERIFY(notes != nullptr);
      QVERIFY2(!notes->isHidden(), qPrintable(QString::number(failed)));
      const QString expected = failed == 2 ? QStringLiteral("cannot open the port: why, and what to do")
                                           : QStringLiteral("why, and what to do");
      QCOMPARE(notes->text().section(QStringLiteral("<br>"), 0, 0), expected);
      // The specified line stays as it was.
      QCOMPARE(MessageLine(d), failed == 7 ? QStringLiteral("Box update failed") : QString());
      // The window grows to hold the notes, the button below them.
      auto* button = FindControlAs<QPushButton>(&d, 2);
      QVERIFY(notes->geometry().top() > FindControlAs<QLineEdit>(&d, 1059)->geometry().bottom());
      QVERIFY(button->geometry().top() > notes->geometry().bottom());
      QVERIFY(d.height() > button->geometry().bottom());
      QVERIFY(notes->height() >= notes->heightForWidth(notes->width()));
      // The link opens the help page on the matter.
      const QString page = failed == 2 ? QStringLiteral("port-access.html")
                                       : QStringLiteral("stages.html#s%1").arg(failed);
      QVERIFY(notes->text().contains(QStringLiteral("href=\"%1\"").arg(page)));
      emit notes->linkActivated(page);
      QCOMPARE(pages, QStringList{page});
    }
    ClearRunCause();
  }

  void simulatedBoxIsNamedAndWhatItReceivedShownAtTheEnd() {
    TransferStatusDialog d;
    int asked = 0;
    d.SetBoxReport([&asked] {
      ++asked;
      return std::string("box received 7 bytes, crc32 0badf00d");
    });
    d.OnInitDialog();
    QCOMPARE(d.windowTitle(), QStringLiteral("File Transfer Status (simulated box)"));
    for (int stage = 1; stage <= 6; ++stage) {
      SetStage(stage, Okay);
      d.OnTimer();
      QVERIFY(Notes(d)->isHidden());  // not before the run has ended
    }
    QCOMPARE(asked, 0);
    SetStage(7, Okay);
    d.OnTimer();
    QVERIFY(!Notes(d)->isHidden());
    QCOMPARE(Notes(d)->text(), QStringLiteral("box received 7 bytes, crc32 0badf00d"));
    QCOMPARE(asked, 1);

    TransferStatusDialog real;
    QCOMPARE(real.windowTitle(), QStringLiteral("File Transfer Status"));
  }

  void closingLowersKeepGoing_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("button") << QStringLiteral("button");
    QTest::newRow("escape") << QStringLiteral("escape");
    QTest::newRow("close box") << QStringLiteral("close");
  }
  void closingLowersKeepGoing() {
    QFETCH(QString, how);
    RaiseKeepGoing();
    TransferStatusDialog d;
    d.OnInitDialog();
    SetStage(5, Busy);  // under way: the dialog still closes at once
    d.open();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    if (how == QLatin1String("button")) {
      QTest::mouseClick(FindControlAs<QPushButton>(&d, 2), Qt::LeftButton);
    } else if (how == QLatin1String("escape")) {
      QTest::keyClick(&d, Qt::Key_Escape);
    } else {
      d.close();
    }
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), int{QDialog::Rejected});
    QVERIFY(!KeepGoing());
    RaiseKeepGoing();
  }

  void okButtonAlsoCloses() {
    RaiseKeepGoing();
    TransferStatusDialog d;
    d.OnInitDialog();
    SetStage(2, Failed);
    d.OnTimer();
    d.open();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QTest::keyClick(FindControlAs<QPushButton>(&d, 2), Qt::Key_Return);
    QVERIFY(!d.isVisible());
    QVERIFY(!KeepGoing());
    RaiseKeepGoing();
  }
};

}  // namespace m4410

QTEST_MAIN(m4410::TransferStatusDialogTest)
#include "transfer_status_dialog_test.moc"
