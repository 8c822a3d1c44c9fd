#include "cli/console_redraw.h"

namespace m4410 {

std::string RedrawnLine(Redraw how, const std::string& text, std::size_t shown) {
  if (how == Redraw::Escapes) return "\r\033[K" + text;
  // Spaces cover what a longer line before left behind.
  return "\r" + text + std::string(shown > text.size() ? shown - text.size() : 0, ' ');
}

std::string ClearedLine(Redraw how, std::size_t shown) {
  if (how == Redraw::Escapes) return "\r\033[K";
  return "\r" + std::string(shown, ' ') + "\r";
}

}  // namespace m4410
