// Where the main dialog's message boxes go: on screen in the program, to a recorder in tests.
#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace m4410 {

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // A box with one OK button, owned by owner; returns once the operator has closed it.
  virtual void Show(QWidget* owner, const QString& title, const QString& text,
                    QMessageBox::Icon icon) = 0;
};

class ScreenMessageSink : public MessageSink {
 public:
  void Show(QWidget* owner, const QString& title, const QString& text,
            QMessageBox::Icon icon) override;
};

}  // namespace m4410
