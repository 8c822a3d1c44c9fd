#include "qt/help_window.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QVariant>

namespace m4410 {

namespace {

// Qt's rich text knows HTML 4: it reads the pages' <nav>, <main> and <footer> as no element at
// all, and the footer's text runs on into the list above it. As <div>s they stand apart.
class PageBrowser : public QTextBrowser {
 public:
  using QTextBrowser::QTextBrowser;

  QVariant loadResource(int type, const QUrl& name) override {
    QVariant resource = QTextBrowser::loadResource(type, name);
    if (type != QTextDocument::HtmlResource) return resource;
    QString html = resource.typeId() == QMetaType::QString
                       ? resource.toString()
                       : QString::fromUtf8(resource.toByteArray());
    static const QRegularExpression kSections(QStringLiteral("<(/?)(?:nav|main|footer)\\b"));
    return html.replace(kSections, QStringLiteral("<\\1div"));
  }
};

class HelpWindowWidget : public QDialog {
 public:
  explicit HelpWindowWidget(QWidget* parent) : QDialog(parent, Qt::Window) {
    setObjectName(QStringLiteral("helpWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    browser_ = new PageBrowser(this);
    browser_->setObjectName(QStringLiteral("helpBrowser"));
    browser_->setOpenExternalLinks(true);

    auto* back = new QPushButton(QStringLiteral("&Back"), this);
    auto* contents = new QPushButton(QStringLiteral("C&ontents"), this);
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    back->setEnabled(false);
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(contents, &QPushButton::clicked, this,
            [this] { browser_->setSource(browser_->source().resolved(QUrl(QStringLiteral("index.html")))); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(browser_, &QTextBrowser::sourceChanged, this,
            [this] { setWindowTitle(browser_->documentTitle()); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(contents);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_);
    layout->addLayout(buttons);
    resize(720, 560);
  }

  QTextBrowser* browser() const { return browser_; }

 private:
  QTextBrowser* browser_ = nullptr;
};

QPointer<HelpWindowWidget>& Window() {
  static QPointer<HelpWindowWidget> window;
  return window;
}

}  // namespace

bool ShowHelpWindow(const QUrl& page) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return false;
  // A modal dialog blocks every window but its own, so the help window belongs to the one
  // running now (the status window's link to the help); otherwise it stands alone.
  QWidget* owner = QApplication::activeModalWidget();
  QPointer<HelpWindowWidget>& window = Window();
  if (window != nullptr && window->parentWidget() != owner) {
    delete window.data();
  }
  if (window == nullptr) window = new HelpWindowWidget(owner);

  window->browser()->setSource(page);
  if (window->browser()->document()->isEmpty()) {
    window->close();
    return false;
  }
  window->show();
  window->raise();
  window->activateWindow();
  return true;
}

QWidget* HelpWindow() { return Window().data(); }

}  // namespace m4410
