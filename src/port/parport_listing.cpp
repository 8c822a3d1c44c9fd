#include "port/parport_listing.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <utility>

#include "port/system_primitives.h"

namespace m4410 {

namespace {

constexpr std::uint16_t kStandardBase = 0x378;
constexpr std::uint16_t kStandardExtended = 0x778;
constexpr unsigned kExtendedDistance = 0x400;  // where the ECP registers sit on a built-in port

constexpr const char* kProcParportDir = "/proc/sys/dev/parport";
constexpr const char* kSysParportDir = "/sys/class/parport";

std::string_view Trim(std::string_view text) {
  const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return text;
}

bool ParseUnsigned(std::string_view text, int base, unsigned long* value) {
  if (text.empty()) return false;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), *value, base);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// The number N of "parportN", or nothing for any other name.
std::optional<unsigned long> ParportNumber(std::string_view name) {
  constexpr std::string_view kPrefix = "parport";
  if (name.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  unsigned long number = 0;
  if (!ParseUnsigned(name.substr(kPrefix.size()), 10, &number)) return std::nullopt;
  return number;
}

bool MentionsEcp(std::string_view text) {
  for (std::size_t i = 0; i + 3 <= text.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(text[i])) == 'E' &&
        std::toupper(static_cast<unsigned char>(text[i + 1])) == 'C' &&
        std::toupper(static_cast<unsigned char>(text[i + 2])) == 'P') {
      return true;
    }
  }
  return false;
}

// The kernel's modes as one word, "PCSPP,TRISTATE": its file ends in a newline.
std::string ModesText(std::string_view text) { return std::string(Trim(text)); }

bool NumberOrder(const ParportEntry& a, const ParportEntry& b) {
  const auto na = ParportNumber(a.name);
  const auto nb = ParportNumber(b.name);
  if (na && nb && *na != *nb) return *na < *nb;
  return a.name < b.name;
}

struct IoRange {
  unsigned long first = 0;
  unsigned long last = 0;
};

// Resolves one port's /proc/ioports ranges into its standard and extended range.
ParportEntry ResolveRanges(const std::string& name, std::vector<IoRange> plain,
                           const std::vector<IoRange>& marked_extended) {
  ParportEntry entry;
  entry.name = name;
  std::sort(plain.begin(), plain.end(),
            [](const IoRange& a, const IoRange& b) { return a.first < b.first; });
  // The kernel books the standard range in two pieces (base..+2, base+3..+7); join them.
  std::vector<IoRange> blocks;
  for (const IoRange& range : plain) {
    if (!blocks.empty() && range.first <= blocks.back().last + 1) {
      blocks.back().last = std::max(blocks.back().last, range.last);
    } else {
      blocks.push_back(range);
    }
  }
  std::optional<unsigned long> base;
  std::optional<unsigned long> extended;
  if (!marked_extended.empty()) {
    extended = marked_extended.front().first;
    for (const IoRange& range : marked_extended) extended = std::min(*extended, range.first);
  }
  if (!blocks.empty()) {
    // A block exactly 0x400 above another is the built-in layout's extended range.
    for (const IoRange& low : blocks) {
      for (const IoRange& high : blocks) {
        if (!base && high.first == low.first + kExtendedDistance) {
          base = low.first;
          if (!extended) extended = high.first;
        }
      }
    }
    if (!base) {
      // Otherwise the standard range is the longest block (8 ports against the ECP's 3),
      // the lowest on a tie, and the next other block the extended range.
      const IoRange* standard = &blocks.front();
      for (const IoRange& block : blocks) {
        if (block.last - block.first > standard->last - standard->first) standard = &block;
      }
      base = standard->first;
      for (const IoRange& block : blocks) {
        if (!extended && &block != standard) extended = block.first;
      }
    }
  } else if (extended && *extended >= kExtendedDistance) {
    // Only the extended range is booked: the standard one is then 0x400 below it.
    base = *extended - kExtendedDistance;
  }
  entry.base = static_cast<std::uint16_t>(base.value_or(0));
  if (extended) entry.extended = static_cast<std::uint16_t>(*extended);
  entry.port_option = PortOptionFor(entry.base, entry.extended);
  return entry;
}

}  // namespace

