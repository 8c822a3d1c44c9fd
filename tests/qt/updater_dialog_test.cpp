// The main dialog through its widgets: that its controls reach the controller, whole runs on
// the simulated box, the wait for a worker before the end, and a run whose status window was
// closed early followed to its result.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>

#include <functional>
#include <memory>
#include <string>

#include "qt/dialog_template.h"
#include "qt/file_chooser.h"
#include "qt/message_sink.h"
#include "qt/updater_app.h"
#include "qt/updater_dialog.h"
#include "port/port_access.h"
#include "port/port_driver.h"
#include "run/port_environment.h"
#include "board/stage_board.h"
#include "qt/transfer_status_dialog.h"
#include "run/update_worker.h"
#include "support/gated_port.h"

namespace m4410 {

namespace {

class RecordingSink : public MessageSink {
 public:
  struct Box {
    QString title;
    QString text;
    QMessageBox::Icon icon;
  };
  void Show(QWidget*, const QString& title, const QString& text, QMessageBox::Icon icon) override {
    boxes.append({title, text, icon});
  }
  QList<Box> boxes;
};

class ScriptedChooser : public FileChooser {
 public:
  bool ChooseFile(QWidget*, const QString& initial, const QStringList& offered,
                  QString* path) override {
    initials << initial;
    filters = offered;
    if (!ok) return false;
    *path = answer;
    return true;
  }
  bool ok = true;
  QString answer;
  QStringList initials;
  QStringList filters;
};

QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("<missing>");
  return QString::fromUtf8(file.readAll());
}

void WriteText(const QString& path, const QByteArray& text) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(text);
}

QByteArray Fixture(const char* name) {
  QFile file(QStringLiteral(M4410_FIXTURE_DIR "/") + QString::fromLatin1(name));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What the status dialog showed when the test looked.
struct StatusSnapshot {
  bool seen = false;
  QStringList results;
  int bar = 0;
  QString message;
  QString button;
  QString title;
  QString notes;  // empty while hidden
};

StatusSnapshot Snapshot(const TransferStatusDialog* d) {
  StatusSnapshot s;
  s.seen = true;
  for (int id = 1052; id <= 1058; ++id) s.results << FindControlAs<QLabel>(d, id)->text();
  s.bar = FindControlAs<QProgressBar>(d, 1003)->value();
  s.message = FindControlAs<QLineEdit>(d, 1059)->text();
  s.button = FindControlAs<QPushButton>(d, 2)->text();
  s.title = d->windowTitle();
  const auto* notes = d->findChild<QLabel*>(QStringLiteral("runNotes"));
  if (notes != nullptr && !notes->isHidden()) s.notes = notes->text();
  return s;
}

// Runs action on the status dialog once it is up and running modally. The watch ends with
// the returned timer, so it never reaches into a later test.
[[nodiscard]] std::unique_ptr<QTimer> WhenStatusDialogOpens(
    std::function<void(TransferStatusDialog*)> action) {
  auto poll = std::make_unique<QTimer>();
  QTimer* timer = poll.get();
  QObject::connect(timer, &QTimer::timeout, [timer, action] {
    auto* dialog = qobject_cast<TransferStatusDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    timer->stop();
    action(dialog);
  });
  timer->start(5);
  return poll;
}

// Ticks the dialog once the worker has ended, records it, and closes it with its button.
[[nodiscard]] std::unique_ptr<QTimer> FinishRunAndClose(StatusSnapshot* out) {
  return WhenStatusDialogOpens([out](TransferStatusDialog* d) {
    WaitForUpdateWorker();
    d->OnTimer();
    *out = Snapshot(d);
    QTest::mouseClick(FindControlAs<QPushButton>(d, 2), Qt::LeftButton);
  });
}

const QStringList kSevenOkay = {"Okay", "Okay", "Okay", "Okay", "Okay", "Okay", "Okay"};

}  // namespace

class UpdaterDialogTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<UpdaterApp> app_;
  std::unique_ptr<UpdaterDialog> dialog_;
  RecordingSink sink_;
  ScriptedChooser chooser_;
  int help_calls_ = 0;
  // A new one for each test, which outlives every worker that waits on it: cleanup() waits
  // for the worker.
  std::unique_ptr<Gate> gate_;

  QString Ini() const { return dir_->filePath(QStringLiteral("settings/marlovine-updater.ini")); }
  QString TempPath(const char* name) const { return dir_->filePath(QString::fromLatin1(name)); }

  QString MakeFile(const char* name, int bytes, mode_t mode = 0644) {
    const QString path = TempPath(name);
    WriteText(path, QByteArray(bytes, '\x5a'));
    ::chmod(QFile::encodeName(path).constData(), mode);
    return path;
  }

  // Opens the main dialog over whatever settings file the test has put in place, on the
  // simulated box when one is given.
  void Open(const PortEnvironment* environment = nullptr) {
    app_ = std::make_unique<UpdaterApp>(QFile::encodeName(Ini()).toStdString());
    app_->SetPortEnvironment(environment);
    dialog_ = std::make_unique<UpdaterDialog>(app_.get());
    dialog_->SetMessageSink(&sink_);
    dialog_->SetFileChooser(&chooser_);
    dialog_->SetHelpAction([this] { ++help_calls_; });
    dialog_->OnInitDialog();
    dialog_->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog_.get()));
  }

  template <typename T>
  T* Control(int id) const {
    return FindControlAs<T>(dialog_.get(), id);
  }
  void Click(int id) { Control<QAbstractButton>(id)->click(); }
  void TypePath(const QString& path) {
    QLineEdit* edit = Control<QLineEdit>(1018);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, path);
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QDir(dir_->path()).mkdir(QStringLiteral("settings"));
    sink_.boxes.clear();
    chooser_ = ScriptedChooser();
    help_calls_ = 0;
    gate_ = std::make_unique<Gate>();
    SetPortAccessFactory([] { return std::make_unique<RefusingPort>(); });
    for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
  }

  void cleanup() {
    gate_->Open();  // a test that stopped early still lets its worker end
    WaitForUpdateWorker();
    dialog_.reset();
    app_.reset();
    SetPortAccessFactory({});
    dir_.reset();
  }

  // The window's controls reach the controller and what it says reaches the controls: the
  // settings at opening, clicks, typing, the browse button, Start's message boxes, Enter,
  // Help and F1, Esc, and Quit. The rules themselves are the controller's test's.
  void controlsReachTheController() {
    // A first run: the chooser opens on the home folder.
    Open();
    chooser_.ok = false;
    Click(1019);
    QCOMPARE(chooser_.initials, QStringList{QDir::homePath()});
    QCOMPARE(Control<QLineEdit>(1018)->text(), QString());
    chooser_ = ScriptedChooser();

    const QByteArray original = Fixture("settings-written-on-windows.ini");
    WriteText(Ini(), original);
    Open();
    QCOMPARE(dialog_->windowTitle(), QStringLiteral("Marlovine 4410 software transmission"));
    QVERIFY(!dialog_->windowIcon().isNull());
    QCOMPARE(Control<QLineEdit>(1018)->text(),
             QStringLiteral(R"(C:\Updates\4410\release 2.07\complete.bin)"));
    QCOMPARE(Control<QLineEdit>(1050)->text(), QStringLiteral(R"(D:\menus\menu_fr.bin)"));
    for (int id : {1048, 1049, 1050, 1051, 1052, 1053}) QVERIFY(!Control<QWidget>(id)->isVisible());

    // A check box click runs its handler: the edit turns read-only, drawn as such.
    Click(1054);
    QVERIFY(Control<QLineEdit>(1018)->isReadOnly());
    const QPalette read_only = Control<QLineEdit>(1018)->palette();
    QCOMPARE(read_only.color(QPalette::Base), read_only.color(QPalette::Window));
    Click(1054);
    QVERIFY(!Control<QLineEdit>(1018)->isReadOnly());

    // The browse button asks the chooser with the classic filters, from the last path.
    chooser_.answer = QStringLiteral("/srv/menu.bin");
    Click(1022);
    QCOMPARE(chooser_.initials,
             QStringList{QStringLiteral(R"(C:\Updates\4410\release 2.07\complete.bin)")});
    QCOMPARE(chooser_.filters,
             (QStringList{QStringLiteral("Update Files (*.bin)"), QStringLiteral("All Files (*.*)")}));
    QCOMPARE(Control<QLineEdit>(1050)->text(), QStringLiteral("/srv/menu.bin"));

    // Start's refusals: a plain box, and the file's report with the warning icon, both
    // captioned with the program's name. Enter in the edit presses Start.
    TypePath(QString());
    Click(1054);
    Click(1002);
    Click(1054);
    const QString missing = TempPath("missing.bin");
    TypePath(missing);
    QCOMPARE(dialog_->controller().m_strCompleteFile, QFile::encodeName(missing).toStdString());
    QTest::keyClick(Control<QLineEdit>(1018), Qt::Key_Return);
    QCOMPARE(sink_.boxes.size(), 2);
    QCOMPARE(sink_.boxes[0].title, QStringLiteral("marlovine-updater"));
    QCOMPARE(sink_.boxes[0].text, QStringLiteral("Please select some file(s) to upload!"));
    QCOMPARE(sink_.boxes[0].icon, QMessageBox::NoIcon);
    QCOMPARE(sink_.boxes[1].text, missing + QStringLiteral(" was not found."));
    QCOMPARE(sink_.boxes[1].icon, QMessageBox::Warning);

    // Help and F1 show help; F1 with a modifier does not.
    Click(1045);
    QTest::keyClick(Control<QLineEdit>(1018), Qt::Key_F1);
    QTest::keyClick(Control<QLineEdit>(1018), Qt::Key_F1, Qt::ControlModifier);
    QCOMPARE(help_calls_, 2);

    // Esc leaves the file alone; Quit writes what the window holds.
    QTest::keyClick(Control<QLineEdit>(1018), Qt::Key_Escape);
    QVERIFY(!dialog_->isVisible());
    QCOMPARE(dialog_->result(), MainDialogController::kIdCancel);
    QCOMPARE(ReadText(Ini()).toUtf8(), original);
    Open();
    TypePath(QStringLiteral("/srv/4410/new.bin"));
    Click(1017);
    QVERIFY(!dialog_->isVisible());
    QVERIFY(ReadText(Ini()).contains(QStringLiteral("Software Update Filename Item=/srv/4410/new.bin")));
  }

  // Escape on the status window while the image goes out: the run goes on, and the main
  // window says so, then shows its result until the operator's OK. The box's 1.5 s of
  // updating and the 3 s settle keep the worker running well past the Escape.
  void statusWindowClosedMidRunLeavesTheResultInTheMainWindow() {
    std::string error;
    auto environment = PortEnvironment::Install({"sim", "rate=20000,update-ms=1500", ""}, &error);
    QVERIFY2(environment != nullptr, error.c_str());
    Open(environment.get());
    TypePath(MakeFile("image.bin", 10000));
    const auto watch = WhenStatusDialogOpens([](TransferStatusDialog* d) {
      QVERIFY(QTest::qWaitFor([] { return ImageInFlight(); }, 30000));
      QTest::keyClick(d, Qt::Key_Escape);
    });
    Click(1002);
    QVERIFY(UpdateWorkerRunning());
    auto* note = Control<QLabel>(1070);
    auto* ok = Control<QPushButton>(1071);
    QVERIFY(note != nullptr && ok != nullptr);
    QVERIFY(note->isVisible());
    QVERIFY2(note->text().startsWith(QStringLiteral("The update goes on: ")), qPrintable(note->text()));
    QVERIFY(!ok->isVisible());

    QTRY_VERIFY_WITH_TIMEOUT(ok->isVisible(), 60000);
    QVERIFY(!UpdateWorkerRunning());
    QCOMPARE(note->text(), QStringLiteral("Last update: Box updated"));
    QCOMPARE(environment->BoxReport().rfind("box received 10000 bytes", 0), 0u);
    Click(1071);
    QVERIFY(!note->isVisible());
    QVERIFY(!ok->isVisible());
  }

  void completeRunOnTheSimulatedBox() {
    std::string error;
    auto environment =
        PortEnvironment::Install({"sim", "clock=virtual,update-ms=5000", ""}, &error);
    QVERIFY2(environment != nullptr, error.c_str());
    Open(environment.get());
    QCOMPARE(dialog_->windowTitle(),
             QStringLiteral("Marlovine 4410 software transmission (simulated box)"));
    TypePath(MakeFile("complete.bin", 20000));
    // A hidden box checked with Complete: only the complete file counts.
    Control<QCheckBox>(1053)->setChecked(true);
    dialog_->controller().m_strMenuFile = "/no/such/menu.bin";

    StatusSnapshot seen;
    const auto watch = FinishRunAndClose(&seen);
    Click(1002);
    QVERIFY(seen.seen);
    QCOMPARE(seen.results, kSevenOkay);
    QCOMPARE(seen.bar, 2999);
    QCOMPARE(seen.message, QStringLiteral("Box updated"));
    QCOMPARE(seen.button, QStringLiteral("OK"));
    QVERIFY(sink_.boxes.isEmpty());
    QVERIFY(!KeepGoing());
    QCOMPARE(environment->BoxReport().rfind("box received 20000 bytes", 0), 0u);
    QCOMPARE(seen.title, QStringLiteral("File Transfer Status (simulated box)"));
    QCOMPARE(seen.notes, QString::fromStdString(environment->BoxReport()).toHtmlEscaped());
  }

  void startWhileAnEarlierWorkerRunsIsRefusedAndQuitWaitsForIt() {
    SetPortAccessFactory([this] { return std::make_unique<GatedPort>(gate_.get()); });
    Open();
    TypePath(MakeFile("image.bin", 100));

    // The operator closes the status dialog while the worker is still claiming the port.
    auto watch = WhenStatusDialogOpens([](TransferStatusDialog* d) {
      QTest::mouseClick(FindControlAs<QPushButton>(d, 2), Qt::LeftButton);
    });
    Click(1002);
    QVERIFY(!KeepGoing());
    QVERIFY(UpdateWorkerRunning());

    bool second_dialog = false;
    watch = WhenStatusDialogOpens([&second_dialog](TransferStatusDialog* d) {
      second_dialog = true;
      d->OnCancel();
    });
    Click(1002);
    watch.reset();
    QVERIFY(!second_dialog);
    QCOMPARE(sink_.boxes.size(), 1);
    QCOMPARE(sink_.boxes[0].text,
             QStringLiteral("The previous update is still finishing. "
                            "Please press Start again in a moment."));
    QVERIFY(!KeepGoing());  // the refusal did not let the earlier worker go on
    QVERIFY(UpdateWorkerRunning());

    // Quit saves, then shows that it waits, and returns once the worker has ended.
    bool wait_shown = false;
    QTimer::singleShot(0, [&] {
      auto* wait = dialog_->findChild<QDialog*>(QStringLiteral("workerWaitDialog"));
      wait_shown = wait != nullptr && wait->isVisible();
      if (wait != nullptr) QTest::keyClick(wait, Qt::Key_Escape);  // cannot be cancelled
      gate_->Open();
    });
    Click(1017);
    QVERIFY(wait_shown);
    QVERIFY(!UpdateWorkerRunning());
    QVERIFY(!dialog_->isVisible());
    QVERIFY(ReadText(Ini()).contains(QStringLiteral("Software Update Filename Item=")));
    // The run's result, not its cell: the main window follows the run and takes its reports.
    QCOMPARE(StageResult(2), Failed);
  }

  void quitOnceTheImageIsInLeavesAtOnceButNeverWhileItGoesOut() {
    // A real clock: the image takes about half a second to go out, and the box never sends
    // its closing record, so only leaving ends the wait before its ten-minute bound.
    std::string error;
    auto environment = PortEnvironment::Install({"sim", "closing=no,rate=20000", ""}, &error);
    QVERIFY2(environment != nullptr, error.c_str());
    Open(environment.get());
    TypePath(MakeFile("image.bin", 10000));

    // Esc on the status window while the image goes out.
    const auto watch = WhenStatusDialogOpens([](TransferStatusDialog* d) {
      QVERIFY(QTest::qWaitFor([] { return ImageInFlight(); }, 5000));
      QTest::keyClick(d, Qt::Key_Escape);
    });
    Click(1002);
    QVERIFY(UpdateWorkerRunning());

    // Then Quit. While the image goes out the wait cannot be left; once it is in, leave.
    int polls_in_flight = 0;
    QStringList offered_in_flight;
    QString text_when_left;
    QElapsedTimer since_leaving;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
      auto* wait = dialog_->findChild<QDialog*>(QStringLiteral("workerWaitDialog"));
      if (wait == nullptr || !wait->isVisible() || since_leaving.isValid()) return;
      auto* leave = wait->findChild<QPushButton*>(QStringLiteral("leaveNowButton"));
      const QString text = wait->findChild<QLabel*>(QStringLiteral("waitText"))->text();
      if (ImageInFlight()) {
        ++polls_in_flight;
        if (leave->isVisible()) offered_in_flight << text;
        QTest::keyClick(wait, Qt::Key_Escape);  // no way out
        wait->close();
        return;
      }
      if (text != QLatin1String("The box has the whole image and is updating itself; you can leave now.")) return;
      QVERIFY(leave->isVisible());
      // As the operator who finds the box updating itself: the pause after the image is over.
      if (GetStage(BoxUpdated) != Busy) return;
      text_when_left = text;
      since_leaving.start();
      leave->click();
    });
    poll.start(5);
    // Should the window never offer to leave, end the wait anyway so the test fails, not hangs.
    QTimer::singleShot(10000, this, [&since_leaving] {
      if (!since_leaving.isValid()) LeaveUpdate();
    });
    Click(1017);
    const qint64 left_after_ms = since_leaving.isValid() ? since_leaving.elapsed() : -1;
    poll.stop();

    QVERIFY2(polls_in_flight > 0, "the wait began while the image was going out");
    QCOMPARE(offered_in_flight, QStringList());
    QVERIFY(!text_when_left.isEmpty());
    QVERIFY2(left_after_ms >= 0 && left_after_ms < 1000, qPrintable(QString::number(left_after_ms)));
    QVERIFY(!dialog_->isVisible());
    QVERIFY(!UpdateWorkerRunning());
    QCOMPARE(environment->BoxReport().rfind("box received 10000 bytes", 0), 0u);
  }

  void screenChooserOffersTheClassicFiltersAndShowsEveryFile() {
    for (const char* name : {"image.bin", "IMAGE", "notes.txt"}) MakeFile(name, 4);
    QStringList offered;
    const QStringList expected[2] = {{"image.bin"}, {"IMAGE", "image.bin", "notes.txt", "settings"}};
    int filters_checked = 0;
    bool columns_fit = false;
    QTimer::singleShot(0, this, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog != nullptr);
      auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
      auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
      QVERIFY(combo != nullptr && view != nullptr);
      for (int i = 0; i < combo->count(); ++i) offered << combo->itemText(i);
      const auto listed = [view] {
        QStringList names;
        const QModelIndex root = view->rootIndex();
        for (int row = 0; row < view->model()->rowCount(root); ++row) {
          names << view->model()->index(row, 0, root).data().toString();
        }
        names.sort();
        return names;
      };
      for (int i = 0; i < 2 && i < combo->count(); ++i) {
        combo->setCurrentIndex(i);
        emit combo->activated(i);
        QTRY_COMPARE(listed(), expected[i]);
        ++filters_checked;
      }
      // The detail view opens wide enough for the size and date columns, neither cut short.
      const QHeaderView* header = view->header();
      const QFontMetrics metrics(view->font());
      const QString date = view->locale().toString(QDateTime(QDate(2000, 12, 28), QTime(23, 59, 59)),
                                                   QLocale::ShortFormat);
      columns_fit = view->isVisible() && !header->isSectionHidden(1) && !header->isSectionHidden(3) &&
                    header->sectionViewportPosition(3) + header->sectionSize(3) <= view->viewport()->width() &&
                    header->sectionSize(1) > metrics.horizontalAdvance(QStringLiteral("1023.9 KiB")) &&
                    header->sectionSize(3) > metrics.horizontalAdvance(date);
      dialog->reject();
    });
    ScreenFileChooser chooser;
    QString path;
    QVERIFY(!chooser.ChooseFile(nullptr, TempPath("image.bin"), {"Update Files (*.bin)", "All Files (*.*)"}, &path));
    QCOMPARE(offered, (QStringList{"Update Files (*.bin)", "All Files (*.*)"}));
    QCOMPARE(filters_checked, 2);
    QVERIFY(columns_fit);
  }

};

}  // namespace m4410

QTEST_MAIN(m4410::UpdaterDialogTest)
#include "updater_dialog_test.moc"
