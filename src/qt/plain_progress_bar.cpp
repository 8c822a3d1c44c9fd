#include "qt/plain_progress_bar.h"

#include <QPainter>
#include <QPalette>
#include <QtWidgets/qdrawutil.h>
#include <cmath>

namespace m4410 {

namespace {

constexpr int kEdge = 2;  // the sunken border of a bordered bar with a modal-frame edge

QColor Mix(const QColor& from, const QColor& to, double share) {
  const auto channel = [share](int a, int b) {
    return static_cast<int>(std::lround(a + (b - a) * share));
  };
  return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()),
                channel(from.blue(), to.blue()));
}

}  // namespace

PlainProgressBar::PlainProgressBar(QWidget* parent) : QProgressBar(parent) {
  setTextVisible(false);
  connect(this, &QProgressBar::valueChanged, this, qOverload<>(&QWidget::update));
}

void PlainProgressBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& colors = palette();
  qDrawShadePanel(&painter, rect(), colors, /*sunken=*/true, kEdge);
  const QRect inside = rect().adjusted(kEdge, kEdge, -kEdge, -kEdge);
  if (inside.isEmpty()) return;
  const QColor empty = colors.color(QPalette::Base);
  const QColor full = colors.color(QPalette::Highlight);
  painter.fillRect(inside, empty);

  const double span = static_cast<double>(maximum()) - minimum();
  const double share =
      span > 0 ? qBound(0.0, (static_cast<double>(value()) - minimum()) / span, 1.0) : 0.0;
  const bool vertical = orientation() == Qt::Vertical;
  const int length = vertical ? inside.height() : inside.width();
  const double filled = share * length;
  const int whole = static_cast<int>(std::floor(filled));
  const double part = filled - whole;

  // Vertical bars fill upwards from the bottom, horizontal ones rightwards from the left.
  const auto band = [&](int from, int extent) {
    return vertical ? QRect(inside.left(), inside.bottom() + 1 - from - extent, inside.width(), extent)
                    : QRect(inside.left() + from, inside.top(), extent, inside.height());
  };
  if (whole > 0) painter.fillRect(band(0, whole), full);
  if (whole < length && part > 0) painter.fillRect(band(whole, 1), Mix(empty, full, part));
}

}  // namespace m4410

#include "moc_plain_progress_bar.cpp"