ParportEntry ParportFromRanges(const std::string& name,
                               const std::vector<std::pair<unsigned long, unsigned long>>& ranges) {
  std::vector<IoRange> plain;
  for (const auto& [first, last] : ranges) plain.push_back({first, last});
  return ResolveRanges(name, plain, {});
}

bool ModesIncludeEcp(std::string_view modes) {
  while (!modes.empty()) {
    const std::size_t comma = modes.find(',');
    if (Trim(modes.substr(0, comma)) == "ECP") return true;
    if (comma == std::string_view::npos) break;
    modes.remove_prefix(comma + 1);
  }
  return false;
}

std::string HexPort(unsigned port) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, port, 16);
  return "0x" + std::string(digits, result.ptr);
}

std::string PortOptionFor(std::uint16_t base, std::optional<std::uint16_t> extended) {
  if (base == kStandardBase && (!extended || *extended == kStandardExtended)) return "lpt";
  std::string option = "lpt:" + HexPort(base);
  if (extended) option += "," + HexPort(*extended);
  return option;
}

std::optional<ParportBaseAddr> ParseParportBaseAddr(std::string_view text) {
  std::vector<unsigned long> numbers;
  text = Trim(text);
  while (!text.empty() && numbers.size() < 2) {
    std::size_t end = 0;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
    std::string_view word = text.substr(0, end);
    int radix = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
      word.remove_prefix(2);
      radix = 16;
    }
    unsigned long value = 0;
    if (!ParseUnsigned(word, radix, &value)) return std::nullopt;
    numbers.push_back(value);
    text = Trim(text.substr(end));
  }
  // Ports outside the 16-bit I/O space belong to memory-mapped parports, which raw port
  // access cannot reach.
  if (numbers.empty() || numbers[0] == 0 || numbers[0] > 0xFFFF) return std::nullopt;
  ParportBaseAddr result;
  result.base = static_cast<std::uint16_t>(numbers[0]);
  if (numbers.size() > 1 && numbers[1] != 0 && numbers[1] <= 0xFFFF) {
    result.extended = static_cast<std::uint16_t>(numbers[1]);
  }
  return result;
}

std::vector<ParportEntry> ParseIoports(std::string_view text) {
  struct Ranges {
    std::vector<IoRange> plain;
    std::vector<IoRange> extended;
  };
  std::map<std::string, Ranges> ports;
  std::vector<std::pair<std::size_t, bool>> parents;  // indent, names an ECP range
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);

    std::size_t indent = 0;
    while (indent < line.size() && line[indent] == ' ') ++indent;
    const std::size_t colon = line.find(" : ");
    const std::size_t dash = line.find('-', indent);
    if (colon == std::string_view::npos || dash == std::string_view::npos || dash > colon) continue;
    unsigned long first = 0;
    unsigned long last = 0;
    if (!ParseUnsigned(Trim(line.substr(indent, dash - indent)), 16, &first) ||
        !ParseUnsigned(Trim(line.substr(dash + 1, colon - dash - 1)), 16, &last)) {
      continue;
    }
    const std::string_view label = Trim(line.substr(colon + 3));

    while (!parents.empty() && parents.back().first >= indent) parents.pop_back();
    const bool under_ecp = std::any_of(parents.begin(), parents.end(),
                                       [](const auto& parent) { return parent.second; });
    parents.emplace_back(indent, MentionsEcp(label));

    std::size_t name_end = 0;
    while (name_end < label.size() && std::isalnum(static_cast<unsigned char>(label[name_end]))) {
      ++name_end;
    }
    const std::string_view name = label.substr(0, name_end);
    if (!ParportNumber(name) || last < first || last > 0xFFFF) continue;
    if (first == 0 && last == 0) continue;
    Ranges& ranges = ports[std::string(name)];
    if (under_ecp || MentionsEcp(label.substr(name_end))) {
      ranges.extended.push_back({first, last});
    } else {
      ranges.plain.push_back({first, last});
    }
  }
  std::vector<ParportEntry> entries;
  for (auto& [name, ranges] : ports) {
    ParportEntry entry = ResolveRanges(name, std::move(ranges.plain), ranges.extended);
    if (entry.base != 0) entries.push_back(std::move(entry));
  }
  std::sort(entries.begin(), entries.end(), NumberOrder);
  return entries;
}

