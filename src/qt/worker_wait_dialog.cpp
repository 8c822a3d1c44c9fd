#include "qt/worker_wait_dialog.h"

#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "qt/updater_app.h"
#include "run/update_worker.h"
#include "ui/worker_wait.h"

namespace m4410 {

namespace {

class WorkerWaitDialog : public QDialog {
 public:
  WorkerWaitDialog(QWidget* parent, bool image_seen_in_box)
      : QDialog(parent), wait_(image_seen_in_box) {
    setWindowTitle(parent != nullptr ? parent->windowTitle()
                                     : QString::fromLatin1(UpdaterApp::kAppName));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowModality(Qt::ApplicationModal);
    setObjectName(QStringLiteral("workerWaitDialog"));
    auto* layout = new QVBoxLayout(this);
    text_ = new QLabel(this);
    text_->setObjectName(QStringLiteral("waitText"));
    text_->setWordWrap(true);
    text_->setMinimumWidth(360);
    layout->addWidget(text_);
    auto* bar = new QProgressBar(this);
    bar->setRange(0, 0);  // busy: the remaining time is not known
    bar->setTextVisible(false);
    layout->addWidget(bar);
    leave_ = new QPushButton(QStringLiteral("&Leave now"), this);
    leave_->setObjectName(QStringLiteral("leaveNowButton"));
    layout->addWidget(leave_, 0, Qt::AlignRight);
    connect(leave_, &QPushButton::clicked, this, [this] {
      wait_.Leave();
      Refresh();
    });
    Refresh();
  }

  void Refresh() {
    const WorkerWaitShown shown = wait_.Poll();
    text_->setText(QString::fromLatin1(shown.text.c_str()));
    leave_->setVisible(shown.leave_shown);
    leave_->setEnabled(shown.leave_enabled);
    if (shown.leave_shown && shown.leave_enabled && !leave_->hasFocus()) leave_->setFocus();
    adjustSize();
  }

 protected:
  void reject() override {}  // Esc and the close box do not end the wait; Leave now does
  void closeEvent(QCloseEvent* event) override { event->ignore(); }

 private:
  WorkerWait wait_;
  QLabel* text_ = nullptr;
  QPushButton* leave_ = nullptr;
};

}  // namespace

void WaitForWorkerToFinish(QWidget* owner, bool image_seen_in_box) {
  if (UpdateWorkerRunning()) {
    WorkerWaitDialog wait(owner, image_seen_in_box);
    wait.show();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&loop, &wait] {
      if (!UpdateWorkerRunning()) {
        loop.quit();
      } else {
        wait.Refresh();
      }
    });
    poll.start(50);
    if (UpdateWorkerRunning()) loop.exec();
  }
  WaitForUpdateWorker();
}

}  // namespace m4410
