// The status dialog's poll of the stage board, driven tick by tick.
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "qt/dialog_template.h"
#include "link/block_transfer.h"
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
    const int after[] = {29, 59, 89, 119};
    for (int stage = 1; stage <= 4; ++stage) {
      SetStage(stage, Okay);
      d.OnTimer();
      QCOMPARE(Bar(d), after[stage - 1]);
      QCOMPARE(Result(d, stage), QStringLiteral("Okay"));
      QCOMPARE(MessageLine(d), QString());
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
      d.OnTimer();
      ++ticks;
      last_climbing = MessageLine(d);
    }
    QCOMPARE(ticks, 178);
    QCOMPARE(last_climbing, QStringLiteral("Updating box. 98% complete."));
    d.OnTimer();
    d.OnTimer();
    QCOMPARE(Bar(d), 2829);
    QCOMPARE(MessageLine(d), QStringLiteral("Updating box. 99% complete."));
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

  void everyReportWaitingIsShownByOneTick() {
    TransferStatusDialog d;
    d.OnInitDialog();
    for (int stage = 1; stage <= 7; ++stage) SetStage(stage, Okay);
    d.OnTimer();
    for (int stage = 1; stage <= 7; ++stage) {
      QCOMPARE(Result(d, stage), QStringLiteral("Okay"));
      QCOMPARE(GetStage(stage), NoReport);
    }
    QCOMPARE(Bar(d), 2999);
    QCOMPARE(MessageLine(d), QStringLiteral("Box updated"));
  }

  void stageSevenFailureKeepsCancel() {
    TransferStatusDialog d;
    d.OnInitDialog();
    for (int stage = 1; stage <= 4; ++stage) SetStage(stage, Okay);
    SetStage(7, Failed);
    d.OnTimer();
    QCOMPARE(Result(d, 7), QStringLiteral("Failed"));
    QCOMPARE(MessageLine(d), QStringLiteral("Box update failed"));
    QCOMPARE(Bar(d), 119);
    QCOMPARE(Button(d), QStringLiteral("&Cancel"));
    QVERIFY(!d.TimerRunning());
  }

  void busyWhereNoStageIsBusyIsAFailure_data() {
    QTest::addColumn<int>("stage");
    QTest::addColumn<int>("code");
    for (int stage : {1, 2, 3, 4, 7}) {
      QTest::addRow("stage %d busy", stage) << stage << int{Busy};
    }
    QTest::addRow("stage 5 unknown") << 5 << 7;
    QTest::addRow("stage 6 negative") << 6 << -1;
    QTest::addRow("stage 1 unknown") << 1 << 42;
  }
  void busyWhereNoStageIsBusyIsAFailure() {
    QFETCH(int, stage);
    QFETCH(int, code);
    TransferStatusDialog d;
    d.OnInitDialog();
    SetStage(stage, code);
    d.OnTimer();
    QCOMPARE(Result(d, stage), QStringLiteral("Failed"));
    QCOMPARE(GetStage(stage), NoReport);
    QVERIFY(!d.TimerRunning());
    QCOMPARE(Bar(d), 1);
    QCOMPARE(Button(d), stage == 7 ? QStringLiteral("&Cancel") : QStringLiteral("OK"));
  }

  void failuresOfTheLongStagesEmptyTheMessage() {
    for (int stage : {5, 6}) {
      ClearBoard();
      TransferStatusDialog d;
      d.OnInitDialog();
      SetStage(5, Busy);
      BytesToWrite.store(10);
      BytesWritten.store(3);
      d.OnTimer();
      QCOMPARE(MessageLine(d), QStringLiteral("Sending data. 30% complete."));
      if (stage == 6) {
        SetStage(5, Okay);
        SetStage(6, Busy);
        d.OnTimer();
        QVERIFY(!MessageLine(d).isEmpty());
      }
      SetStage(stage, Failed);
      d.OnTimer();
      QCOMPARE(Result(d, stage), QStringLiteral("Failed"));
      QCOMPARE(MessageLine(d), QString());
      QCOMPARE(Button(d), QStringLiteral("OK"));
    }
  }

  void emptyImageWriteDoesNotFault() {
    TransferStatusDialog d;
    d.OnInitDialog();
    for (int stage = 1; stage <= 4; ++stage) SetStage(stage, Okay);
    SetStage(5, Busy);
    BytesWritten.store(0);
    BytesToWrite.store(0);
    d.OnTimer();
    QCOMPARE(Bar(d), 119);
    QCOMPARE(MessageLine(d), QStringLiteral("Sending data. 0% complete."));
    BytesToWrite.store(-5);
    d.OnTimer();
    QCOMPARE(Bar(d), 119);
  }

  void estimateStartsFromWhereverTheBarStands() {
    // No tick saw stage 5's progress, so the bar is far below the estimate's band: the
    // estimate is negative and shows as 0 while the bar climbs.
    TransferStatusDialog d;
    d.OnInitDialog();
    SetStage(6, Busy);
    d.OnTimer();
    QCOMPARE(Bar(d), 11);
    QCOMPARE(MessageLine(d), QStringLiteral("Updating box. 0% complete."));
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
