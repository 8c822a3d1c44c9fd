#include "ui/dialog_template.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "ui/dialog_template_sources.h"
#include "ui/main_dialog_ids.h"
#include "ui/status_dialog_ids.h"

namespace m4410 {

namespace {

using Json = nlohmann::json;

bool Contains(const std::vector<std::string>& list, std::string_view item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

std::vector<std::string> StringList(const Json& object, const char* key) {
  std::vector<std::string> out;
  const auto found = object.find(key);
  if (found == object.end() || !found->is_array()) return out;
  for (const Json& item : *found) {
    if (item.is_string()) out.push_back(item.get<std::string>());
  }
  return out;
}

template <typename T>
T Get(const Json& object, const char* key, T fallback) {
  const auto found = object.find(key);
  if (found == object.end()) return fallback;
  if constexpr (std::is_same_v<T, int>) {
    return found->is_number_integer() ? found->get<int>() : fallback;
  } else if constexpr (std::is_same_v<T, bool>) {
    return found->is_boolean() ? found->get<bool>() : fallback;
  } else {
    return found->is_string() ? found->get<std::string>() : fallback;
  }
}

// [x, y, width, height], or an invalid rectangle.
DialogRect RectFrom(const Json& object) {
  const auto found = object.find("rect");
  if (found == object.end() || !found->is_array() || found->size() != 4) return {};
  for (const Json& n : *found) {
    if (!n.is_number_integer()) return {};
  }
  return {(*found)[0].get<int>(), (*found)[1].get<int>(), (*found)[2].get<int>(),
          (*found)[3].get<int>()};
}

}  // namespace

bool ControlTemplate::HasStyle(std::string_view style) const { return Contains(styles, style); }
bool DialogTemplate::HasStyle(std::string_view style) const { return Contains(styles, style); }

const ControlTemplate* DialogTemplate::Control(int control_id) const {
  for (const ControlTemplate& c : controls) {
    if (c.id == control_id) return &c;
  }
  return nullptr;
}

DialogTemplate ParseDialogTemplate(std::string_view json) {
  const Json root = Json::parse(json, nullptr, /*allow_exceptions=*/false);
  if (!root.is_object()) return {};
  DialogTemplate t;
  t.id = Get(root, "id", 0);
  t.caption = Get(root, "caption", std::string());
  const auto size = root.find("size");
  if (size == root.end() || !size->is_array() || size->size() != 2 ||
      !(*size)[0].is_number_integer() || !(*size)[1].is_number_integer()) {
    return {};
  }
  t.width = (*size)[0].get<int>();
  t.height = (*size)[1].get<int>();
  if (const auto font = root.find("font"); font != root.end() && font->is_object()) {
    t.font_face = Get(*font, "face", std::string());
    t.font_points = Get(*font, "points", 8);
  }
  t.styles = StringList(root, "styles");
  t.ex_styles = StringList(root, "exStyles");
  const auto controls = root.find("controls");
  if (controls == root.end() || !controls->is_array()) return {};
  for (const Json& o : *controls) {
    if (!o.is_object()) return {};
    ControlTemplate c;
    c.id = Get(o, "id", 0);
    c.kind = Get(o, "kind", std::string());
    c.text = Get(o, "text", std::string());
    c.image = Get(o, "image", 0);
    c.rect = RectFrom(o);
    c.visible = Get(o, "visible", true);
    c.styles = StringList(o, "styles");
    c.ex_styles = StringList(o, "exStyles");
    if (c.kind.empty() || !c.rect.IsValid()) return {};
    t.controls.push_back(std::move(c));
  }
  return t;
}

DialogTemplate LoadDialogTemplate(int id) {
  switch (id) {
    case kMainDialogTemplate: return ParseDialogTemplate(kDialogTemplate102);
    case kStatusDialogTemplate: return ParseDialogTemplate(kDialogTemplate103);
    default: return {};
  }
}

}  // namespace m4410