std::vector<ParportEntry> KernelListedPorts(const std::vector<KernelParportFile>& files) {
  std::vector<ParportEntry> listed;
  for (const KernelParportFile& file : files) {
    const auto address = ParseParportBaseAddr(file.base_addr);
    if (!address) continue;
    ParportEntry entry;
    entry.name = file.name;
    entry.base = address->base;
    entry.extended = address->extended;
    entry.port_option = PortOptionFor(entry.base, entry.extended);
    listed.push_back(std::move(entry));
  }
  return listed;
}

std::vector<ParportEntry> BuildParportListing(std::string_view ioports,
                                              const std::vector<KernelParportFile>& files) {
  std::vector<ParportEntry> entries;
  const auto known = [&entries](const std::string& name) {
    return std::any_of(entries.begin(), entries.end(),
                       [&name](const ParportEntry& entry) { return entry.name == name; });
  };
  for (ParportEntry& entry : KernelListedPorts(files)) {
    if (!known(entry.name)) entries.push_back(std::move(entry));
  }
  for (ParportEntry& entry : ParseIoports(ioports)) {
    if (!known(entry.name)) entries.push_back(std::move(entry));
  }
  for (ParportEntry& entry : entries) {
    for (const KernelParportFile& file : files) {
      if (file.name == entry.name) entry.modes = ModesText(file.modes);
    }
  }
  std::sort(entries.begin(), entries.end(), NumberOrder);
  return entries;
}

std::vector<KernelParportFile> ReadKernelParportFiles(SystemPrimitives& system) {
  std::vector<KernelParportFile> files;
  const auto add_from = [&](const std::string& folder, const char* file_name) {
    for (const std::string& name : system.ListDirectory(folder)) {
      if (!ParportNumber(name)) continue;  // procfs also holds "default"
      const std::string path = folder + "/" + name + "/";
      const auto text = system.ReadTextFile(path + file_name);
      auto same = std::find_if(files.begin(), files.end(),
                               [&name](const KernelParportFile& f) { return f.name == name; });
      if (same == files.end()) {
        files.push_back({name, text.value_or(""), {}});
        same = files.end() - 1;
      } else if (same->base_addr.empty() && text) {
        same->base_addr = *text;
      }
      if (same->modes.empty()) same->modes = system.ReadTextFile(path + "modes").value_or("");
    }
  };
  add_from(kProcParportDir, "base-addr");
  add_from(kSysParportDir, "base_addr");
  return files;
}

std::vector<ParportEntry> ListParallelPorts(SystemPrimitives& system) {
  const std::string ioports = system.ReadTextFile("/proc/ioports").value_or("");
  return BuildParportListing(ioports, ReadKernelParportFiles(system));
}

std::vector<std::string> FormatParportListing(const std::vector<ParportEntry>& entries) {
  if (entries.empty()) return {"no parallel ports found", NoParallelPortsHint()};
  std::vector<std::string> lines;
  for (const ParportEntry& entry : entries) {
    std::string line = entry.name + ": base " + HexPort(entry.base) + ", extended ";
    line += entry.extended ? HexPort(*entry.extended) : std::string("unknown");
    if (!entry.modes.empty()) {
      line += ", modes " + entry.modes;
      if (!ModesIncludeEcp(entry.modes)) line += " (no ECP)";
    }
    line += "  --port " + entry.port_option;
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace m4410
