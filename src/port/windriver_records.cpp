#include "port/windriver_records.h"

namespace m4410 {

std::uint32_t WdTransferCommand(bool read, int width_code, WdRangeKind kind) {
  if (width_code < 0 || width_code > 2) return 0;
  const std::uint32_t base = kind == WdRangeKind::Io ? (read ? 20 : 23) : (read ? 40 : 43);
  return base + static_cast<std::uint32_t>(width_code);
}

PortClaimRecord MakePortClaimRecord(const PortAddresses& addresses) {
  PortClaimRecord record;
  record.item_count = 2;
  record.items[0] = {kWdItemIoRange, 1, addresses.base, 8, {}};
  record.items[1] = {kWdItemIoRange, 1, addresses.extended, 3, {}};
  record.claim_mode = 0;
  return record;
}

TransferRecord MakeTransferRecord(std::uint32_t command, std::uint32_t port,
                                  std::uint32_t byte_count, const void* buffer) {
  TransferRecord record;
  record.command = command;
  record.port = port;
  record.byte_count = byte_count;
  record.auto_increment = 1;
  record.options = 0;
  record.buffer_address =
      static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer) & 0xFFFFFFFFu);
  return record;
}

}  // namespace m4410
