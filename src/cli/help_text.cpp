#include "cli/help_text.h"

#include <string>

#include "cli/cli_args.h"
#include "sim/sim_options.h"

namespace m4410 {

namespace {

constexpr std::size_t kMostIndent = 30;

constexpr char kExitStatusHelp[] =
    "exit status: 0 completed (probe: linked); 2-7 the first stage that failed (probe: 2 port "
    "not opened, 3 no link); 64 command-line error; 66 FILE not a readable, non-empty plain "
    "file; 130 interrupted (Ctrl-C or another end signal, at whatever stage; once the image "
    "is in the box, stage 6 shows as not confirmed, not failed: the box finishes on its "
    "own)\n";

std::string WrapLine(std::string_view line, std::size_t width) {
  std::size_t indent = 0;
  const std::size_t label_end = line.find("  ");
  if (label_end != std::string_view::npos && label_end > 0 && label_end < kMostIndent) {
    indent = line.find_first_not_of(' ', label_end);
    if (indent == std::string_view::npos || indent > kMostIndent) indent = 0;
  }
  std::string out;
  std::string rest(line);
  while (rest.size() > width) {
    // The last space that leaves a line within width, else the first one past it.
    std::size_t cut = rest.rfind(' ', width);
    if (cut == std::string::npos || cut <= indent) cut = rest.find(' ', width);
    if (cut == std::string::npos) break;
    std::size_t head = cut;
    while (head > 0 && rest[head - 1] == ' ') --head;
    const std::size_t next = rest.find_first_not_of(' ', cut);
    if (next == std::string::npos) {
      rest.resize(head);
      break;
    }
    out.append(rest, 0, head);
    out += '\n';
    rest = std::string(indent, ' ') + rest.substr(next);
  }
  return out + rest;
}

}  // namespace

std::string WrapHelp(std::string_view text, std::size_t width) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    const bool newline = end != std::string_view::npos;
    if (!newline) end = text.size();
    out += WrapLine(text.substr(at, end - at), width);
    if (newline) out += '\n';
    at = end + 1;
  }
  return out;
}

std::string HelpText() {
  return WrapHelp(std::string(CliUsage()) + std::string(SimOptionsHelp()) + "\n\n" +
                  kExitStatusHelp);
}

}  // namespace m4410
