#include "qt/dialog_template.h"

#include <QCheckBox>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QApplication>
#include <QPushButton>
#include <cmath>

#include "qt/plain_progress_bar.h"

// Resources live in a static library, so they are registered explicitly before first use.
static void InitMarlovineResources() { Q_INIT_RESOURCE(marlovine); }

namespace m4410 {

namespace {

void EnsureResources() {
  static const bool done = (InitMarlovineResources(), true);
  (void)done;
}

// MulDiv as the platform rounds it: to nearest, halves away from zero.
int MulDiv(int value, int numerator, int denominator) {
  return static_cast<int>(std::lround(static_cast<double>(value) * numerator / denominator));
}

QString Text(const std::string& text) { return QString::fromStdString(text); }

QRect ToQRect(const DialogRect& r) { return QRect(r.x, r.y, r.width, r.height); }

QWidget* MakeControl(const ControlTemplate& c, QWidget* parent) {
  QWidget* widget = nullptr;
  if (c.kind == "pushbutton" || c.kind == "defpushbutton") {
    auto* button = new QPushButton(Text(c.text), parent);
    button->setAutoDefault(true);
    button->setDefault(c.kind == "defpushbutton" || c.HasStyle("BS_DEFPUSHBUTTON"));
    widget = button;
  } else if (c.kind == "autocheckbox") {
    widget = new QCheckBox(Text(c.text), parent);
  } else if (c.kind == "edit") {
    auto* edit = new QLineEdit(Text(c.text), parent);
    edit->setFrame(c.HasStyle("WS_BORDER"));
    SetEditReadOnly(edit, c.HasStyle("ES_READONLY"));
    widget = edit;
  } else if (c.kind == "picture") {
    auto* label = new QLabel(parent);
    label->setPixmap(ResourceBitmap(c.image));
    widget = label;
  } else if (c.kind == "progress") {
    auto* bar = new PlainProgressBar(parent);
    bar->setOrientation(c.HasStyle("PBS_VERTICAL") ? Qt::Vertical : Qt::Horizontal);
    bar->setTextVisible(false);
    bar->setRange(0, 100);
    bar->setValue(0);
    widget = bar;
  } else {  // static text
    auto* label = new QLabel(Text(c.text), parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    widget = label;
  }
  const bool tab_stop = c.HasStyle("WS_TABSTOP");
  if (qobject_cast<QLabel*>(widget) || qobject_cast<QProgressBar*>(widget)) {
    widget->setFocusPolicy(Qt::NoFocus);
  } else {
    widget->setFocusPolicy(tab_stop ? Qt::StrongFocus : Qt::ClickFocus);
  }
  widget->setProperty(kControlIdProperty, c.id);
  return widget;
}

}  // namespace

QFont DialogFont(const DialogTemplate& dialog_template) {
  static const bool substituted = [] {
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"),
                                QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                                QStringLiteral("DejaVu Sans")});
    return true;
  }();
  (void)substituted;
  QFont font(Text(dialog_template.font_face));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(dialog_template.font_points > 0 ? dialog_template.font_points : 8);
  return font;
}

QSize DialogBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The platform's average: the width of the 52 letters over 26, halved with rounding.
  const int letters =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  const int average = (letters / 26 + 1) / 2;
  return QSize(qMax(1, average), qMax(1, metrics.height()));
}

QRect MapDialogRect(const QRect& dialog_units, QSize base_units) {
  const int left = MulDiv(dialog_units.x(), base_units.width(), 4);
  const int top = MulDiv(dialog_units.y(), base_units.height(), 8);
  const int right = MulDiv(dialog_units.x() + dialog_units.width(), base_units.width(), 4);
  const int bottom = MulDiv(dialog_units.y() + dialog_units.height(), base_units.height(), 8);
  return QRect(left, top, right - left, bottom - top);
}

void BuildDialog(QDialog* dialog, const DialogTemplate& t) {
  const QFont font = DialogFont(t);
  dialog->setFont(font);
  const QSize base = DialogBaseUnits(font);

  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
  if (t.HasStyle("WS_CAPTION")) flags |= Qt::WindowTitleHint;
  if (t.HasStyle("WS_SYSMENU")) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (t.HasStyle("WS_MINIMIZEBOX")) flags |= Qt::WindowMinimizeButtonHint;
  if (t.HasStyle("WS_MAXIMIZEBOX")) flags |= Qt::WindowMaximizeButtonHint;
  dialog->setWindowFlags(flags);
  dialog->setWindowTitle(Text(t.caption));

  for (const ControlTemplate& c : t.controls) {
    QWidget* widget = MakeControl(c, dialog);
    QRect place = MapDialogRect(ToQRect(c.rect), base);
    if (c.kind == "picture") {
      // The control takes the size of its bitmap.
      const QPixmap pixmap = ResourceBitmap(c.image);
      if (!pixmap.isNull()) place.setSize(pixmap.size());
    }
    widget->setGeometry(place);
    widget->setHidden(!c.visible);
  }
  dialog->setFixedSize(MapDialogRect(QRect(0, 0, t.width, t.height), base).size());
}

void SetEditReadOnly(QLineEdit* edit, bool read_only) {
  if (edit == nullptr) return;
  edit->setReadOnly(read_only);
  QPalette palette = edit->palette();
  const QPalette standard = QApplication::palette(edit);
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Base,
                     read_only ? standard.color(group, QPalette::Window) : standard.color(group, QPalette::Base));
  }
  edit->setPalette(palette);
}

QWidget* FindControl(const QWidget* dialog, int id) {
  if (dialog == nullptr) return nullptr;
  for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    const QVariant value = child->property(kControlIdProperty);
    if (value.isValid() && value.toInt() == id) return child;
  }
  return nullptr;
}

QIcon AppIcon() {
  EnsureResources();
  QIcon icon;
  icon.addFile(QStringLiteral(":/res/icon_159_32.png"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/res/icon_159_16.png"), QSize(16, 16));
  return icon;
}

QPixmap ResourceBitmap(int id) {
  EnsureResources();
  return QPixmap(QStringLiteral(":/res/bitmap_%1.png").arg(id));
}

}  // namespace m4410
