// The parallel ports the system knows, for `m4410 ports`, each with the --port value that
// reaches it: on Linux from /proc/ioports and the parport folders of procfs and sysfs, on
// Windows from the devices of the Ports class.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace m4410 {

class SystemPrimitives;

struct ParportEntry {
  std::string name;                       // "parport0"
  std::uint16_t base = 0;                 // first port of the standard range
  std::optional<std::uint16_t> extended;  // first port of the ECP range, when known
  std::string port_option;                // "lpt" or "lpt:0xe010,0xe000"
  std::string modes;                      // as the kernel lists them, "PCSPP,TRISTATE"; empty
                                          // when unknown
};

// Whether the kernel's list of a port's modes ("PCSPP,TRISTATE,COMPAT,ECP,DMA") names ECP.
bool ModesIncludeEcp(std::string_view modes);

// One kernel parport folder: its name and the texts of its base-addr (procfs) or base_addr
// (sysfs) file and of its modes file (procfs), each empty when there was none.
struct KernelParportFile {
  std::string name;
  std::string base_addr;
  std::string modes;
};

struct ParportBaseAddr {
  std::uint16_t base = 0;
  std::optional<std::uint16_t> extended;
};

// "888\t1912\n" (procfs prints decimal; 0x-prefixed hexadecimal is taken too). A second
// number of 0 means no extended range. Nothing for text that names no I/O port.
std::optional<ParportBaseAddr> ParseParportBaseAddr(std::string_view text);

// Entries named parportN in /proc/ioports text. Lines of zeros (what an unprivileged reader
// sees) are skipped.
std::vector<ParportEntry> ParseIoports(std::string_view text);

// The ports the kernel lists as parallel ports (procfs base-addr files), PCI cards included.
std::vector<ParportEntry> KernelListedPorts(const std::vector<KernelParportFile>& files);

// The listing from both sources, sorted by port number; a base-addr file wins over
// /proc/ioports for the same port.
std::vector<ParportEntry> BuildParportListing(std::string_view ioports,
                                              const std::vector<KernelParportFile>& files);

// The kernel's parport folders (procfs first, then sysfs), with their base-addr texts.
std::vector<KernelParportFile> ReadKernelParportFiles(SystemPrimitives& system);

std::vector<ParportEntry> ListParallelPorts(SystemPrimitives& system);
std::vector<ParportEntry> ListParallelPorts();  // the system's own

// One port from the I/O ranges the system booked for it (first and last port of each), in
// any order and pieces: the standard range, and the extended one when there is one.
ParportEntry ParportFromRanges(const std::string& name,
                               const std::vector<std::pair<unsigned long, unsigned long>>& ranges);

// What to do when no port is found, in the system's terms.
std::string NoParallelPortsHint();

// One line per port, with its modes and a mark on a port without ECP, or the none-found
// lines.
std::vector<std::string> FormatParportListing(const std::vector<ParportEntry>& entries);

// "lpt" for 0x378 with 0x778 (or an unknown extended range), else "lpt:0xBASE[,0xECP]".
std::string PortOptionFor(std::uint16_t base, std::optional<std::uint16_t> extended);

// "0x378": the spelling used in listings, options and messages.
std::string HexPort(unsigned port);

}  // namespace m4410
