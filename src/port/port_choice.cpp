#include "port/port_choice.h"

#include <cctype>
#include <cstdint>

#include "port/parport_listing.h"

namespace m4410 {

namespace {

constexpr unsigned long kPortSpace = 0x10000;  // I/O ports run 0..0xffff
constexpr unsigned long kStandardPorts = 8;
constexpr unsigned long kExtendedPorts = 3;
constexpr unsigned long kExtendedDistance = 0x400;
constexpr std::string_view kUsage = "use lpt, lpt:BASE[,ECPBASE] or sim";

PortChoiceResult Fail(std::string message) { return {std::nullopt, std::move(message)}; }

bool AllDigits(std::string_view text, bool hexadecimal) {
  if (text.empty()) return false;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (!(hexadecimal ? std::isxdigit(u) : std::isdigit(u))) return false;
  }
  return true;
}

// "0x378" or "888" below 0x10000 into *value; otherwise the message naming what is wrong,
// with what = "port base" or "extended base".
std::string ParseAddress(std::string_view text, std::string_view what, unsigned long* value) {
  const std::string quoted = std::string(what) + " '" + std::string(text) + "'";
  if (text.empty()) return std::string(what) + " is empty";
  int radix = 10;
  std::string_view digits = text;
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    radix = 16;
    digits.remove_prefix(2);
    if (!AllDigits(digits, true)) {
      return quoted + " is not a hexadecimal number (write it as 0x378)";
    }
  } else if (!AllDigits(digits, false)) {
    return quoted + " is not a number (write it as 0x378 or 888)";
  } else if (digits.size() > 1 && digits[0] == '0') {
    // Such numbers are often meant as hexadecimal; reading them as decimal would silently
    // pick another port.
    std::string_view significant = digits;
    while (significant.size() > 1 && significant[0] == '0') significant.remove_prefix(1);
    return quoted + " is ambiguous: write 0x" + std::string(significant) +
           " for hexadecimal, or the decimal number without leading zeros";
  }
  unsigned long result = 0;
  for (char c : digits) {
    const int digit = std::isdigit(static_cast<unsigned char>(c))
                          ? c - '0'
                          : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    result = result * static_cast<unsigned long>(radix) + static_cast<unsigned long>(digit);
    if (result >= kPortSpace) return quoted + " is beyond the last I/O port 0xffff";
  }
  *value = result;
  return {};
}

// Checks one range; the message names it with what ("port base" or "extended base").
std::string CheckRange(unsigned long first, unsigned long ports, std::string_view what) {
  if (first == 0) return std::string(what) + " must not be 0";
  if (first + ports > kPortSpace) {
    return std::string(what) + " " + HexPort(static_cast<unsigned>(first)) +
           " leaves no room for its " + std::to_string(ports) + " registers below 0x10000";
  }
  return {};
}

}  // namespace

std::string PortChoiceName(const PortChoice& choice) {
  if (choice.kind == PortKind::Sim) return "sim";
  return PortOptionFor(choice.addresses.base, choice.addresses.extended);
}

PortChoiceResult ParsePortChoice(std::string_view text) {
  if (text.empty()) return Fail("no port given: " + std::string(kUsage));
  if (text == "sim") return {PortChoice{PortKind::Sim, PortAddresses{}}, {}};
  if (text == "lpt") return {PortChoice{PortKind::Lpt, PortAddresses{}}, {}};
  constexpr std::string_view kLptPrefix = "lpt:";
  if (text.substr(0, kLptPrefix.size()) != kLptPrefix) {
    return Fail("unknown port '" + std::string(text) + "': " + std::string(kUsage));
  }
  const std::string_view addresses = text.substr(kLptPrefix.size());
  if (addresses.empty()) return Fail("port base missing after 'lpt:'");
  const std::size_t comma = addresses.find(',');
  const std::string_view base_text = addresses.substr(0, comma);
  std::optional<std::string_view> extended_text;
  if (comma != std::string_view::npos) {
    extended_text = addresses.substr(comma + 1);
    if (extended_text->find(',') != std::string_view::npos) {
      return Fail("too many addresses in '" + std::string(text) + "': use lpt:BASE[,ECPBASE]");
    }
    if (extended_text->empty()) return Fail("extended base missing after ','");
  }

  unsigned long base = 0;
  if (std::string error = ParseAddress(base_text, "port base", &base); !error.empty()) {
    return Fail(std::move(error));
  }
  if (std::string error = CheckRange(base, kStandardPorts, "port base"); !error.empty()) {
    return Fail(std::move(error));
  }
  if (base % 4 != 0) {
    return Fail("port base " + HexPort(static_cast<unsigned>(base)) + " is not a multiple of 4");
  }

  unsigned long extended = base + kExtendedDistance;
  if (extended_text) {
    if (std::string error = ParseAddress(*extended_text, "extended base", &extended);
        !error.empty()) {
      return Fail(std::move(error));
    }
    if (std::string error = CheckRange(extended, kExtendedPorts, "extended base");
        !error.empty()) {
      return Fail(std::move(error));
    }
  } else if (extended + kExtendedPorts > kPortSpace) {
    return Fail("extended base " + HexPort(static_cast<unsigned>(extended)) +
                " (BASE+0x400) is beyond the last I/O port 0xffff: give it after a comma, lpt:" +
                HexPort(static_cast<unsigned>(base)) + ",ECPBASE");
  }
  if (extended < base + kStandardPorts && base < extended + kExtendedPorts) {
    return Fail("extended base " + HexPort(static_cast<unsigned>(extended)) +
                " overlaps the standard range " + HexPort(static_cast<unsigned>(base)) + "-" +
                HexPort(static_cast<unsigned>(base + kStandardPorts - 1)));
  }
  PortChoice choice;
  choice.kind = PortKind::Lpt;
  choice.addresses.base = static_cast<std::uint16_t>(base);
  choice.addresses.extended = static_cast<std::uint16_t>(extended);
  return {choice, {}};
}

}  // namespace m4410
