// Dialog templates as data: each control with its ID, kind, text, place in dialog units and
// styles, and the builder that turns a template into Qt widgets.
#pragma once

#include <QByteArray>
#include <QFont>
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <QWidget>

class QDialog;
class QLineEdit;

namespace m4410 {

// The property every built widget carries with its template ID.
inline constexpr char kControlIdProperty[] = "controlId";

struct ControlTemplate {
  int id = 0;
  QString kind;  // pushbutton, defpushbutton, autocheckbox, edit, static, picture, progress
  QString text;
  int image = 0;  // bitmap resource of a picture
  QRect rect;     // dialog units
  bool visible = true;
  QStringList styles;
  QStringList ex_styles;

  bool HasStyle(const QString& style) const { return styles.contains(style); }
};

struct DialogTemplate {
  int id = 0;
  QString caption;
  QSize size;  // dialog units
  QString font_face;
  int font_points = 8;
  QStringList styles;
  QStringList ex_styles;
  QList<ControlTemplate> controls;

  bool IsEmpty() const { return controls.isEmpty(); }
  bool HasStyle(const QString& style) const { return styles.contains(style); }
};

// Parses a template; a garbled one gives an empty template rather than a half-built one.
DialogTemplate ParseDialogTemplate(const QByteArray& json);
// The template shipped with the program as ":/res/dialog_<id>.json".
DialogTemplate LoadDialogTemplate(int id);

// The font a template names, with the usual stand-ins where that face is not installed.
QFont DialogFont(const DialogTemplate& dialog_template);
// Dialog base units of a font: the average character width and the character height in
// pixels. A horizontal dialog unit is a quarter of the first, a vertical one an eighth of the
// second.
QSize DialogBaseUnits(const QFont& font);
QRect MapDialogRect(const QRect& dialog_units, QSize base_units);

// Makes the template's controls as children of dialog, sets the dialog's caption, font,
// window decorations and fixed size. Controls created without the visible style stay hidden.
void BuildDialog(QDialog* dialog, const DialogTemplate& dialog_template);

// Makes an edit read-only or editable; a read-only edit is drawn on the dialog's own
// background, as the classic dialogs show one that cannot be typed into.
void SetEditReadOnly(QLineEdit* edit, bool read_only);

// The widget built for a control ID (the first in template order), or null.
QWidget* FindControl(const QWidget* dialog, int id);
template <typename T>
T* FindControlAs(const QWidget* dialog, int id) {
  return qobject_cast<T*>(FindControl(dialog, id));
}

// Icon 159 (32 by 32 and 16 by 16) and bitmap 130 (153 by 45).
QIcon AppIcon();
QPixmap ResourceBitmap(int id);

}  // namespace m4410
