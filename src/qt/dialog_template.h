// The builder that turns a dialog template into Qt widgets, placed in dialog units of the
// template's font.
#pragma once

#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QString>

#include <QWidget>

#include "ui/dialog_template.h"

class QDialog;
class QLineEdit;

namespace m4410 {

// The property every built widget carries with its template ID.
inline constexpr char kControlIdProperty[] = "controlId";

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
