#include "qt/toolkit_words.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace m4410 {

namespace {

// Qt's application classes, its platform plugins and its QML debugger, as Qt 6 reads them.
constexpr std::array<std::string_view, 17> kWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowicon", "qwindowtitle", "session", "style", "stylesheet", "qmljsdebugger",
    "display", "geometry", "icon", "name", "title", "visual"};
constexpr std::array<std::string_view, 3> kJoinedValue = {"style=", "stylesheet=",
                                                          "qmljsdebugger="};
constexpr std::array<std::string_view, 8> kFlags = {"reverse", "testability", "widgetcount",
                                                    "nograb", "dograb", "sync", "qdevel",
                                                    "qdebug"};

template <typename List>
bool Listed(const List& list, std::string_view name) {
  return std::find(list.begin(), list.end(), name) != list.end();
}

}  // namespace

std::vector<std::string> WordsQtLeaves(const std::vector<std::string>& words) {
  std::vector<std::string> left;
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::string_view name = words[i];
    if (name.size() < 2 || name[0] != '-') {
      left.push_back(words[i]);
      continue;
    }
    name.remove_prefix(name.rfind("--", 0) == 0 ? 2 : 1);
    const auto joined = [name](std::string_view prefix) {
      return name.size() > prefix.size() && name.rfind(prefix, 0) == 0;
    };
    if (Listed(kFlags, name) ||
        std::any_of(kJoinedValue.begin(), kJoinedValue.end(), joined)) {
      continue;
    }
    if (Listed(kWithValue, name) && i + 1 < words.size()) {
      ++i;
      continue;
    }
    left.push_back(words[i]);
  }
  return left;
}

}  // namespace m4410
