// The status window's progress bar: a plain filled bar, as the classic smooth bar draws it.
#pragma once

#include <QProgressBar>

namespace m4410 {

// Qt's own bar repaints only when a change covers a whole chunk of the style, so the small
// steps of an update (119 of 3000 after stage 4, 10 a tick while the box rewrites itself) left
// it blank or moving in jumps. This one repaints on every change and shades the row at the
// edge of the fill by how much of it is covered, so every position looks different.
class PlainProgressBar : public QProgressBar {
  Q_OBJECT

 public:
  explicit PlainProgressBar(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace m4410
