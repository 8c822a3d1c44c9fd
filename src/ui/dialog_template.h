// Dialog templates as data: each control with its ID, kind, text, place in dialog units and
// styles, read from the JSON templates in res/ that every windowing system builds from.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace m4410 {

struct DialogRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool IsValid() const { return width > 0 && height > 0; }
  bool operator==(const DialogRect&) const = default;
};

struct ControlTemplate {
  int id = 0;
  std::string kind;  // pushbutton, defpushbutton, autocheckbox, edit, static, picture, progress
  std::string text;
  int image = 0;     // bitmap resource of a picture
  DialogRect rect;   // dialog units
  bool visible = true;
  std::vector<std::string> styles;
  std::vector<std::string> ex_styles;

  bool HasStyle(std::string_view style) const;
};

struct DialogTemplate {
  int id = 0;
  std::string caption;
  int width = 0;  // dialog units
  int height = 0;
  std::string font_face;
  int font_points = 8;
  std::vector<std::string> styles;
  std::vector<std::string> ex_styles;
  std::vector<ControlTemplate> controls;

  bool IsEmpty() const { return controls.empty(); }
  bool HasStyle(std::string_view style) const;
  // The first control with this ID in template order, or null.
  const ControlTemplate* Control(int id) const;
};

// Parses a template; a garbled one gives an empty template rather than a half-built one.
DialogTemplate ParseDialogTemplate(std::string_view json);
// One of the templates built into the program (102 main, 103 status); empty for another ID.
DialogTemplate LoadDialogTemplate(int id);

}  // namespace m4410
