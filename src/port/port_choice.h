// The --port value shared by both programs: the machine's own port, a port at given
// addresses (PCI and PCIe cards), or the simulated box.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "port/port_access.h"

namespace m4410 {

enum class PortKind { Lpt, Sim };

struct PortChoice {
  PortKind kind = PortKind::Lpt;
  PortAddresses addresses;  // meaningful for Lpt
};

// Either a choice or the message that says what is wrong with the text.
struct PortChoiceResult {
  std::optional<PortChoice> choice;
  std::string error;
};

// "lpt" (0x378 and 0x778), "lpt:BASE[,ECPBASE]" or "sim". Numbers are hexadecimal with 0x or
// decimal. BASE is a non-zero multiple of 4 whose 8 registers end below 0x10000; ECPBASE
// defaults to BASE+0x400, and its 3 registers must also end below 0x10000 and must not
// overlap the standard range.
PortChoiceResult ParsePortChoice(std::string_view text);

// The choice as --port spells it, and as the update log records it: "sim", "lpt", or
// "lpt:0xBASE,0xECPBASE" (the form ParsePortChoice reads back to the same choice).
std::string PortChoiceName(const PortChoice& choice);

}  // namespace m4410
