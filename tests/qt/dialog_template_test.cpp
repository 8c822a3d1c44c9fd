// The widgets the builder makes of the two dialog templates.
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "qt/dialog_template.h"

namespace m4410 {

class DialogTemplateTest : public QObject {
  Q_OBJECT

 private slots:
  void builtMainDialogHasItsControlsByIdAndKeepsHiddenRowsHidden() {
    QDialog dialog;
    BuildDialog(&dialog, LoadDialogTemplate(102));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Marlovine 4410 software transmission"));

    auto* start = FindControlAs<QPushButton>(&dialog, 1002);
    QVERIFY(start != nullptr);
    QVERIFY(start->isDefault());
    QCOMPARE(start->text(), QStringLiteral("&Start"));
    QVERIFY(FindControlAs<QCheckBox>(&dialog, 1054)->isVisible());
    QVERIFY(FindControlAs<QLineEdit>(&dialog, 1018)->isVisible());
    for (int id : {1048, 1049, 1050, 1021, 1022, 1023, 1051, 1052, 1053}) {
      QWidget* w = FindControl(&dialog, id);
      QVERIFY2(w != nullptr && !w->isVisible(), qPrintable(QString::number(id)));
    }
    // The picture takes its bitmap's size.
    auto* picture = FindControlAs<QLabel>(&dialog, 1000);
    QCOMPARE(picture->size(), QSize(153, 45));
    QVERIFY(FindControl(&dialog, 4242) == nullptr);
  }

  void layoutFollowsDialogUnitsOfTheFont() {
    QDialog dialog;
    const DialogTemplate t = LoadDialogTemplate(103);
    BuildDialog(&dialog, t);
    const QSize base = DialogBaseUnits(DialogFont(t));
    QCOMPARE(dialog.size(), MapDialogRect(QRect(0, 0, 258, 252), base).size());
    QCOMPARE(FindControl(&dialog, 2)->geometry(), MapDialogRect(QRect(97, 211, 60, 22), base));
    auto* bar = FindControlAs<QProgressBar>(&dialog, 1003);
    QCOMPARE(bar->orientation(), Qt::Vertical);
    QVERIFY(FindControlAs<QLineEdit>(&dialog, 1059)->isReadOnly());
  }

  void dialogUnitsRoundAsThePlatformDoes() {
    // Base units 6 x 13, as the classic 8-point dialog font gives.
    QCOMPARE(MapDialogRect(QRect(81, 169, 58, 20), QSize(6, 13)), QRect(122, 275, 87, 32));
    QCOMPARE(MapDialogRect(QRect(1, 1, 1, 1), QSize(6, 13)), QRect(2, 2, -1 + 2, 1));
    QCOMPARE(MapDialogRect(QRect(0, 0, 4, 8), QSize(7, 15)), QRect(0, 0, 7, 15));
  }

  void sizeStaysFixedWhateverTheTexts() {
    QDialog dialog;
    BuildDialog(&dialog, LoadDialogTemplate(103));
    const QSize before = dialog.size();
    FindControlAs<QLineEdit>(&dialog, 1059)->setText(QString(500, QLatin1Char('W')));
    FindControlAs<QLabel>(&dialog, 1052)->setText(QString(80, QLatin1Char('W')));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.adjustSize();
    QCOMPARE(dialog.size(), before);
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
  }

  void iconAndPictureHaveTheirSizes() {
    const QIcon icon = AppIcon();
    QCOMPARE(icon.availableSizes(), (QList<QSize>{QSize(32, 32), QSize(16, 16)}));
    QCOMPARE(ResourceBitmap(130).size(), QSize(153, 45));
  }
};

}  // namespace m4410

QTEST_MAIN(m4410::DialogTemplateTest)
#include "dialog_template_test.moc"
