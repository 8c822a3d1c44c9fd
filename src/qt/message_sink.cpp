#include "qt/message_sink.h"

namespace m4410 {

void ScreenMessageSink::Show(QWidget* owner, const QString& title, const QString& text,
                             QMessageBox::Icon icon) {
  QMessageBox box(icon, title, text, QMessageBox::Ok, owner);
  box.exec();
}

}  // namespace m4410
