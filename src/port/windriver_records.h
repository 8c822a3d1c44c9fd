// The request records of the WinDriver kernel port driver, laid out byte for byte as the
// driver's 32-bit ABI has them (little-endian, 4-byte fields), so the records this program
// sends can be checked on any host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "port/port_access.h"

namespace m4410 {

// Device-control request codes.
inline constexpr std::uint32_t kWdVersionRequest = 0x95382443;
inline constexpr std::uint32_t kWdClaimRequest = 0x953824b3;
inline constexpr std::uint32_t kWdReleaseRequest = 0x953824af;
inline constexpr std::uint32_t kWdTransferRequest = 0x9538240f;

// The oldest driver release that serves these records: 4.12.
inline constexpr std::uint32_t kWdMinimumVersion = 412;

struct VersionRecord {
  std::uint32_t version = 0;  // filled in by the driver
  std::uint8_t reserved[100] = {};
};

inline constexpr std::uint32_t kWdItemIoRange = 3;

struct ResourceItem {
  std::uint32_t kind = 0;
  std::uint32_t exclusive = 0;  // 1: no other client of the driver may share the range
  std::uint32_t first_port = 0;
  std::uint32_t port_count = 0;
  std::uint8_t reserved[12] = {};
};

inline constexpr std::size_t kWdClaimItems = 20;

// Sent to claim the ranges and sent back unchanged to release them.
struct PortClaimRecord {
  std::uint32_t item_count = 0;
  ResourceItem items[kWdClaimItems] = {};
  std::uint32_t claim_mode = 0;
  std::uint32_t claim_handle = 0;  // filled in by the driver, non-zero when the claim held
  std::uint8_t reserved[136] = {};
};

struct TransferRecord {
  std::uint32_t command = 0;
  std::uint32_t port = 0;
  std::uint32_t byte_count = 0;
  std::uint32_t auto_increment = 0;
  std::uint32_t options = 0;
  std::uint32_t buffer_address = 0;  // a 32-bit pointer in the driver's ABI
};

static_assert(sizeof(VersionRecord) == 104);
static_assert(sizeof(ResourceItem) == 28);
static_assert(offsetof(ResourceItem, first_port) == 8);
static_assert(offsetof(ResourceItem, port_count) == 12);
static_assert(sizeof(PortClaimRecord) == 708);
static_assert(offsetof(PortClaimRecord, items) == 4);
static_assert(offsetof(PortClaimRecord, claim_mode) == 564);
static_assert(offsetof(PortClaimRecord, claim_handle) == 568);
static_assert(offsetof(PortClaimRecord, reserved) == 572);
static_assert(sizeof(TransferRecord) == 24);
static_assert(offsetof(TransferRecord, port) == 4);
static_assert(offsetof(TransferRecord, buffer_address) == 20);

// Transfer commands by width code (0 bytes, 1 words, 2 double words) and kind of range.
enum class WdRangeKind { Io, Memory };
// 0 for a width code outside 0..2.
std::uint32_t WdTransferCommand(bool read, int width_code, WdRangeKind kind);

// Item 0: the standard range (8 ports); item 1: the extended range (3 ports); both exclusive
// I/O ranges. Claim mode 0.
PortClaimRecord MakePortClaimRecord(const PortAddresses& addresses);

// A single transfer: auto-increment 1, options 0, the buffer's address cut to 32 bits.
TransferRecord MakeTransferRecord(std::uint32_t command, std::uint32_t port,
                                  std::uint32_t byte_count, const void* buffer);

}  // namespace m4410
